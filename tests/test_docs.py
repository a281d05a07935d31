"""The documentation's examples, run: the README's Python sessions and the
docstrings' as doctests, the README's console sessions as shell commands
whose output must be the one shown."""

import ast
import doctest
import importlib
import os
import pkgutil
import re
import subprocess
import sys
from pathlib import Path

import _quorvatine
import quorvatine

ROOT = Path(__file__).resolve().parent.parent
README = (ROOT / "README.md").read_text(encoding="utf-8")
# (first line, language, body) of every fenced block
BLOCKS = [
    (README.count("\n", 0, m.start()) + 2, m["lang"], m["body"])
    for m in re.finditer(r"^```(?P<lang>\w*)\n(?P<body>.*?)^```$", README, re.S | re.M)
]


def run_doctests(examples, globs):
    """Runs each (name, line, text) in turn with shared globals: a text with
    prompts as a doctest, one without as a script. Returns the failures' report."""
    parser, report = doctest.DocTestParser(), []
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    for name, line, text in examples:
        if ">>>" not in text:
            exec(compile(text, f"{name}:{line}", "exec"), globs)
            continue
        test = parser.get_doctest(text, globs, f"{name}:{line}", name, line - 1)
        runner.run(test, out=report.append, clear_globs=False)
        globs.update(test.globs)
    return "".join(report)


def test_readme_python_sessions(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)  # where an example's files go
    sessions = [("README.md", line, body) for line, lang, body in BLOCKS if lang in ("python", "pycon")]
    assert sessions
    assert run_doctests(sessions, {}) == ""


def console_commands(body):
    """The (command, output) pairs of a console session: `$ ` starts a command."""
    pairs = []
    for line in body.splitlines(keepends=True):
        if line.startswith("$ "):
            pairs.append([line[2:], ""])
        else:
            pairs[-1][1] += line
    return pairs


def test_readme_console_sessions(tmp_path):
    # Run from a scratch directory that sees the repository's examples, with
    # this interpreter's environment first on the path.
    (tmp_path / "examples").symlink_to(ROOT / "examples")
    env = dict(os.environ, PATH=f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}")
    sessions = [(line, body) for line, lang, body in BLOCKS if lang == "console"]
    assert sessions
    for line, body in sessions:
        for command, shown in console_commands(body):
            run = subprocess.run(
                command, shell=True, executable="/bin/bash", cwd=tmp_path, env=env,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120,
            )  # fmt: skip
            assert run.stdout == shown, f"README.md:{line}: $ {command}"


def stub_docstrings():
    """(qualified name, line, docstring) of the extension's stubs."""
    tree = ast.parse((ROOT / "python" / "_quorvatine.pyi").read_text(encoding="utf-8"))
    found = []

    def visit(node, prefix):
        for child in ast.iter_child_nodes(node):
            if isinstance(child, (ast.ClassDef, ast.FunctionDef)):
                doc = ast.get_docstring(child, clean=False)
                if doc:
                    found.append((prefix + child.name, child.body[0].lineno, doc))
                visit(child, prefix + child.name + ".")

    visit(tree, "_quorvatine.")
    return found


def test_docstring_examples(tmp_path, monkeypatch):
    # Run beside the examples, whose word list some use; what they write goes there.
    (tmp_path / "examples").symlink_to(ROOT / "examples")
    (tmp_path / "README.md").write_text("not a trie")
    monkeypatch.chdir(tmp_path)
    report = []
    for info in pkgutil.iter_modules(quorvatine.__path__, "quorvatine."):
        if info.name == "quorvatine.__main__":
            continue  # importing it runs the command line
        module = importlib.import_module(info.name)
        for test in doctest.DocTestFinder().find(module, extraglobs={"quorvatine": quorvatine}):
            runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
            runner.run(test, out=report.append)
    examples = [(name, line, doc) for name, line, doc in stub_docstrings() if ">>>" in doc]
    report.append(run_doctests(examples, {"_quorvatine": _quorvatine}))
    assert "".join(report) == ""
