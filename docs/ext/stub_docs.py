"""Documents the compiled module `_quorvatine` from its type stubs: the
module keeps no docstrings of its own, so each of its objects takes its
docstring and annotated signature from python/_quorvatine.pyi, wherever
autodoc shows it."""

from __future__ import annotations

import ast
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import _quorvatine
from sphinx.application import Sphinx
from sphinx.util.docstrings import prepare_docstring

STUBS = Path(__file__).resolve().parents[2] / "python" / "_quorvatine.pyi"


@dataclass
class Stub:
    docstring: str | None
    signature: str | None  # "(a: int, b: str)", self left out
    returns: str | None


def read_stubs(path: Path) -> dict[str, Stub]:
    """The stubs of `path` by qualified name within the module."""
    stubs: dict[str, Stub] = {}

    def visit(node: ast.AST, prefix: str) -> None:
        for child in ast.iter_child_nodes(node):
            if isinstance(child, ast.ClassDef):
                stubs[prefix + child.name] = Stub(ast.get_docstring(child), None, None)
                visit(child, f"{prefix}{child.name}.")
            elif isinstance(child, ast.FunctionDef):
                args = child.args
                if prefix:  # a method: its first parameter is self
                    args = ast.arguments(
                        posonlyargs=[], args=args.args[1:], vararg=args.vararg,
                        kwonlyargs=args.kwonlyargs, kw_defaults=args.kw_defaults,
                        kwarg=args.kwarg, defaults=args.defaults,
                    )  # fmt: skip
                returns = ast.unparse(child.returns) if child.returns else None
                stubs[prefix + child.name] = Stub(ast.get_docstring(child), f"({ast.unparse(args)})", returns)

    visit(ast.parse(path.read_text(encoding="utf-8")), "")
    return stubs


def by_object(stubs: dict[str, Stub]) -> dict[int, tuple[Any, Stub]]:
    """The stubs by the identity of the module's object each describes (the
    object is kept, so that its id stays its own)."""
    found = {}
    for qualname, stub in stubs.items():
        obj: Any = _quorvatine
        for part in qualname.split("."):
            obj = getattr(obj, part)
        found[id(obj)] = (obj, stub)
    return found


def setup(app: Sphinx) -> dict[str, Any]:
    stubs = by_object(read_stubs(STUBS))

    def docstring(app: Sphinx, what: str, name: str, obj: Any, options: Any, lines: list[str]) -> None:
        entry = stubs.get(id(obj))
        if entry and not lines and entry[1].docstring:
            lines[:] = prepare_docstring(entry[1].docstring)

    def signature(
        app: Sphinx, what: str, name: str, obj: Any, options: Any, args: str | None, returns: str | None
    ) -> tuple[str | None, str | None] | None:
        entry = stubs.get(id(obj))
        if entry and entry[1].signature is not None:
            return entry[1].signature, entry[1].returns
        return None

    app.connect("autodoc-process-docstring", docstring)
    app.connect("autodoc-process-signature", signature)
    return {"parallel_read_safe": True}
