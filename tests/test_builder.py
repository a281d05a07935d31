"""The layout of words into node arrays and tries, from Python objects and
from word-list files, against the plain layouts of the test tree."""

import enum
import os
import random
import tempfile
import types
from collections.abc import Mapping
from itertools import accumulate, chain, product

import pytest
from hypothesis import given
from hypothesis import strategies as st

import reference
from _quorvatine import from_internal_data
from quorvatine import build, build_word_list, layout
from quorvatine.dictionary import DataError, encode_word_list, read_words
from reference import children, preorder, stored_keys

ALPHABET = st.sampled_from(["a", "b", "c", "é", "ж", "\uffff", "\U0001f600", "\U0001f601"])
# Code points at both ends of every UTF-8 length, and NUL.
EVERY_LENGTH = "\0a\x7f\x80\u07ff\u0800\uffff\U00010000\U0010ffff"
KEYS = st.text(ALPHABET, min_size=1, max_size=6)
# NUL and \1 beside code points taking one, two and four bytes in a fixed-width encoding.
TRICKY = st.sampled_from(["\0", "\1", "a", "é", "\uffff", "\U0001f600"])
PAYLOADS = st.integers(0, 2**32 - 1)


def naive_layout(words):
    """The arrays from their definition: the nodes are the distinct prefixes,
    and pre-order with children by code point is their sorted order."""
    nodes = sorted({word[:end] for word in words for end in range(len(word) + 1)} | {""})
    ids = {text: i for i, text in enumerate(nodes)}
    kids = [[] for _ in nodes]
    for text in nodes[1:]:
        kids[ids[text[:-1]]].append(ids[text])
    shifts = list(accumulate(map(len, kids), initial=0))[:-1]
    return shifts, [t[-1:] for t in nodes], [words.get(t) for t in nodes], [*chain(*kids)]


@pytest.mark.parametrize(
    "words, arrays",
    [
        ([], ([0], [""], [None], [])),
        (
            ["car", "cart", "cat"],
            ([0, 1, 2, 4, 5, 5], ["", "c", "a", "r", "t", "t"], [None, None, None, 0, 1, 2],
             [1, 2, 3, 5, 4]),
        ),
        ({"b": 5, "a": 7, "ab": 0},
         ([0, 2, 3, 3], ["", "a", "b", "b"], [None, 7, 0, 5], [1, 3, 2])),
        # Code-point order, not UTF-16 order: U+FFFF before U+1F600.
        (
            ["\U0001f600", "\uffff", "é", "z"],
            ([0, 4, 4, 4, 4], ["", "z", "é", "\uffff", "\U0001f600"], [None, 3, 2, 1, 0],
             [1, 2, 3, 4]),
        ),
        # A repeated word keeps its first position.
        (["b", "a", "b", "a"], ([0, 2, 2], ["", "a", "b"], [None, 1, 0], [1, 2])),
        ({"x": 0, "y": 4294967295}, ([0, 2, 2], ["", "x", "y"], [None, 0, 4294967295], [1, 2])),
    ],
)
def test_lays_out_by_hand_checked_arrays(words, arrays):
    assert layout(words) == arrays


class Small(enum.IntEnum):
    THREE = 3


class Word(str):
    def __lt__(self, other):  # would reverse the order if it were used
        return str.__gt__(self, other)


class Twin(str):
    """Equal only to itself, so that a dict can hold two of the same text."""

    __hash__ = object.__hash__

    def __eq__(self, other):
        return self is other


class Pairs(Mapping):
    """A mapping that is not a dict, whose items() ends halfway when asked to."""

    def __init__(self, pairs, fails=False):
        self.pairs, self.fails = dict(pairs), fails

    def __getitem__(self, key):
        return self.pairs[key]

    def __len__(self):
        return len(self.pairs)

    def __iter__(self):
        yield from self.pairs
        if self.fails:
            raise LookupError("halfway")


def test_gives_the_same_arrays_for_any_container_of_the_words():
    words = ["b", "a\0", "a", "b", "\U0001f600"]
    expected = layout(words)
    assert layout(tuple(words)) == layout(iter(words)) == expected
    assert layout(list(map(Word, words))) == expected
    assert layout({"\U0001f600": 4, "a": 2, "a\0": 1, "b": 0}) == expected


def test_accepts_index_payloads_and_str_subclasses():
    shifts, strings, payloads, _ = layout({Word("b"): Small.THREE, Word("a"): 1})
    assert strings == ["", "a", "b"] and payloads == [None, 1, 3]
    assert all(type(s) is str for s in strings) and type(payloads[2]) is int


@pytest.mark.parametrize(
    "words, error, text",
    [
        ("abc", TypeError, "not str"),
        (5, TypeError, "not int"),
        (["a", 1], TypeError, "word 1 at position 1 is int"),
        ([b"a"], TypeError, "word b'a' at position 0 is bytes"),
        ({"a": 1, None: 2}, TypeError, "word None is NoneType"),
        (["a", ""], ValueError, "empty word at position 1"),
        ({"": 0}, ValueError, "empty word"),
        ({"ok": -1}, ValueError, "payload -1 of word 'ok' is outside"),
        ({"ok": 4294967296}, ValueError, "payload 4294967296 of word 'ok'"),
        ({"ok": True}, TypeError, "word 'ok' is a bool"),
        ({"ok": 1.0}, TypeError, "payload of word 'ok' is float"),
        ({"ok": "1"}, TypeError, "payload of word 'ok' is str"),
        (["a\ud800b"], ValueError, "word 'a\\ud800b' holds the lone surrogate"),
        (types.MappingProxyType({"ok": True}), TypeError, "word 'ok' is a bool"),
        ({Twin("a"): 1, Twin("a"): 2}, ValueError, "word 'a' appears twice"),
        # A repeat comes before a later bad payload, as it was met first.
        ({Twin("b"): 1, Twin("b"): 2, "c": -1}, ValueError, "word 'b' appears twice"),
        (["ok", "é" * (2**19 + 1)], ValueError, "word 'éééééééééééééééééééé'... at position 1 is longer"),
        # The first such word in code-point order is named.
        (["b\ud800", "a\udc00"], ValueError, "word 'a\\udc00' holds the lone surrogate '\\udc00'"),
    ],
)
def test_refuses_bad_words_naming_them(words, error, text):
    with pytest.raises(error) as info:
        layout(words)
    assert text in str(info.value)


def test_passes_on_what_an_iterator_or_index_raises():
    class Broken:
        def __index__(self):
            raise ArithmeticError("broken index")

    def failing():
        yield "a"
        raise LookupError("halfway")

    with pytest.raises(ArithmeticError):
        layout({"a": Broken()})
    with pytest.raises(LookupError):
        layout(failing())
    with pytest.raises(LookupError):
        build(Pairs({"a": 1}, fails=True))
    assert layout(Pairs({"b": 0, "a": Small.THREE})) == layout({"a": 3, "b": 0})

    class Moves:
        """A payload whose __index__ moves its word past the dict's cursor."""

        def __index__(self):
            moving["a"] = moving.pop("a")
            return 1

    # As dict iteration fails, not as a word given twice.
    moving = {"a": Moves(), "b": 2}
    with pytest.raises(RuntimeError, match="^dictionary keys changed during iteration$"):
        layout(moving)


@given(st.dictionaries(KEYS, st.integers(0, 2**32 - 1), max_size=20))
def test_holds_exactly_the_words_in_preorder_and_code_point_order(words):
    arrays = layout(words)
    shifts, strings, payloads, child_indices = arrays
    assert len(shifts) == len(strings) == len(payloads) == len(child_indices) + 1
    assert stored_keys(arrays) == words
    assert preorder(arrays) == list(range(len(strings)))
    for node in range(len(strings)):
        labels = [ch for ch, _ in children(arrays, node)]
        assert labels == sorted(set(labels))


@given(st.dictionaries(st.text(TRICKY, min_size=1, max_size=5), PAYLOADS, max_size=25))
def test_matches_the_arrays_from_their_definition(words):
    assert layout(words) == naive_layout(words)


# Words agreeing on more leading code points than are compared all at once.
@given(
    st.text(TRICKY, min_size=70, max_size=70),
    st.lists(st.tuples(st.integers(55, 70), st.text(TRICKY, max_size=3), PAYLOADS), max_size=9),
)
def test_matches_the_arrays_from_their_definition_for_long_shared_parts(stem, cuts):
    words = {stem[:cut] + tail: payload for cut, tail, payload in cuts}
    assert layout(words) == naive_layout(words)


def test_matches_the_arrays_from_their_definition_for_thousands_of_words():
    texts = ("".join(t) for n in range(1, 9) for t in product("\0a\U0001f600", repeat=n))
    words = {text: i for i, text in enumerate(texts)}
    assert layout(words) == naive_layout(words)


@given(st.lists(KEYS, max_size=20))
def test_payload_of_a_listed_word_is_its_first_position(words):
    assert stored_keys(layout(words)) == {w: words.index(w) for w in words}


def plain_bytes(words):
    return from_internal_data(*reference.layout(words)).to_bytes()


# Shared prefixes and repeats: words from few code points, some given twice.
LISTS = st.lists(st.text(st.sampled_from(EVERY_LENGTH[1:]), min_size=1, max_size=8), max_size=30)


@given(LISTS, st.booleans(), st.sampled_from(["\n", "\r\n"]), st.integers(0, 3))
def test_agrees_with_the_plain_layout_from_objects_and_files(words, mapped, end, blanks):
    words = words + words[: len(words) // 3]
    if mapped:
        words = {word: random.Random(len(word)).randrange(2**32) for word in words}
    expected = reference.layout(words)
    assert layout(words) == expected
    assert build(words).to_bytes() == plain_bytes(words)
    # The same words as a file: blank lines, a byte order mark and either line end.
    lines = [f"{w}\t{p}" for w, p in words.items()] if mapped else list(words)
    text = "\ufeff" + end * blanks + end.join(lines) + end * blanks
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "words.txt")
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        assert read_words(path) == (words or [])
        assert encode_word_list(path) == build_word_list(path).to_bytes() == plain_bytes(words)


def test_agrees_with_the_plain_layout_for_a_million_words():
    rng = random.Random(13)
    stems = ["".join(rng.choices(EVERY_LENGTH, k=rng.randint(1, 6))) for _ in range(20_000)]
    words = [rng.choice(stems) + "".join(rng.choices(EVERY_LENGTH, k=rng.randint(0, 4)))
             for _ in range(1_000_000)]
    expected = reference.layout(words)
    assert layout(words) == expected
    assert build(words).to_bytes() == from_internal_data(*expected).to_bytes()


def test_refuses_a_gigabyte_line_after_reading_the_first_mebibyte(tmp_path):
    path = tmp_path / "huge.txt"
    with open(path, "wb") as f:
        f.write(b"ok\n")
        f.truncate(2**30)  # a sparse file: one line of NUL bytes
    with pytest.raises(DataError, match=f"^{path}:2: line longer than 1048576 bytes$"):
        encode_word_list(path)


def test_lays_out_a_word_100000_code_points_long():
    shifts, strings, payloads, child_indices = layout(["a" * 100_000, "b"])
    assert len(strings) == 100_002
    assert child_indices[:2] == [1, 100_001] and payloads[100_000] == 0
