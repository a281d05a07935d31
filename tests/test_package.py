"""Pickling through the byte form and parallel batches."""

import multiprocessing
import pickle

import pytest

pytest.importorskip("_quorvatine")
import quorvatine  # noqa: E402

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
