"""suggest and complete against the brute-force rankings over every key."""

from collections.abc import Sequence
from fractions import Fraction

import pytest
from hypothesis import given
from hypothesis import strategies as st

import reference
from _quorvatine import from_internal_data
from quorvatine import PanicException, build, complete, complete_many, suggest, suggest_many

ALPHABET = st.sampled_from(["a", "b", "c", "é", "\U0001f600", "A", "É"])
KEYS = st.text(ALPHABET, min_size=1, max_size=6)
CALLS = {"suggest": (suggest, reference.suggest), "complete": (complete, reference.complete)}
BATCHES = {"suggest": suggest_many, "complete": complete_many}


# Few payloads, repeated; row numbers of the keys sorted (payloads equal to
# the key numbers) or as drawn.
DRAWN_WORDS = st.one_of(
    st.dictionaries(KEYS, st.integers(0, 9), max_size=25),
    st.lists(KEYS, unique=True, max_size=25).map(lambda keys: {k: i for i, k in enumerate(sorted(keys))}),
    st.lists(KEYS, unique=True, max_size=25).map(lambda keys: {k: i for i, k in enumerate(keys)}),
)


@pytest.mark.parametrize("call", CALLS)
@given(
    DRAWN_WORDS,
    st.lists(st.text(ALPHABET, max_size=5), min_size=1, max_size=8),
    st.integers(0, 7),
    st.one_of(st.integers(0, 5), st.sampled_from([32, 300, 2**64 - 1])),  # every kind of row
    st.booleans(),
    st.one_of(st.none(), st.lists(st.sampled_from([0, 1, 2.5, -1, 10**30]), min_size=25, max_size=25)),
    st.sampled_from([1, 2, 5]),
    st.booleans(),
)
def test_ranks_as_the_brute_force_does(call, words, queries, n, max_dist, swaps, scores, threads, fold):
    # Few payloads and scores, so that ties on them are common and the key
    # decides. build() keeps a shared tree, read by key number.
    ours, plain = CALLS[call]
    trie = build(words)
    expected = [plain(words, query, n, max_dist, swaps, scores, fold) for query in queries]
    options = {"transpositions": swaps, "scores": scores, "ignore_case": fold}
    assert [ours(trie, query, n, max_dist, **options) for query in queries] == expected
    # The batch on native threads answers as the loop does.
    assert BATCHES[call](trie, queries, n, max_dist, threads=threads, **options) == expected
    # So does the compact form, which arrays given by hand are kept in.
    compact = from_internal_data(*reference.layout(words))
    assert [ours(compact, query, n, max_dist, **options) for query in queries] == expected


WORDS = {"the": 0, "teh": 9, "tea": 3, "ten": 3, "then": 1, "thee": 2, "ab": 4, "ba": 5, "x😀y": 6, "😀x": 7}


@pytest.mark.parametrize(
    ("call", "query", "kwargs", "expected"),
    [
        # A swap at either end of the word is one edit, Levenshtein counts two.
        ("suggest", "hte", {"n": 1, "max_dist": 1}, [("the", 0, 1)]),
        ("suggest", "hte", {"n": 1, "max_dist": 1, "transpositions": False}, []),
        ("suggest", "aab", {"n": 5, "max_dist": 1}, [("ab", 4, 1)]),
        ("suggest", "😀xy", {"n": 2, "max_dist": 1}, [("x😀y", 6, 1), ("😀x", 7, 1)]),
        # Ties at the worst distance kept go by payload, then by key.
        ("suggest", "tex", {"n": 2, "max_dist": 1}, [("tea", 3, 1), ("ten", 3, 1)]),
        ("suggest", "teh", {"n": 0}, []),
        ("suggest", "", {"n": 3, "max_dist": 2}, [("ab", 4, 2), ("ba", 5, 2), ("😀x", 7, 2)]),
        ("complete", "", {"n": 2, "max_dist": 0}, [("the", 0, 0), ("then", 1, 0)]),
        ("complete", "th", {"n": 9, "max_dist": 0}, [("the", 0, 0), ("then", 1, 0), ("thee", 2, 0)]),
        ("complete", "hten", {"n": 1}, [("then", 1, 1)]),
        ("complete", "😀", {"n": 9, "max_dist": 0}, [("😀x", 7, 0)]),
    ],
)
def test_edge_cases(call, query, kwargs, expected):
    assert CALLS[call][0](build(WORDS), query, **kwargs) == expected


def test_scores_rank_ties_and_are_checked():
    trie = build(WORDS)
    freq = [0] * 10
    freq[3], freq[1] = 5, 7
    expected = [("ten", 3, 0), ("then", 1, 1), ("tea", 3, 1)]
    assert suggest(trie, "ten", 3, 1, scores=freq) == expected

    class Frequencies(Sequence):
        """2**40 scores, of which only payloads up to 9 (the largest stored) may be read."""

        def __len__(self):
            return 2**40

        def __getitem__(self, payload):
            if payload > 9:
                raise IndexError(f"scores[{payload}] was read")
            return freq[payload]

    # Any sequence of numbers, numpy's arrays and scalars among them.
    import numpy

    for scores in (Frequencies(), numpy.array(freq), [numpy.int64(f) for f in freq], list(map(Fraction, freq))):
        assert suggest(trie, "ten", 3, 1, scores=scores) == expected
        assert suggest_many(trie, ["ten"], 3, 1, scores=scores) == [expected]
    assert suggest(trie, "ten", 2, 1, scores=[0.5] * 10) == [("ten", 3, 0), ("tea", 3, 1)]
    with pytest.raises(ValueError, match="scores has 2 entries: none for payload [39]"):
        suggest(trie, "ten", 2, 1, scores=[1, 2])
    with pytest.raises(TypeError, match=r"scores\[\d\] is not an int or a float"):
        suggest(trie, "ten", 2, 1, scores=["x"] * 10)
    with pytest.raises(ValueError, match="NaN"):
        suggest(trie, "ten", 2, 1, scores=[float("nan")] * 10)
    with pytest.raises(OverflowError):
        suggest(trie, "ten", 2, 1, scores=[10**400] * 10)


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS)
def test_arguments_are_checked(call):
    ours = call[0]
    trie = build(WORDS)
    with pytest.raises(TypeError, match="trie must be a PrefixSearch, not dict"):
        ours(WORDS, "a")
    with pytest.raises(TypeError, match="must be a str, not bytes"):
        ours(trie, b"a")
    with pytest.raises(TypeError, match="n must be an int, not float"):
        ours(trie, "a", 1.0)
    with pytest.raises(TypeError, match="max_dist must be an int, not bool"):
        ours(trie, "a", 1, True)
    with pytest.raises(ValueError, match="n must not be negative: -1"):
        ours(trie, "a", -1)
    with pytest.raises(OverflowError, match="max_dist must be at most"):
        ours(trie, "a", 1, 2**64)
    with pytest.raises(TypeError, match="scores must be a sequence"):
        ours(trie, "a", scores={1: 2})
    assert ours(trie, "a", 2**64 - 1, 2**64 - 1) == ours(trie, "a", 100, 100)


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS)
def test_arrays_that_are_not_a_tree_fail_whatever_the_query(call):
    # Node 1 is a child of the root twice.
    dag = from_internal_data([0, 2], ["", "a"], [None, 1], [1, 1])
    with pytest.raises(PanicException, match="child relation is not a tree"):
        call[0](dag, "zzz", 1, 0)


def test_siblings_repeating_a_code_point_are_all_ranked():
    # The root's two children are both "a": the nearest is the one whose
    # payload ranks first, at every radius, case folded or not.
    twins = from_internal_data([0, 2, 2], ["", "a", "a"], [None, 5, 3], [1, 2])
    for max_dist in (0, 2):
        assert suggest(twins, "a", 2, max_dist) == [("a", 3, 0), ("a", 5, 0)]
        assert suggest(twins, "A", 1, max_dist, ignore_case=True) == [("A", 3, 0)]
    assert suggest(twins, "b", 1, 1) == [("a", 3, 1)]
