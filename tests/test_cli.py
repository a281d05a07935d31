"""The command line end to end, through a real subprocess."""

import json
import subprocess
import sys

import pytest

pytest.importorskip("_quorvatine")


def run(*args, stdin=None):
    proc = subprocess.run(
        [sys.executable, "-m", "quorvatine", *args],
        input=stdin,
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
    status, out, err = run("--dict", str(wordlist), "--max-dist", "1", "car", "дм")
    assert (status, err) == (0, "")
    assert out.splitlines() == ["car: car (0), cart (1), cat (1)", "дм: дом (1)"]


def test_limit_exact_and_json(wordlist):
    assert run("--dict", str(wordlist), "--limit", "2", "car")[1] == "car: car (0), cart (1)\n"
    assert run("--dict", str(wordlist), "--exact", "cart", "ca")[1] == "cart: found\nca: not found\n"
    status, out, _ = run("--dict", str(wordlist), "--json", "--max-dist", "1", "cat", "zzzzz")
    assert status == 0
    first, second = map(json.loads, out.splitlines())
    assert first["query"] == "cat"
    assert [m["word"] for m in first["matches"]] == ["cat", "car", "cart"]
    assert second == {"query": "zzzzz", "matches": []}


def test_queries_from_stdin(wordlist):
    status, out, _ = run("--dict", str(wordlist), "--max-dist", "0", stdin="cat\n\ncarx\n")
    assert status == 0
    assert out.splitlines() == ["cat: cat (0)", "carx: no suggestions"]


def test_build_then_load_prepared_file(wordlist, tmp_path):
    prepared = tmp_path / "words.qvt"
    assert run("build", str(wordlist), "-o", str(prepared))[0] == 0
    assert run("--dict", str(prepared), "--max-dist", "1", "car")[1] == (
        "car: car (0), cart (1), cat (1)\n"
    )


def test_bundled_dictionary():
    status, out, _ = run("speling", "--max-dist", "1")
    assert status == 0
    assert "spelling (1)" in out
    assert run("--exact", "dictionary", "xqzzv")[1] == "dictionary: found\nxqzzv: not found\n"


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
    ],
)
def test_data_errors_exit_1(tmp_path, content, message):
    path = tmp_path / "words.txt"
    path.write_bytes(content)
    status, out, err = run("--dict", str(path), "car")
    assert (status, out) == (1, "")
    assert message in err and "Traceback" not in err


@pytest.mark.parametrize(
    "args, status",
    [
        (["--dict", "/nonexistent/words.txt", "car"], 1),
        (["--max-dist", "-1", "car"], 2),
        (["--limit", "many", "car"], 2),
        (["build", "words.txt"], 2),
        (["--no-such-option"], 2),
    ],
)
def test_usage_and_missing_file(args, status):
    code, out, err = run(*args)
    assert code == status
    assert err.startswith(("quorvatine: error:", "usage:")) and "Traceback" not in err
