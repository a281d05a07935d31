"""The spelling ranker: its order on misspellings of each kind, its sound
index against a plain scan, case carrying, and word lists with counts."""

import array
import warnings

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quorvatine
import reference
from quorvatine import _native, build, spell, spell_many
from quorvatine.casing import carry_case
from quorvatine.counts import carried_counts, read_counts
from quorvatine.dictionary import DataError


@pytest.fixture(scope="module")
def english():
    return quorvatine.english()


@pytest.mark.parametrize(
    ("typo", "intended"),
    [
        ("teh", "the"),  # adjacent swap
        ("arguement", "argument"),  # a letter added
        ("goverment", "government"),  # a letter left out
        ("begining", "beginning"),  # a double letter typed once
        ("definately", "definitely"),  # a vowel for a vowel
        ("acomodate", "accommodate"),  # two edits
        ("seperratly", "separately"),  # three: looked for further, as nothing near is likely
        ("fizicks", "physics"),  # sounds alike, five edits away
        ("RECIEVE", "RECEIVE"),  # capitals carried
        ("Teh", "The"),
        ("paris", "Paris"),  # the word's own capitals kept
        ("mozila", "Mozilla"),
    ],
)
def test_the_intended_word_comes_first(english, typo, intended):
    assert spell(english, typo, 3)[0][0] == intended


def test_order_is_exact_and_the_batch_answers_as_the_loop(english):
    words = ["wich", "Recieve", "occurr", "xqzzv", "a", "seperratly", "nollij", "fizicks", "TEH", "caffe", "definately"]
    carried = carried_counts(english)
    for word in words:
        everything = spell(english, word, 1000)
        # Pricing stops at the bound of the n-th best, and gives up on a
        # candidate once it cannot enter; the best one or two are looked for
        # two edits away among common words only, when the best within one
        # edit leave no room for others: none of it may cut anything.
        assert spell(english, word, 4) == everything[:4]
        assert spell(english, word, 1) == everything[:1]
        assert spell(english, word, 1, counts=carried) == everything[:1]  # counts not the index's
        assert spell(english, word, 2, max_dist=2) == spell(english, word, 1000, max_dist=2)[:2]
        assert all(reference.osa(c[0].lower(), word.lower()) == c[2] for c in everything[:20])
    for options in ({}, {"ignore_case": False, "max_dist": 1}, {"counts": [1] * 200_000}):
        loop = [spell(english, w, 5, **options) for w in words]
        assert spell_many(english, words, 5, threads=2, **options) == loop
    # Past 256 code points, keys go by plain distance alone.
    long = "ab" * 200
    assert spell(build([long, long + "cd"]), long + "c", 2) == [(long, 0, 1, 1.0), (long + "cd", 1, 1, 1.0)]
    # Counts decide between equally likely misspellings: "wich" with "witch" made common.
    counts = array.array("Q", carried_counts(english))
    counts[english.exact_match("witch")[1]] = 2**64 - 1
    assert spell(english, "wich", 1, counts=counts)[0][0] == "witch"


LETTERS = st.sampled_from(list("aeckstphgf"))


@given(st.sets(st.text(LETTERS, min_size=1, max_size=6), max_size=30), st.text(LETTERS, min_size=1, max_size=6))
def test_sound_index_finds_what_a_plain_scan_of_codes_finds(words, query):
    trie = build(sorted(words))
    found = {c[0] for c in spell(trie, query, 10**6)}
    code = _native.sound_code(query)
    reach = 1 if len(code) >= 4 else 0
    # Besides the sound-alike keys: the walk's, 1 edit away for words of up
    # to 3 letters, else 2 (these queries are too short to be looked for further).
    radius = 1 if len(query) <= 3 else 2
    expected = {w for w in words if reference.osa(w, query) <= radius}
    if code:
        expected |= {w for w in words if _native.sound_code(w) and reference.levenshtein(_native.sound_code(w), code) <= reach}
    assert found == expected


@pytest.mark.parametrize(
    ("query", "word", "carried"),
    [("RECIEVE", "receive", "RECEIVE"), ("Teh", "the", "The"), ("paris", "Paris", "Paris"),
     ("PARIS", "Paris", "PARIS"), ("teh", "the", "the"), ("I", "i", "I"), ("naïve", "naïve", "naïve")],
)
def test_case_is_carried(query, word, carried):
    assert carry_case(query, word) == carried


def test_word_lists_with_counts(tmp_path):
    listed = tmp_path / "counts.txt"
    listed.write_text(f"apple\t3\nbanana 18446744073709551615\r\n\nNew York\t7\napple 9\n", encoding="utf-8")
    assert read_counts(listed) == (["apple", "banana", "New York"], [3, 2**64 - 1, 7])
    trie = quorvatine.build_word_list(listed, counts=True)
    # Payloads are ranks by count, and the trie carries the counts by payload.
    assert [trie.exact_match(w)[1] for w in ("banana", "New York", "apple")] == [0, 1, 2]
    assert list(carried_counts(trie)) == [2**64 - 1, 7, 3]
    assert spell(trie, "aple", 1)[0][:3] == ("apple", 2, 1)
    for bad, why in (("word\n", "expected a word and a count"), (f"w {2**64}\n", "is above")):
        listed.write_text(bad)
        with pytest.raises(DataError, match=f"counts.txt:1: .*{why}"):
            read_counts(listed)
    # Read as payloads (or as one word per line), a list of counts draws a warning.
    listed.write_text("".join(f"w{i} {1000 - i}\n" for i in range(50)))
    with pytest.warns(UserWarning, match="looks like word counts"):
        quorvatine.build_word_list(listed)
    listed.write_text("".join(f"w{i}\t{10**9 // (i + 1)}\n" for i in range(50)))
    with pytest.warns(UserWarning, match="looks like word counts"):
        quorvatine.build_word_list(listed)
    listed.write_text("".join(f"w{i}\t{(i * 7919) % 50}\n" for i in range(50)))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        quorvatine.build_word_list(listed)
