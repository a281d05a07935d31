"""Spelling corrections against the spell checkers people use: how often the
intended word of a real misspelling comes first, in the top 5 and in the top
10, per kind of error, and how many words per second each answers on one
thread, all measured side by side in one run.

    bench/setup.sh                       # once: misspellings, peers, .venv-bench
    .venv-bench/bin/python bench/spelling.py [--quick]

The misspellings: LibreOffice's English autocorrect lists (en-US, en-GB,
en-AU, en-ZA; entries that replace one word by one word) and codespell's
smaller dictionaries (rare, usage, informal, code, names), never its main
typo list (which the error model's weights were read from). Pairs are split
in two by a hash of the misspelling: the "tuning" half, the only one the
ranker's constants were ever tried on, and the "held-out" half, never looked
at while tuning. A pair counts when its intended word (or its lower-case
form, for a capitalised misspelling) is in the bundled dictionary and the
misspelling is not.

Peers: aspell in every suggestion mode and hunspell (Debian's, through their
`-a` pipe, with Debian's en_US dictionaries), symspellpy and pyspellchecker
with the bundled dictionary's words and counts.
"""

from __future__ import annotations

import argparse
import re
import subprocess
import sys
import time
import zipfile
import zlib
from collections import defaultdict
from collections.abc import Callable, Iterable
from pathlib import Path
from typing import NamedTuple
from xml.etree import ElementTree

import wordlists

import quorvatine
from quorvatine.counts import carried_counts

DATA = Path(__file__).resolve().parent.parent / "build" / "bench-data" / "libreoffice"
AUTOCORRECT = DATA / "usr/lib/libreoffice/share/autocorr"
LOCALES = ("en-US", "en-GB", "en-AU", "en-ZA")
CODESPELL_OTHERS = ("rare", "usage", "informal", "code", "names")
ASPELL_MODES = ("ultra", "fast", "normal", "slow", "bad-spellers")
_WORD = re.compile(r"[^\W\d_]+(?:'[^\W\d_]+)?")
TOP = 10


class Pair(NamedTuple):
    typo: str
    intended: str


def autocorrect_pairs() -> dict[str, str]:
    pairs: dict[str, str] = {}
    ns = "{http://openoffice.org/2001/block-list}"
    for locale in LOCALES:
        path = AUTOCORRECT / f"acor_{locale}.dat"
        if not path.exists():
            raise SystemExit(f"{path} not found: run bench/setup.sh")
        with zipfile.ZipFile(path) as archive:
            root = ElementTree.fromstring(archive.read("DocumentList.xml"))
        for e in root:
            pairs.setdefault(e.get(f"{ns}abbreviated-name", ""), e.get(f"{ns}name", ""))
    return pairs


def codespell_pairs() -> dict[str, str]:
    pairs: dict[str, str] = {}
    folder = wordlists.codespell_dictionary().parent
    for name in CODESPELL_OTHERS:
        for line in (folder / f"dictionary_{name}.txt").read_text(encoding="utf-8").splitlines():
            typo, _, fixes = line.partition("->")
            choices = [f.strip() for f in fixes.split(",") if f.strip()]
            if len(choices) == 1:
                pairs.setdefault(typo.strip(), choices[0])
    return pairs


def test_pairs(trie: quorvatine.PrefixSearch) -> tuple[list[Pair], list[Pair]]:
    """(tuning, held-out) pairs, each sorted."""
    pairs = codespell_pairs() | autocorrect_pairs()
    known = quorvatine.Dictionary(trie)
    kept = []
    for typo, fix in pairs.items():
        if not (_WORD.fullmatch(typo) and _WORD.fullmatch(fix)) or typo in known:
            continue
        if typo.lower() == fix.lower():
            continue
        if fix in known or (fix[:1].isupper() and typo[:1].isupper() and fix.lower() in known):
            kept.append(Pair(typo, fix))
    kept.sort()
    halves: tuple[list[Pair], list[Pair]] = ([], [])
    for pair in kept:
        halves[zlib.crc32(pair.typo.encode()) % 2].append(pair)
    return halves


def osa(a: str, b: str) -> int:
    rows = [list(range(len(b) + 1))]
    for i, ca in enumerate(a, 1):
        row = [i]
        for j, cb in enumerate(b, 1):
            cell = min(rows[-1][j] + 1, row[j - 1] + 1, rows[-1][j - 1] + (ca != cb))
            if i > 1 and j > 1 and ca == b[j - 2] and a[i - 2] == cb:
                cell = min(cell, rows[-2][j - 2] + 1)
            row.append(cell)
        rows.append(row)
    return rows[-1][-1]


def _skeleton(word: str) -> str:
    """Consonants only, repeats merged: a plain test of "sounds alike" that is
    not the ranker's own sound code."""
    out = []
    for c in word.lower():
        if c in "aeiouy" or not c.isalpha():
            continue
        if not out or out[-1] != c:
            out.append(c)
    return "".join(out)


def kinds(pair: Pair) -> list[str]:
    """The kinds of error a pair shows: one by edits, and "sound-alike" and
    "capitalised" besides."""
    typo, fix = pair.typo.lower(), pair.intended.lower()
    d = osa(typo, fix)
    if d == 1:
        if len(typo) == len(fix):
            diffs = [i for i in range(len(typo)) if typo[i] != fix[i]]
            kind = "swap" if len(diffs) == 2 else "substitution"
        elif len(typo) > len(fix):
            i = next((k for k in range(len(fix)) if typo[k] != fix[k]), len(fix))
            doubled = (i > 0 and typo[i] == typo[i - 1]) or (i + 1 < len(typo) and typo[i] == typo[i + 1])
            kind = "doubled letter" if doubled else "insertion"
        else:
            i = next((k for k in range(len(typo)) if typo[k] != fix[k]), len(typo))
            doubled = (i > 0 and fix[i] == fix[i - 1]) or (i + 1 < len(fix) and fix[i] == fix[i + 1])
            kind = "doubled letter" if doubled else "deletion"
    else:
        kind = "two edits" if d == 2 else "three or more"
    found = [kind]
    if d >= 2 and _skeleton(typo) == _skeleton(fix):
        found.append("sound-alike")
    if any(c.isupper() for c in pair.intended + pair.typo):
        found.append("capitalised")
    return found


KINDS = ("swap", "insertion", "deletion", "doubled letter", "substitution", "two edits",
         "three or more", "sound-alike", "capitalised")


class Tool(NamedTuple):
    label: str
    lookup: Callable[[list[str]], list[list[str]]]  # words -> ranked suggestions


def ours(trie: quorvatine.PrefixSearch) -> list[Tool]:
    def ranker(words: list[str]) -> list[list[str]]:
        return [[c[0] for c in quorvatine.spell(trie, w, TOP)] for w in words]

    def nearest(words: list[str]) -> list[list[str]]:
        return [[s[0] for s in quorvatine.suggest(trie, w, TOP, 2, ignore_case=True)] for w in words]

    return [
        Tool("quorvatine spell(w, 10)", ranker),
        Tool("quorvatine suggest(w, 10, 2, ignore_case=True)", nearest),
    ]


def pipe_tool(label: str, command: list[str]) -> Tool:
    """A checker answering `-a` pipe mode (one "^word" line in, its answer
    and a blank line out)."""

    def lookup(words: list[str]) -> list[list[str]]:
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   text=True, encoding="utf-8", bufsize=1)
        assert process.stdin is not None and process.stdout is not None
        process.stdout.readline()  # the banner
        answers = []
        for word in words:
            process.stdin.write(f"^{word}\n")
            process.stdin.flush()
            found: list[str] = []
            while True:
                line = process.stdout.readline()
                if line in ("\n", ""):
                    break
                if line.startswith("&"):
                    found = [s.strip() for s in line.split(":", 1)[1].split(",")]
            answers.append(found[:TOP])
        process.stdin.close()
        process.wait()
        return answers

    return Tool(label, lookup)


def symspell(words_counts: dict[str, int]) -> Tool:
    from symspellpy import SymSpell, Verbosity

    index = SymSpell(max_dictionary_edit_distance=2)
    for word, count in words_counts.items():
        index.create_dictionary_entry(word, max(count, 1))

    def lookup(words: list[str]) -> list[list[str]]:
        return [[s.term for s in index.lookup(w, Verbosity.ALL, 2, transfer_casing=True)][:TOP]
                for w in words]

    return Tool("symspellpy lookup(w, ALL, 2), same words and counts", lookup)


def pyspellchecker(words_counts: dict[str, int]) -> Tool:
    from spellchecker import SpellChecker

    checker = SpellChecker(language=None, case_sensitive=True)
    checker.word_frequency.load_dictionary  # noqa: B018 (present in every version used)
    checker.word_frequency.load_json({w: max(c, 1) for w, c in words_counts.items()})

    def lookup(words: list[str]) -> list[list[str]]:
        out = []
        for w in words:
            found = checker.known([w]) or checker.known(checker.edit_distance_1(w))
            if not found and len(w) < 16:
                found = checker.known(checker.edit_distance_2(w))
            out.append(sorted(found, key=lambda c: (-checker.word_usage_frequency(c), c))[:TOP])
        return out

    return Tool("pyspellchecker, same words and counts", lookup)


def score(pairs: list[Pair], answers: list[list[str]]) -> dict[str, tuple[int, int, int, int]]:
    """Per kind (and "all"): (pairs, first, top 5, top 10)."""
    tally: dict[str, list[int]] = defaultdict(lambda: [0, 0, 0, 0])
    for pair, found in zip(pairs, answers):
        hit = found.index(pair.intended) if pair.intended in found else TOP
        for kind in ["all", *kinds(pair)]:
            t = tally[kind]
            t[0] += 1
            t[1] += hit < 1
            t[2] += hit < 5
            t[3] += hit < 10
    return {k: (v[0], v[1], v[2], v[3]) for k, v in tally.items()}


def run(tools: Iterable[Tool], pairs: list[Pair]) -> dict[str, tuple[dict[str, tuple[int, int, int, int]], float]]:
    results = {}
    words = [p.typo for p in pairs]
    for tool in tools:
        start = time.perf_counter()
        answers = tool.lookup(words)
        elapsed = time.perf_counter() - start
        results[tool.label] = (score(pairs, answers), len(words) / elapsed)
    return results


def report(title: str, results: dict[str, tuple[dict[str, tuple[int, int, int, int]], float]]) -> None:
    print(f"\n{title}")
    print("| tool | first | top 5 | top 10 | words/s |")
    print("|---|---|---|---|---|")
    for label, (tally, speed) in results.items():
        n, first, top5, top10 = tally["all"]
        print(f"| {label} | {first / n:.1%} | {top5 / n:.1%} | {top10 / n:.1%} | {speed:,.0f} |")
    labels = list(results)
    print("\nintended word first, by kind of error (pairs):")
    print("| kind | pairs | " + " | ".join(labels) + " |")
    print("|---|---|" + "---|" * len(labels))
    for kind in KINDS:
        row = [results[label][0].get(kind) for label in labels]
        count = row[0][0] if row[0] else 0
        if not count:
            continue
        cells = [f"{r[1] / r[0]:.1%}" if r else "-" for r in row]
        print(f"| {kind} | {count} | " + " | ".join(cells) + " |")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="our tools and aspell's default only")
    args = parser.parse_args()
    trie = quorvatine.english()
    counts = carried_counts(trie)
    assert counts is not None
    words_counts = {w: counts[p] if p < len(counts) else 0 for w, p in quorvatine.Dictionary(trie).items()}
    quorvatine.spell(trie, "warmup")  # builds the sound index outside the timing
    tuning, held_out = test_pairs(trie)
    print(f"dictionary: bundled wamerican, {len(words_counts):,} words with counts")
    print(f"misspellings: {len(tuning):,} tuning, {len(held_out):,} held out "
          f"(LibreOffice {'/'.join(LOCALES)} autocorrect, codespell {'/'.join(CODESPELL_OTHERS)})")
    modes = ("normal",) if args.quick else ASPELL_MODES
    tools = ours(trie) + [
        pipe_tool(f"aspell --sug-mode={m}", ["aspell", "-a", "-d", "en_US", f"--sug-mode={m}"])
        for m in modes
    ]
    if not args.quick:
        tools += [pipe_tool("hunspell -a", ["hunspell", "-a", "-d", "en_US"]),
                  symspell(words_counts), pyspellchecker(words_counts)]
    for title, pairs in (("held-out half", held_out), ("tuning half", tuning)):
        report(f"{title}: {len(pairs):,} misspellings", run(tools, pairs))
        sys.stdout.flush()
    # The first suggestion's cost against today's nearest-first lookup.
    words = [p.typo for p in held_out]
    timings: dict[str, list[float]] = defaultdict(list)
    for _ in range(3):
        for label, call in (("spell(w, 1)", lambda w: quorvatine.spell(trie, w, 1)),
                            ("suggest(w, 5, 2)", lambda w: quorvatine.suggest(trie, w, 5, 2))):
            start = time.perf_counter()
            for w in words:
                call(w)
            timings[label].append(time.perf_counter() - start)
    best = {label: min(t) for label, t in timings.items()}
    print(f"\nfirst suggestion: spell(w, 1) {len(words) / best['spell(w, 1)']:,.0f} words/s, "
          f"suggest(w, 5, 2) {len(words) / best['suggest(w, 5, 2)']:,.0f} words/s: "
          f"{best['spell(w, 1)'] / best['suggest(w, 5, 2)']:.2f}x its time (best of 3, in turn)")


if __name__ == "__main__":
    main()
