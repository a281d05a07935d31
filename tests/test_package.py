"""Pickling through the byte form and parallel batches."""

import importlib.util
import multiprocessing
import pickle
import subprocess
import sys
import textwrap
import tomllib
from pathlib import Path

import pytest

pytest.importorskip("_quorvatine")
import quorvatine  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
WORDS = ["car", "cart", "cat", "dog", "dot", "カタカナ", "\U0001f600x"]


def test_pickle_round_trip_keeps_the_bytes():
    trie = quorvatine.build(WORDS)
    copy = pickle.loads(pickle.dumps(trie))
    assert type(copy) is type(trie)
    assert copy.to_bytes() == trie.to_bytes()
    assert copy.fuzzy_match("car", 1, None) == trie.fuzzy_match("car", 1, None)


def _count_matches(trie):
    return len(trie.fuzzy_match("cat", 1, None))


def test_tries_travel_to_a_process_pool():
    trie = quorvatine.build(WORDS)
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        assert pool.map(_count_matches, [trie, trie]) == [3, 3]


@pytest.mark.parametrize("processes", [1, 2])
def test_fuzzy_match_many_equals_a_loop(processes):
    trie = quorvatine.build(WORDS)
    queries = [w[: i % 4] + "x" for i, w in enumerate(WORDS * 40)]
    expected = [trie.fuzzy_match(q, 2, 3) for q in queries]
    assert quorvatine.fuzzy_match_many(trie, queries, 2, 3, processes=processes) == expected


def test_fuzzy_match_many_reports_failures_like_the_loop():
    broken = quorvatine.from_internal_data([0, 1], ["", ""], [None, None], [1])
    with pytest.raises(quorvatine.PanicException):
        quorvatine.fuzzy_match_many(broken, ["a"] * 200, 1, processes=2)
    with pytest.raises(TypeError):
        quorvatine.fuzzy_match_many(quorvatine.build(WORDS), ["a"] * 200, "1", processes=2)


WORKER_KILLED = """
import multiprocessing, os, random, signal, threading, time
import quorvatine

r = random.Random(1)
trie = quorvatine.build({"".join(r.choice("abcdefgh") for _ in range(8)) for _ in range(50_000)})
queries = ["".join(r.choice("abcdefgh") for _ in range(8)) for _ in range(6_000)]

def stat(pid):
    # The fields after the command name: state, parent, ..., utime and stime at
    # 11 and 12; none for a process that has gone.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()
    except FileNotFoundError:
        return None

def kill_a_busy_worker():
    # A worker that has spent a tenth of a second on the processor is in the
    # middle of its tasks.
    while not done.is_set():
        for child in multiprocessing.active_children():
            fields = stat(child.pid)
            if fields and int(fields[11]) + int(fields[12]) >= os.sysconf("SC_CLK_TCK") // 10:
                os.kill(child.pid, signal.SIGKILL)
                return
        time.sleep(0.01)

done = threading.Event()
killer = threading.Thread(target=kill_a_busy_worker)
killer.start()
try:
    quorvatine.fuzzy_match_many(trie, queries, 3, processes=2)
except BaseException as error:
    print(type(error).__name__, "died" in str(error))
done.set()
killer.join()
children = [d for d in os.listdir("/proc") if d.isdigit() and (stat(d) or [0, 0])[1] == str(os.getpid())]
print(multiprocessing.active_children(), children, threading.active_count())
"""


def test_fuzzy_match_many_fails_when_a_worker_dies_and_leaves_nothing_behind():
    # A pool that replaces the dead worker waits for its task forever: the
    # timeout turns that hang into a failure.
    run = subprocess.run([sys.executable, "-c", textwrap.dedent(WORKER_KILLED)],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == ["BrokenProcessPool True", "[] [] 1"]


def test_save_and_load_round_trip(tmp_path):
    trie = quorvatine.build(WORDS)
    path = tmp_path / "words.qvt"
    path.write_bytes(b"an older file")
    quorvatine.save(trie, path)
    assert quorvatine.load(path).to_bytes() == trie.to_bytes()
    assert path.read_bytes()[:8] == b"\x89QVT\r\n\x1a\n"
    assert [p.name for p in tmp_path.iterdir()] == ["words.qvt"]


def _prepared(length, body):
    return b"\x89QVT\r\n\x1a\n" + length.to_bytes(8, "little") + body


@pytest.mark.parametrize(
    "content, message",
    [
        (b"car\ncart\n", "not a prepared trie file"),
        # A declared length is checked against the file before it sizes anything.
        (_prepared(2**60, b"\x00"), f"damaged (header declares {2**60} bytes, 1 follow)"),
        (_prepared(1, b"\xfd"), "damaged (cannot decode trie bytes: UnexpectedEnd"),
    ],
    ids=["no_header", "wrong_length", "undecodable"],
)
def test_load_refuses_a_file_save_did_not_write(tmp_path, content, message):
    path = tmp_path / "words.qvt"
    path.write_bytes(content)
    with pytest.raises(quorvatine.DataError, match="^" + str(path)) as info:
        quorvatine.load(path)
    assert message in str(info.value)


def test_version_is_the_projects():
    with open(ROOT / "pyproject.toml", "rb") as f:
        assert quorvatine.__version__ == tomllib.load(f)["project"]["version"]


# Examples that need a package quorvatine does not depend on.
EXAMPLE_NEEDS = {"dask_partitions": "dask"}


@pytest.mark.parametrize("example", sorted((ROOT / "examples").glob("*.py")), ids=lambda p: p.stem)
def test_example_runs(example):
    needed = EXAMPLE_NEEDS.get(example.stem)
    if needed and importlib.util.find_spec(needed) is None:
        pytest.skip(f"needs {needed}")
    run = subprocess.run([sys.executable, str(example)], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout
