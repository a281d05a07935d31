"""Pickling through the byte form, batches on native threads, the key view."""

import array
import multiprocessing
import os
import pickle
import subprocess
import sys
import threading
import time
import tomllib
from importlib import metadata
from pathlib import Path

import pytest

pytest.importorskip("_quorvatine")
import quorvatine  # noqa: E402
from conftest import WORKED_EXAMPLE  # noqa: E402
from quorvatine import _native  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
WORDS = ["car", "cart", "cat", "dog", "dot", "カタカナ", "\U0001f600x"]


def test_pickle_round_trip_keeps_the_bytes(tmp_path):
    built = quorvatine.build(WORDS)
    arrays = quorvatine.from_internal_data(*WORKED_EXAMPLE)
    counted = _native.with_key_counts(built, range(len(WORDS)))
    quorvatine.save(counted, tmp_path / "words.qvt")
    mapped = quorvatine.load(tmp_path / "words.qvt")
    for trie in (built, arrays, counted, mapped, _native.with_key_counts(mapped, [7] * 9)):
        data = pickle.dumps(trie)
        copy = pickle.loads(data)
        assert type(copy) is type(trie)
        assert copy.to_bytes() == trie.to_bytes()
        assert copy.fuzzy_match("car", 1, None) == trie.fuzzy_match("car", 1, None)
        assert _counts(copy) == _counts(trie)
        # A mapped trie travels as a reference to its file, whatever its size.
        assert (str(tmp_path).encode() in data) == (trie is mapped or _counts(trie) == [7] * 9)


def _counts(trie):
    counts = _native.key_counts(trie)
    return None if counts is None else counts.tolist()


def test_key_counts_are_checked_and_read_only():
    trie = quorvatine.build(WORDS)
    assert _native.key_counts(trie) is None
    for counts in ([5] * 7, array.array("Q", [5] * 7), range(5, 12), bytes(7)):
        view = _native.key_counts(_native.with_key_counts(trie, counts))
        assert view.format == "Q" and view.readonly and view.tolist() == list(counts)
    with pytest.raises(ValueError, match="^key counts: 6 given, the trie's payloads need 7$"):
        _native.with_key_counts(trie, [0] * 6)
    with pytest.raises(OverflowError):
        _native.with_key_counts(trie, [-1] * 7)
    with pytest.raises(TypeError):
        _native.with_key_counts(trie, "1234567")


def test_a_pickled_reference_names_a_file_it_cannot_use(tmp_path):
    path = tmp_path / "words.qvt"
    quorvatine.save(quorvatine.build(WORDS), path)
    data = pickle.dumps(quorvatine.load(path))
    quorvatine.save(quorvatine.build(WORDS[:3]), path)
    with pytest.raises(quorvatine.DataError, match=f"^{path}: not the index file"):
        pickle.loads(data)
    path.unlink()
    with pytest.raises(quorvatine.DataError, match=f"^{path}: cannot open"):
        pickle.loads(data)


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


def _tasks(expected=None):
    """Threads of this process, native ones included. A joined thread's entry
    can outlive the join by a moment, while the kernel finishes its exit, so
    with `expected` the count is read again for up to two seconds until it
    matches; a thread really left running never does."""
    deadline = time.monotonic() + 2
    while True:
        count = len(os.listdir("/proc/self/task"))
        if expected is None or count == expected or time.monotonic() > deadline:
            return count
        time.sleep(0.01)


def _outcome(call):
    """What `call` returns, or the type and message of what it raises."""
    try:
        return call()
    except BaseException as error:  # PanicException is not an Exception
        return type(error), str(error)


# Node 1 loops back to itself: a query that reaches it fails; "b" does not.
LOOPING = ([0, 1], ["", "a"], [None, 1] + [None] * 8, [1, 1])
# Keys with payloads 0 to 3: at max_dist 0, "ab" and "cd" read the scores of
# payloads 0 and 1 only, "zz" that of payload 2; no query reads payload 3's.
SCORED = quorvatine.layout({"ab": 0, "cd": 1, "zz": 2, "qq": 3})
SCORED_QUERIES = ["ab", "cd", "zz"] * 100

# Each shape as (one query, the batch), both taking max_dist and scores.
SHAPES = {
    "fuzzy_match": (
        lambda trie, q, max_dist, scores: trie.fuzzy_match(q, max_dist, None),
        lambda trie, qs, max_dist, scores, threads: quorvatine.fuzzy_match_many(
            trie, qs, max_dist, threads=threads
        ),
    ),
    "suggest": (
        lambda trie, q, max_dist, scores: quorvatine.suggest(trie, q, 3, max_dist, scores=scores),
        lambda trie, qs, max_dist, scores, threads: quorvatine.suggest_many(
            trie, qs, 3, max_dist, scores=scores, threads=threads
        ),
    ),
    "complete": (
        lambda trie, q, max_dist, scores: quorvatine.complete(trie, q, 3, max_dist, scores=scores),
        lambda trie, qs, max_dist, scores, threads: quorvatine.complete_many(
            trie, qs, 3, max_dist, scores=scores, threads=threads
        ),
    ),
}


@pytest.mark.parametrize("shape", SHAPES)
@pytest.mark.parametrize("threads", [1, 2, 5])
@pytest.mark.parametrize(
    "arrays, queries, max_dist, scores",
    [
        (LOOPING, ["b"] * 300 + ["a"] + ["b"] * 300 + [3], 0, None),  # the walk fails first
        (LOOPING, ["b"] * 300 + [3] + ["a"], 0, None),  # the query conversion fails first
        (LOOPING, [b"b", "a"], "x", None),  # the first query's text before max_dist
        (LOOPING, ["a"], "x", None),  # max_dist before the walk
        (([], [], [], []), ["a", "b"], 1, None),  # a trie without nodes
        (WORKED_EXAMPLE, [f"c{i % 7}" for i in range(500)], 2, None),
        (WORKED_EXAMPLE, ["c1"] * 300 + [3, "\ud800"], 1, None),  # after answered queries
        (WORKED_EXAMPLE, ["c1"] * 300 + ["\ud800", 3], 1, None),  # a str that is not text
        # A bad score fails the third query, the first to read it; payload 3's is never read.
        (SCORED, SCORED_QUERIES, 0, [1, 2, "x", None]),
        (SCORED, SCORED_QUERIES, 0, [1, 2.5, float("nan"), None]),
        (SCORED, SCORED_QUERIES, 0, (1, 2, 10**400, "y")),
        (SCORED, SCORED_QUERIES, 0, [1, 2]),
        (SCORED, SCORED_QUERIES, 0, [1, "x"]),  # the second query's error before the third's
        (SCORED, SCORED_QUERIES, 1, [5, 1, 3, float("nan")]),
    ],
    ids=[
        "panic", "conversion", "text_first", "max_dist", "no_nodes", "success", "not_a_str", "surrogate",
        "score_type", "score_nan", "score_overflow", "scores_short", "first_bad_score", "scored",
    ],
)
def test_batches_end_like_the_loop_and_leave_no_thread(shape, arrays, queries, max_dist, scores, threads):
    one, many = SHAPES[shape]
    trie = quorvatine.from_internal_data(*arrays)
    expected = _outcome(lambda: [one(trie, q, max_dist, scores) for q in queries])
    before = threading.active_count(), _tasks()
    got = _outcome(lambda: many(trie, queries, max_dist, scores, threads))
    assert got == expected
    assert (threading.active_count(), _tasks(before[1])) == before


def test_batch_arguments_are_checked():
    trie = quorvatine.build(WORDS)
    queries = iter(["cat", "dot"])  # any iterable
    assert quorvatine.fuzzy_match_many(trie, queries, 0, None, 2) == [[("cat", 2, 0)], [("dot", 4, 0)]]
    for bad in ({"processes": 0}, {"threads": -1}):
        with pytest.raises(ValueError, match=f"^{next(iter(bad))} must be at least 1"):
            quorvatine.fuzzy_match_many(trie, ["a"], 1, **bad)
    for batch in (quorvatine.suggest_many, quorvatine.complete_many):
        with pytest.raises(ValueError, match="^threads must be at least 1"):
            batch(trie, ["a"], threads=0)
    with pytest.raises(TypeError, match="not both"):
        quorvatine.fuzzy_match_many(trie, ["a"], 1, processes=1, threads=1)
    with pytest.raises(TypeError, match="^'str' object cannot be converted to 'PrefixSearch'$"):
        quorvatine.fuzzy_match_many("trie", ["a"], 1)
    # One query, not a batch of its characters (or of ints).
    for batch, name in ((quorvatine.fuzzy_match_many, "queries"), (quorvatine.suggest_many, "words"),
                        (quorvatine.complete_many, "prefixes")):
        for one in ("car", b"car", bytearray(b"car")):
            with pytest.raises(TypeError, match=f"^{name} must be an iterable of str, not {type(one).__name__}$"):
                batch(trie, one, 1)


def test_huge_thread_counts_are_lowered_to_the_cores():
    # 2**60 threads made the chunk size divide by zero (threads * 16 wrapped),
    # and 20,000 started as many OS threads.
    code = """if True:
        import os, threading, quorvatine
        trie = quorvatine.build(["car"])
        for batch in (quorvatine.fuzzy_match_many, quorvatine.suggest_many, quorvatine.complete_many):
            assert batch(trie, ["car"], 1, threads=2**60) == [[("car", 0, 0)]]
        peak, watching = 0, True
        def watch():
            global peak
            while watching:
                peak = max(peak, len(os.listdir("/proc/self/task")))
        watcher = threading.Thread(target=watch)
        watcher.start()
        before = len(os.listdir("/proc/self/task"))
        quorvatine.fuzzy_match_many(trie, ["car"] * 20_000, 1, threads=20_000)
        watching = False
        watcher.join()
        print(peak - before < len(os.sched_getaffinity(0)))
    """
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert (run.returncode, run.stdout, run.stderr) == (0, "True\n", "")


def test_dictionary_of_a_trie():
    keys = quorvatine.Dictionary(quorvatine.build(WORDS))
    assert len(keys) == len(WORDS)
    assert list(keys) == sorted(WORDS) and keys.items() == sorted((w, WORDS.index(w)) for w in WORDS)
    assert "cat" in keys and "ca" not in keys and "" not in keys
    assert 3 not in keys and "\ud800" not in keys
    with pytest.raises(TypeError):
        quorvatine.Dictionary(WORDS)
    # A walk that reaches a node twice fails, as fuzzy_match does.
    looping = quorvatine.Dictionary(quorvatine.from_internal_data(*LOOPING))
    for call in (len, iter, quorvatine.Dictionary.items):
        with pytest.raises(quorvatine.PanicException, match="not a tree"):
            call(looping)
    assert "b" not in looping and repr(looping).startswith("quorvatine.Dictionary(<")


def test_save_and_load_round_trip_also_when_saves_meet(tmp_path):
    built = quorvatine.build(WORDS)
    arrays = quorvatine.from_internal_data(*quorvatine.layout(WORDS))
    path = tmp_path / "words.qvt"
    path.write_bytes(b"an older file")
    for trie in (built, arrays, _native.with_key_counts(built, [2**64 - 1] * 7)):
        quorvatine.save(trie, path)
        assert path.read_bytes()[:8] == b"\x89QVM\r\n\x1a\n"
        for mmap in (True, False):
            loaded = quorvatine.load(path, mmap=mmap)
            assert loaded.to_bytes() == trie.to_bytes() and _counts(loaded) == _counts(trie)
            assert quorvatine.Dictionary(loaded).items() == quorvatine.Dictionary(trie).items()
    # Files of the earlier form: the byte form behind a 16-byte header.
    path.write_bytes(_prepared(len(built.to_bytes()), built.to_bytes()))
    assert quorvatine.load(path).to_bytes() == built.to_bytes()
    assert [p.name for p in tmp_path.iterdir()] == ["words.qvt"]
    # Threads saving to one path each replace it whole, the last one winning,
    # past a temporary file that a killed save left behind.
    stale = tmp_path / f"words.qvt.tmp{os.getpid()}"
    stale.write_bytes(b"")
    tries = [quorvatine.build(["a"]), built]
    failures = []

    def save_often(one):
        for _ in range(100):
            try:
                quorvatine.save(one, path)
            except OSError as error:
                failures.append(error)

    savers = [threading.Thread(target=save_often, args=(one,)) for one in tries]
    for saver in savers:
        saver.start()
    for saver in savers:
        saver.join()
    assert failures == []
    assert quorvatine.load(path).to_bytes() in {one.to_bytes() for one in tries}
    assert sorted(p.name for p in tmp_path.iterdir()) == ["words.qvt", stale.name]


def _prepared(length, body):
    return b"\x89QVT\r\n\x1a\n" + length.to_bytes(8, "little") + body


def _index(**changes):
    """The index file of WORDS with header fields (offset: bytes) replaced."""
    data = bytearray(_native.image(quorvatine.build(WORDS)))
    for offset, value in changes.values():
        data[offset : offset + len(value)] = value
    return bytes(data)


@pytest.mark.parametrize(
    "content, message",
    [
        (b"car\ncart\n", "not a prepared trie file"),
        # A declared length is checked against the file before it sizes anything.
        (_prepared(2**60, b"\x00"), f"damaged (header declares {2**60} bytes, 1 follow)"),
        (_prepared(1, b"\xfd"), "damaged (cannot decode trie bytes: UnexpectedEnd"),
        (_index()[:100], "damaged (header declares"),
        (_index(version=(8, b"\x02")), "damaged (index format version 2 is not known"),
        (_index(sections=(12, b"\xff")), "damaged (255 sections, more than 64)"),
        (_index(offset=(80 + 8, b"\x01")), "lies outside the file"),
        (_index(states=(40, b"\x00\x00\x00\x00")), "damaged (section 1 holds"),
        (_index()[:79], "damaged (shorter than the index header)"),
    ],
    ids=["no_header", "wrong_length", "undecodable", "truncated", "version", "table",
         "offset", "counts", "short"],
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


def test_distribution_carries_the_licence_and_the_data_notices():
    installed = metadata.distribution("quorvatine")
    assert installed.metadata["License-Expression"] == "MIT"
    licences = {path.name for path in installed.files if "licenses" in path.parts}
    assert {"LICENSE", "american-english.copyright", "word-frequencies.copyright"} <= licences


# Examples run in processes of their own that import numpy (through pandas)
# or start a Dask cluster: left out under the sanitizers, where numpy's
# objects left at exit fail the process.
EXAMPLE_PROCESSES = {"dask_join", "fuzzy_join"}


@pytest.mark.parametrize(
    "example",
    [
        pytest.param(p, marks=[pytest.mark.own_process] if p.stem in EXAMPLE_PROCESSES else [])
        for p in sorted((ROOT / "examples").glob("*.py"))
    ],
    ids=lambda p: p.stem,
)
def test_example_runs(example):
    run = subprocess.run([sys.executable, str(example)], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout
