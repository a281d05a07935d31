"""fuzzy_match and exact_match on PrefixSearch, against naive reference models."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

_quorvatine = pytest.importorskip("_quorvatine")
from quorvatine import Dictionary, build, fuzzy_match_many, layout  # noqa: E402
from reference import levenshtein, walk  # noqa: E402

MAX_U64 = 2**64 - 1
CAR = {"car": 7, "cart": 8, "cat": 9}
ALPHABET = st.sampled_from(["a", "b", "c", "é", "ж", "\uffff", "\U0001f600", "\U0001f601"])
KEYS = st.text(ALPHABET, min_size=1, max_size=6)
WORDS = st.dictionaries(KEYS, st.integers(0, 2**32 - 1), max_size=15)
QUERIES = st.text(ALPHABET, max_size=6)


def search(arrays):
    return _quorvatine.from_internal_data(*arrays)


def shuffled(arrays, rng):
    """The same trie with every node's children stored in a random order."""
    shifts, strings, payloads, child_indices = arrays
    child_indices = list(child_indices)
    for node, start in enumerate(shifts):
        end = shifts[node + 1] if node + 1 < len(shifts) else len(child_indices)
        part = child_indices[start:end]
        rng.shuffle(part)
        child_indices[start:end] = part
    return shifts, strings, payloads, child_indices


def raises_panic(call, *args):
    with pytest.raises(BaseException) as info:
        call(*args)
    assert type(info.value).__name__ == "PanicException"
    assert not isinstance(info.value, Exception)
    return str(info.value)


@pytest.mark.parametrize(
    "query, max_dist, limit, expected",
    [
        ("car", 1, None, [("car", 7, 0), ("cart", 8, 1), ("cat", 9, 1)]),
        ("car", 1, 2, [("car", 7, 0), ("cart", 8, 1)]),
        ("car", 1, 0, []),
        ("cart", 1, None, [("car", 7, 1), ("cart", 8, 0), ("cat", 9, 1)]),
        ("Car", 1, None, [("car", 7, 1)]),
        ("", 3, None, [("car", 7, 3), ("cat", 9, 3)]),
        ("xyz", MAX_U64, MAX_U64, [("car", 7, 3), ("cart", 8, 4), ("cat", 9, 3)]),
    ],
)
def test_fuzzy_match_worked_examples(query, max_dist, limit, expected):
    assert build(CAR).fuzzy_match(query, max_dist, limit) == expected


def test_fuzzy_match_puts_the_continuing_child_first():
    # 't' stored before 'r' under 'ca'.
    arrays = ([0, 1, 2, 4, 5, 5], ["", "c", "a", "r", "t", "t"], [None, None, None, 7, 9, 8],
              [1, 2, 4, 3, 5])
    trie = search(arrays)
    assert trie.fuzzy_match(prefix="car", max_dist=1, limit=None) == [
        ("car", 7, 0), ("cart", 8, 1), ("cat", 9, 1)]
    assert trie.fuzzy_match("", 4, None) == [("cat", 9, 3), ("car", 7, 3), ("cart", 8, 4)]


@pytest.mark.parametrize(
    "query, expected",
    [("car", ("car", 7, 0)), ("cart", ("cart", 8, 0)), ("ca", None), ("carts", None),
     ("cab", None), ("Car", None), ("", None)],
)
def test_exact_match_worked_examples(query, expected):
    assert build(CAR).exact_match(query) == expected


def test_root_payload_is_never_reported():
    trie = search(([0, 1], ["", "a"], [5, 6], [1]))
    assert trie.exact_match(prefix="") is None
    assert trie.fuzzy_match("", 1, None) == [("a", 6, 1)]


def test_supplementary_code_points_are_one_unit():
    trie = build({"\U0001f600a": 1, "b\U00010348": 2})
    assert trie.fuzzy_match("\U0001f601a", 1, None) == [("\U0001f600a", 1, 1)]
    assert trie.exact_match("b\U00010348") == ("b\U00010348", 2, 0)


@given(WORDS, QUERIES, st.integers(0, 4))
def test_fuzzy_match_finds_every_key_within_reach(words, query, max_dist):
    found = build(words).fuzzy_match(query, max_dist, None)
    expected = {(k, p, levenshtein(k, query)) for k, p in words.items()}
    assert len(found) == len(set(found))
    assert set(found) == {e for e in expected if e[2] <= max_dist}


@given(WORDS, QUERIES, st.integers(0, 4), st.none() | st.integers(0, 6), st.randoms())
def test_fuzzy_match_order_follows_the_walk_model(words, query, max_dist, limit, rng):
    arrays = shuffled(layout(words), rng)
    trie = search(arrays)
    unlimited = trie.fuzzy_match(query, max_dist, None)
    assert unlimited == walk(arrays, query, max_dist)
    if limit is not None:
        assert trie.fuzzy_match(query, max_dist, limit) == unlimited[:limit]


@given(WORDS, st.lists(QUERIES, max_size=12), st.integers(0, 3), st.none() | st.integers(0, 4),
       st.sampled_from([1, 2, 5]), st.randoms())
def test_batches_and_the_key_view_agree_with_single_calls(words, queries, max_dist, limit, threads, rng):
    arrays = shuffled(layout(words), rng)
    trie = search(arrays)
    expected = [trie.fuzzy_match(q, max_dist, limit) for q in queries]
    assert fuzzy_match_many(trie, queries, max_dist, limit, threads=threads) == expected
    keys = Dictionary(trie)
    # Keys are at most 6 code points deep: the empty query at 6 reaches them all.
    assert keys.items() == [(k, p) for k, p, _ in walk(arrays, "", 6)]
    assert list(keys) == [k for k, _ in keys.items()] and len(keys) == len(words)
    assert all((q in keys) == (q in words) for q in queries)


@given(WORDS, st.lists(QUERIES, max_size=5), st.randoms())
def test_exact_match_agrees_with_a_dict(words, queries, rng):
    trie = search(shuffled(layout(words), rng))
    for query in [*words, *queries]:
        expected = (query, words[query], 0) if query in words else None
        assert trie.exact_match(query) == expected


# Root children: 1 'b' (10), 2 'a' (20) with child 4 'c' (40), 3 'a' (30).
REPEATED = ([0, 3, 3, 4, 4], ["", "b", "a", "a", "c"], [None, 10, 20, 30, 40], [1, 2, 3, 4])


@pytest.mark.parametrize(
    "query, max_dist, expected",
    [
        ("a", 1, [("a", 20, 0), ("ac", 40, 1), ("a", 30, 0), ("b", 10, 1)]),
        ("", 1, [("b", 10, 1), ("a", 20, 1), ("a", 30, 1)]),
        ("ac", 0, [("ac", 40, 0)]),
    ],
)
def test_siblings_repeating_a_code_point_are_all_visited(query, max_dist, expected):
    assert search(REPEATED).fuzzy_match(query, max_dist, None) == expected
    assert walk(REPEATED, query, max_dist) == expected


def test_exact_match_among_repeated_siblings_gives_the_first_found():
    assert search(REPEATED).exact_match("a") == ("a", 20, 0)


@pytest.mark.parametrize(
    "arrays, query, max_dist",
    [
        (([0, 1], ["", "a"], [None, 1], [1, 1]), "a", MAX_U64),  # self-loop
        (([0, 1], ["", "a"], [None, 1], [1, 1]), "a" * 50, 0),
        (([0, 2, 3], ["", "a", "b"], [None, None, 3], [1, 2, 2]), "", 5),  # shared child
        (([0, 1], ["r", "a"], [None, None], [1, 0]), "", 5),  # root as a child
    ],
)
def test_a_child_relation_that_is_not_a_tree_fails(arrays, query, max_dist):
    trie = search(arrays)
    assert "not a tree" in raises_panic(trie.fuzzy_match, query, max_dist, None)
    assert trie.get_payload(1) == arrays[2][1]  # still usable


def test_exact_match_along_a_cycle_fails():
    trie = search(([0, 1], ["", "a"], [None, 1], [1, 1]))
    assert "not a tree" in raises_panic(trie.exact_match, "aaa")


def test_a_node_reached_twice_fails_at_once():
    # Nodes 2 to 9 are unreachable: the node count alone would let node 1 be
    # walked again, but a tree never reaches a node twice.
    trie = search(([0, 1], ["", "a"], [None, 1] + [None] * 8, [1, 1]))
    raises_panic(trie.fuzzy_match, "a", 0, None)
    assert trie.fuzzy_match("b", 0, None) == []  # the cycle is never entered


def test_a_trie_without_nodes_fails():
    trie = search(([], [], [], []))
    raises_panic(trie.fuzzy_match, "a", 1, None)
    raises_panic(trie.exact_match, "a")


def test_a_trie_of_depth_100000_works():
    word = "a" * 100_000
    trie = build([word, "b"])
    assert trie.fuzzy_match("", MAX_U64, None) == [(word, 0, 100_000), ("b", 1, 1)]
    assert trie.exact_match("b") == ("b", 1, 0)
