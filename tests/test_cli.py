"""The command line end to end, through a real subprocess."""

import io
import json
import os
import resource
import select
import stat
import subprocess
import sys
from importlib import resources

import pytest

pytest.importorskip("_quorvatine")
import quorvatine  # noqa: E402

# A prepared file whose arrays decode but are not a tree: node 1 lists itself.
SELF_LOOP = quorvatine.from_internal_data([0, 1], ["", "a"], [None, 1], [1, 1]).to_bytes()
SELF_LOOP_FILE = b"\x89QVT\r\n\x1a\n" + len(SELF_LOOP).to_bytes(8, "little") + SELF_LOOP


def run(*args, stdin=None, preexec_fn=None):
    proc = subprocess.run(
        [sys.executable, "-m", "quorvatine", *args],
        input=stdin,
        preexec_fn=preexec_fn,
        capture_output=True,
        text=True,
        encoding="utf-8",
        timeout=120,
    )
    return proc.returncode, proc.stdout, proc.stderr


@pytest.fixture
def wordlist(tmp_path):
    path = tmp_path / "words.txt"
    path.write_text("car\ncart\ncat\ncaramel\nдом\n", encoding="utf-8")
    return path


def test_suggestions_nearest_first_ties_in_dictionary_order(wordlist):
    status, out, err = run("--dict", str(wordlist), "--nearest", "--max-dist", "1", "car", "дм")
    assert (status, err) == (0, "")
    assert out.splitlines() == ["car: car (0), cart (1), cat (1)", "дм: дом (1)"]


def test_limit_exact_and_json(wordlist):
    assert run("--dict", str(wordlist), "--nearest", "--limit", "2", "car")[1] == "car: car (0), cart (1)\n"
    assert run("--dict", str(wordlist), "--exact", "cart", "ca")[1] == "cart: found\nca: not found\n"
    status, out, _ = run("--dict", str(wordlist), "--nearest", "--json", "--max-dist", "1", "cat", "zzzzz")
    assert status == 0
    first, second = map(json.loads, out.splitlines())
    assert first["query"] == "cat"
    assert [m["word"] for m in first["matches"]] == ["cat", "car", "cart"]
    assert second == {"query": "zzzzz", "matches": []}


def test_queries_from_stdin(wordlist):
    status, out, _ = run("--dict", str(wordlist), "--max-dist", "0", stdin="cat\n\n  car \n \t\ncarx\n")
    assert status == 0
    assert out.splitlines() == ["cat: cat (0)", "car: car (0)", "carx: no suggestions"]


def test_word_list_from_stdin_and_only_regular_files(wordlist, tmp_path):
    words = wordlist.read_text()
    assert run("--dict", "-", "--max-dist", "0", "cart", stdin=words)[1] == "cart: cart (0)\n"
    assert run("build", "-", "-o", str(tmp_path / "w.qvt"), stdin=words)[0] == 0
    assert quorvatine.load(tmp_path / "w.qvt").exact_match("cart") == ("cart", 1, 0)
    # A device is refused before a byte is read: /dev/zero would otherwise be
    # read until the line bound. A directory fails as it is opened.
    for args in (["--dict", "/dev/zero", "car"], ["build", "/dev/zero", "-o", str(tmp_path / "x")]):
        assert run(*args) == (1, "", "quorvatine: error: /dev/zero: not a regular file\n")
    status, out, err = run("build", str(tmp_path), "-o", str(tmp_path / "x"))
    assert (status, out) == (1, "") and err.startswith("quorvatine: error: ") and len(err.splitlines()) == 1
    # A pipe with no writer is refused at once, not waited on.
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    assert run("--dict", str(fifo), "kat") == (1, "", f"quorvatine: error: {fifo}: not a regular file\n")
    load = subprocess.run([sys.executable, "-c", "import sys, quorvatine; quorvatine.load(sys.argv[1])", fifo],
                          capture_output=True, text=True, timeout=120)
    assert load.stderr.endswith(f"quorvatine.dictionary.DataError: {fifo}: not a regular file\n")
    # Standard input cannot hold both the dictionary and the queries.
    assert run("--dict", "-", stdin=words)[0] == 2


def test_build_then_load_prepared_file(wordlist, tmp_path):
    prepared = tmp_path / "words.qvt"
    assert run("build", str(wordlist), "-o", str(prepared))[0] == 0
    assert run("--dict", str(prepared), "--nearest", "--max-dist", "1", "car")[1] == (
        "car: car (0), cart (1), cat (1)\n"
    )
    assert quorvatine.load(prepared).exact_match("cart") == ("cart", 1, 0)


def test_build_writes_into_what_is_not_a_regular_file_and_names_the_target(wordlist, tmp_path):
    full = tmp_path / "full"
    try:
        os.mknod(full, stat.S_IFCHR | 0o666, os.makedev(1, 7))  # what /dev/full is
    except OSError:
        pytest.skip("no device nodes here")
    missing = tmp_path / "no" / "words.qvt"
    for target, reason in ((full, "No space left on device"), (missing, "No such file or directory")):
        status, out, err = run("build", str(wordlist), "-o", str(target))
        assert (status, out, err) == (1, "", f"quorvatine: error: {target}: {reason}\n")
    assert stat.S_ISCHR(full.stat().st_mode)
    # A regular file on a disk that fills up: the old file stays, the
    # temporary one goes (the interpreter ignores SIGXFSZ, so writes fail).
    old = tmp_path / "old.qvt"
    old.write_bytes(b"old")
    status, out, err = run("build", str(wordlist), "-o", str(old),
                           preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (16, 16)))
    assert (status, out, err) == (1, "", f"quorvatine: error: {old}: File too large\n")
    assert old.read_bytes() == b"old"
    assert sorted(os.listdir(tmp_path)) == ["full", "old.qvt", "words.txt"]


def test_bundled_dictionary():
    # The README's console examples show the common queries; these are the
    # cases it leaves out. Ties go to the more common word: "with" and
    # "which" before "wish", "rich", "Mich".
    assert run("--nearest", "--max-dist", "1", "--limit", "2", "wich")[1] == "wich: with (1), which (1)\n"
    # At most 10 suggestions by default.
    assert all(len(line.split(", ")) == 10 for line in run("recieve", "teh")[1].splitlines())
    # Completion at max_dist 0 completes the prefix as it is.
    assert run("--complete", "--max-dist", "0", "accomodat")[1] == "accomodat: no suggestions\n"


def test_bundled_payloads_are_frequency_ranks():
    data = resources.files("quorvatine").joinpath("data")
    with resources.as_file(data.joinpath("american-english.qvt")) as path:
        trie = quorvatine.load(path)
    payloads, stack = [], [0]
    while stack:
        node = stack.pop()
        if (payload := trie.get_payload(node)) is not None:
            payloads.append(payload)
        stack.extend(child for _, child in trie.get_children(node))
    assert sorted(payloads) == list(range(len(payloads))) and len(payloads) > 100_000
    # Common words first; a capitalised word right after its lower-case twin;
    # a word the frequency list lacks (a possessive) after even a rare counted one.
    order = ["the", "will", "Will", "receive", "relieve", "zygote", "dog's"]
    ranks = [trie.exact_match(word)[1] for word in order]
    assert ranks == sorted(ranks) and ranks[0] == 0
    notice = data.joinpath("word-frequencies.copyright").read_text(encoding="utf-8")
    assert "symspellpy" in notice and "MIT License" in notice


@pytest.mark.parametrize(
    "content, message",
    [
        (b"car\t1\n\n\t2\n", "words.txt:3: empty word"),
        (b"car\t1\ncat\n", "words.txt:2: malformed line"),
        (b"car\t-1\n", "words.txt:1: payload '-1' is not an integer"),
        (b"car\ncat\tfoo\n", "words.txt:2: payload 'foo' is not an integer"),
        (b"car\n" + b"r" * (2**20 + 1) + b"\n", "words.txt:2: line longer than 1048576 bytes"),
        (b"car\ncat\xff\n", "words.txt:2: not valid UTF-8"),
        (b"\x89QVT\r\n\x1a\n\x09\x00\x00\x00\x00\x00\x00\x00\x00", "damaged"),
        (SELF_LOOP_FILE, "words.txt: the trie it holds is not valid (child relation is not a tree"),
    ],
)
def test_data_errors_exit_1(tmp_path, content, message):
    path = tmp_path / "words.txt"
    path.write_bytes(content)
    status, out, err = run("--dict", str(path), "car")
    assert (status, out) == (1, "")
    assert message in err and len(err.splitlines()) == 1


@pytest.mark.parametrize(
    "args, status",
    [
        (["--dict", "/nonexistent/words.txt", "car"], 1),
        (["--max-dist", "-1", "car"], 2),
        (["--limit", "many", "car"], 2),
        (["--max-dist", str(2**64), "car"], 2),
        (["--limit", str(2**64), "car"], 2),
        (["car", ""], 2),
        (["build", "words.txt"], 2),
        (["--no-such-option"], 2),
        (["--complete", "--exact", "car"], 2),
    ],
)
def test_usage_and_missing_file(args, status):
    code, out, err = run(*args)
    assert code == status
    assert err.startswith("quorvatine") and ": error: " in err and len(err.splitlines()) == 1


def test_word_lists_with_counts_rank_by_them(tmp_path):
    listed = tmp_path / "counts.txt"
    listed.write_text("cat 5\ncar 900\ncart 70\n", encoding="utf-8")
    assert run("--dict", str(listed), "--counts", "--limit", "2", "cax")[1] == "cax: car (1), cat (1)\n"
    prepared = tmp_path / "counts.qvt"
    assert run("build", str(listed), "--counts", "-o", str(prepared))[0] == 0
    assert quorvatine.load(prepared).exact_match("cart") == ("cart", 1, 0)
    assert run("--counts", "cat")[0] == 2


@pytest.mark.parametrize(
    "args, stdin, drawn",
    [
        (["check", "--dict", "{words}", "{text}"], "", "] 100% 0.0/0.0 MiB in 0 s"),  # a file: its bytes
        (["--dict", "{words}", "--max-dist", "0"], "cat\ncarx\n", "1 queries in 0 s"),  # a pipe: a count
    ],
)
def test_progress_bar_on_a_terminal_then_erased(wordlist, tmp_path, monkeypatch, capsys, args, stdin, drawn):
    pty = pytest.importorskip("pty")
    from quorvatine import cli, progress

    text = tmp_path / "text.txt"
    text.write_text("The cta sat\n", encoding="utf-8")
    args = [arg.format(words=wordlist, text=text) for arg in args]
    monkeypatch.setattr(progress, "DELAY", 0.0)

    def run_in_process(*extra):
        monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(stdin.encode())))
        cli.main([*args, *extra])

    def on_terminal(*extra):
        master, slave = pty.openpty()
        with os.fdopen(slave, "w") as terminal, os.fdopen(master, "rb", buffering=0) as screen:
            with monkeypatch.context() as patch:
                patch.setattr(sys, "stderr", terminal)
                run_in_process(*extra)
            drawn = b""
            while select.select([screen], [], [], 0)[0]:
                drawn += screen.read(1 << 16)
            return drawn.decode()

    shown = on_terminal()
    assert drawn in shown and shown.endswith("\r\x1b[K")  # erased at the end
    assert on_terminal("--no-progress") == ""
    run_in_process()
    assert capsys.readouterr().err == ""  # standard error is not a terminal: no bar
