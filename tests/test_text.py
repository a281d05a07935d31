"""Checking and correcting whole texts, and segmenting unspaced text: offsets
and untouched bytes, split and join decisions against a reference that tries
every split, and the command line streaming a large input in bounded memory."""

from __future__ import annotations

import array
import os
import random
import subprocess
import sys

import pytest

import quorvatine
from quorvatine import _lexicon, _native, text

from reference import segmentation_cost, word_cost

WORDS = ["the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "a", "I", "accommodate",
         "where", "is", "love", "he", "had", "don't", "Paris", "receive", "in", "sixth", "grade"]


@pytest.fixture(scope="module")
def trie():
    return quorvatine.build(WORDS)


# Each text, and the words check reports in it.
OFFSET_CASES = [
    ("the quick, brown fox!", []),
    ("Teh qiuck fox", ["Teh", "qiuck"]),
    ("3.14 and 42 dogs, v2, snake_case, e.g. the", ["and", "dogs"]),
    ("see https://example.com/recieve or me@exmaple.org the", ["see", "or"]),
    ("the `recieve()` code", ["code"]),
    ("crème brûlée 東京 the", ["crème", "brûlée", "東京"]),
    ("the \U0001F600 dgo \U00010400x the", ["dgo", "\U00010400x"]),
    ("the\r\nqiuck\r\n\r\nfox dgo\rthe", ["qiuck", "dgo"]),
    ("don't and don\u2019t THE Paris PARIS paris", ["and", "paris"]),
    ("well-known fox", ["well", "known"]),
]


@pytest.mark.parametrize("source, unknown", OFFSET_CASES)
def test_offsets_and_untouched_bytes(trie, source, unknown):
    issues = quorvatine.check(trie, source)
    assert [i.word for i in issues] == unknown
    starts = [0] + [k + 1 for k, c in enumerate(source)
                    if c in "\n\r" and not (c == "\r" and source[k + 1:k + 2] == "\n")]
    for issue in issues:
        assert source[issue.start:issue.end] == issue.word
        line_start = starts[issue.line - 1]
        assert issue.start - line_start + 1 == issue.column
    corrected = quorvatine.correct(trie, source)
    # The corrections, in order, rebuild the output from the input; nothing
    # outside them changes.
    rebuilt, at = [], 0
    for c in corrected.corrections:
        assert c.start >= at and source[c.start:c.end] == c.original != c.replacement
        rebuilt += [source[at:c.start], c.replacement]
        at = c.end
    assert "".join(rebuilt) + source[at:] == corrected.text


def test_native_word_scan_follows_the_patterns(trie):
    pieces = ["the", "fox", "Fox", "a", "'", "\u2019", ".", "_", "1", "\u00b2", "\u00bd", " ", "-",
              "\u00e9", "e\u0301", "\u6771", "\U00010400", "\U0001F600", "\u216b", "\u0663"]
    rng = random.Random(5)
    texts = ["".join(rng.choice(pieces) for _ in range(rng.randint(0, 12))) for _ in range(500)]
    found = [
        [(*m.span(), hit[1] if hit else None) for m in text._CHUNK.finditer(t)
         if text._WORD.fullmatch(m.group()) for hit in [trie.exact_match(m.group())]]
        for t in texts
    ]
    assert _native.text_words(trie, texts) == found
    assert _native.unwritten_words(trie, texts) == [
        [(a, b) for a, b, payload in words if payload is None] for words in found]


@pytest.mark.parametrize("source, expected", [
    ("Teh qiuck brown fox", "The quick brown fox"),
    ("THEQUICK fox, thelazy dog.", "THE QUICK fox, the lazy dog."),
    ("acc ommodate the fox", "accommodate the fox"),
    ("whereis th elove", "where is the love"),
    ("I recieve in sixtgrade", "I receive in sixth grade"),
    ("zzzzqqq the fox", "zzzzqqq the fox"),
])
def test_correct(trie, source, expected):
    assert quorvatine.correct(trie, source).text == expected
    assert quorvatine.correct_many(trie, [source, source], threads=2) == [
        quorvatine.correct(trie, source)] * 2


def test_the_bundled_dictionary_reads_word_pairs():
    # Word pairs tell "he had" from "head" and "sixth grade" from "six trade".
    english = quorvatine.english()
    source = ("whereis th elove hehad dated forImuch of thepast who couqdn'tread in sixtgrade "
              "and ins pired him")
    assert quorvatine.correct(english, source).text == (
        "where is the love he had dated for much of the past who couldn't read in sixth grade "
        "and inspired him")
    assert quorvatine.segment(english, "thequickbrownfoxjumpsoverthelaz ydog", 0).text == (
        "the quick brown fox jumps over the lazy dog")
    # A dictionary word is not split for a pair's sake (pair counts split "cannot").
    assert quorvatine.correct(english, "You cannot wsee thge woodfor the trees.").text == (
        "You cannot see the wood for the trees.")


def test_a_threshold_leaves_words_alone(trie):
    assert quorvatine.correct(trie, "qiuck fox", threshold=100.0).corrections == []


def test_segment(trie):
    found = quorvatine.segment(trie, "#Thequickbrownfox jumpsover the laz ydog 2024")
    assert found.text == "#The quick brown fox jumps over the lazy dog 2024"
    assert found.words == ["The", "quick", "brown", "fox", "jumps", "over", "the", "lazy", "dog"]
    assert quorvatine.segment(trie, "thequikcfox", 1) == ("the quick fox", ["the", "quick", "fox"], 1)
    assert quorvatine.segment_many(trie, ["", "dog"], threads=2) == [("", [], 0), ("dog", ["dog"], 0)]


COSTS = (7.0, 20.0, 3.0, 4.0, 6.0)


@pytest.mark.parametrize("counts", [None, [0, 0, 0], [5, 0, 900, 7, 0, 60, 3, 2]])
def test_segmentation_is_the_cheapest_of_every_split(counts):
    words = {w: k for k, w in enumerate(["a", "ab", "abc", "bca", "ca", "cab", "b", "bacab"])}
    trie = quorvatine.build(words)
    if counts:
        counts = counts + [0] * (len(words) - len(counts))
        trie = quorvatine.with_counts(trie, counts)
    # The costs correct weighs a text as written by are the segmentation's.
    assert [_lexicon.word_costs(trie)(p) for p in words.values()] == pytest.approx(
        [word_cost(p, counts) for p in words.values()])
    rng = random.Random(23)
    for _ in range(60):
        letters = "".join(rng.choice("abcd") for _ in range(rng.randint(0, 9)))
        cuts = sorted(rng.sample(range(1, len(letters)), min(2, max(len(letters) - 1, 0))))
        fixed = [(cuts[0], len(letters), 5.5)] if cuts and rng.random() < 0.5 else []
        max_dist = rng.randint(0, 2)
        for job in ((letters, [], []), (letters, cuts, fixed)):
            [(cost, pieces)] = _native.segment_many(trie, [job], max_dist, True, COSTS, 1)
            expected = segmentation_cost(words, letters, max_dist, COSTS, job[1], job[2], counts)
            assert cost == pytest.approx(expected), (job, max_dist, pieces)
            assert [p[0] for p in pieces[1:]] == [p[1] for p in pieces[:-1]]
            assert "".join(letters[p[0]:p[1]] for p in pieces) == letters
        # With pairs the table keeps a few ways per position, not one per
        # key: its cost lies between the least of every split and that of
        # every split without pairs (on shorter texts: the reference is slow).
        if len(letters) > 6:
            continue
        pairs = {(rng.randrange(8), rng.randrange(8)): rng.randint(0, 6000) / 1000 for _ in range(16)}
        packed = array.array("Q", sorted((a << 40) | (b << 16) | round(c * 1000)
                                         for (a, b), c in pairs.items()))
        fixed = [(*f, rng.randrange(8), rng.random() < 0.5) for f in fixed]
        job = (letters, cuts, fixed, rng.choice([None, 0, 3]), rng.choice([None, 2, 5]))
        [(cost, pieces)] = _native.segment_many(trie, [job], max_dist, True, COSTS, 1, packed)
        least = segmentation_cost(words, letters, max_dist, COSTS, cuts, fixed, counts, pairs,
                                  job[3], job[4])
        unpaired = segmentation_cost(words, letters, max_dist, COSTS, cuts, fixed, counts)
        assert least - 1e-9 <= cost <= unpaired + 1e-9, (job, max_dist, pieces)


def test_check_streams_a_large_input_in_bounded_memory(tmp_path):
    line = "the quick brown fox jumps over the lazy dgo and acc ommodate thequick " * 40
    big = tmp_path / "big.txt"
    with open(big, "w") as f:
        for k in range(500):
            f.write(line + "\n")
        # A line of 2 MiB, cut at spaces as it is read.
        f.write("teh " * (1 << 19) + "\n")
    script = (
        "import sys; from quorvatine.cli import main; status = main(sys.argv[1:]); "
        "sys.stdout.flush(); "
        "print(open('/proc/self/status').read().split('VmHWM:')[1].split()[0], file=sys.stderr); "
        "sys.exit(status)"
    )
    proc = subprocess.run([sys.executable, "-c", script, "check", str(big)],
                          capture_output=True, text=True)
    assert proc.returncode == 1
    lines = proc.stdout.splitlines()
    assert len(lines) == 500 * 40 * 4 + (1 << 19)
    assert lines[0].startswith(f"{big}:1:41: dgo: ")
    assert lines[-1].startswith(f"{big}:501:{4 * ((1 << 19) - 1) + 1}: teh: the")
    # AddressSanitizer's shadow memory and quarantine inflate the peak: the
    # bound is checked without it.
    if "asan" not in os.environ.get("LD_PRELOAD", ""):
        peak_kib = int(proc.stderr.split()[-1])
        assert peak_kib < 100 * 1024, peak_kib
