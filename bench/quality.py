"""Suggestion quality: how often the intended word of a real misspelling comes
first, quorvatine against symspellpy, with the same dictionary and frequencies.

    bench/setup.sh                       # once: the misspellings, .venv-bench, the project
    .venv-bench/bin/python bench/quality.py

The misspellings are LibreOffice's American English autocorrect list (the
entries that replace one misspelt word by one dictionary word), taken from
Debian's libreoffice-common by bench/setup.sh, and the one-word corrections
of codespell's smaller dictionaries (rare words, usage, informal, code,
names; not its main typo list). Pairs whose misspelling is itself a
dictionary word are left out: no lookup could correct those.

Both tools hold the words of the bundled dictionary (wamerican) and rank by
its payloads, the words' frequency ranks: symspellpy's count of a word is
N - rank, so that "more frequent" orders its suggestions exactly as "smaller
payload" orders ours. (Those ranks come from symspellpy's own English
frequency list; a word the list lacks still gets a count here, below every
listed word, so that neither tool knows a word the other does not.) The
answers are checked: each tool's first suggestion must be at the distance it
reports, by a plain Levenshtein or optimal-string-alignment distance.
"""

from __future__ import annotations

import re
import sys
import zipfile
from collections.abc import Callable
from pathlib import Path
from xml.etree import ElementTree

import wordlists
from symspellpy import SymSpell, Verbosity

from _quorvatine import PrefixSearch
from quorvatine.cli import _load

DATA = Path(__file__).resolve().parent.parent / "build" / "bench-data" / "libreoffice"
AUTOCORRECT = DATA / "usr/lib/libreoffice/share/autocorr/acor_en-US.dat"
CODESPELL_OTHERS = ("rare", "usage", "informal", "code", "names")
_WORD = re.compile(r"[^\W\d_]+(?:'[^\W\d_]+)?")
MAX_DISTS = (1, 2)
EXAMPLES = 8


def autocorrect_pairs() -> dict[str, str]:
    """LibreOffice's autocorrect entries, misspelling to replacement."""
    if not AUTOCORRECT.exists():
        raise SystemExit(f"{AUTOCORRECT} not found: run bench/setup.sh")
    with zipfile.ZipFile(AUTOCORRECT) as archive:
        root = ElementTree.fromstring(archive.read("DocumentList.xml"))
    ns = "{http://openoffice.org/2001/block-list}"
    return {e.get(f"{ns}abbreviated-name", ""): e.get(f"{ns}name", "") for e in root}


def codespell_pairs() -> dict[str, str]:
    """The entries of codespell's smaller dictionaries that have one correction."""
    pairs: dict[str, str] = {}
    folder = wordlists.codespell_dictionary().parent
    for name in CODESPELL_OTHERS:
        for line in (folder / f"dictionary_{name}.txt").read_text(encoding="utf-8").splitlines():
            typo, _, fixes = line.partition("->")
            choices = [f.strip() for f in fixes.split(",") if f.strip()]
            if len(choices) == 1:
                pairs.setdefault(typo.strip(), choices[0])
    return pairs


def misspelling_pairs(words: set[str]) -> list[tuple[str, str]]:
    """(misspelling, intended word) pairs, sorted; a misspelling listed by both
    sources keeps LibreOffice's correction."""
    pairs = codespell_pairs() | autocorrect_pairs()
    return sorted(
        (typo, fix)
        for typo, fix in pairs.items()
        if _WORD.fullmatch(typo) and typo not in words and fix in words and typo.islower()
    )


def distance(a: str, b: str, transpositions: bool) -> int:
    """Levenshtein distance, or with `transpositions` the optimal string
    alignment distance (an adjacent swap costs 1), by the plain table."""
    rows = [list(range(len(b) + 1))]
    for i, ca in enumerate(a, 1):
        row = [i]
        for j, cb in enumerate(b, 1):
            cell = min(rows[-1][j] + 1, row[j - 1] + 1, rows[-1][j - 1] + (ca != cb))
            if transpositions and i > 1 and j > 1 and ca == b[j - 2] and a[i - 2] == cb:
                cell = min(cell, rows[-2][j - 2] + 1)
            row.append(cell)
        rows.append(row)
    return rows[-1][-1]


Ranked = list[tuple[str, int]]  # (word, distance), best first


def ours(trie: PrefixSearch, word: str, max_dist: int) -> Ranked:
    """The command line's ranking: every word within max_dist, by distance,
    then payload (frequency rank), then key."""
    found = trie.fuzzy_match(word, max_dist, None)
    found.sort(key=lambda m: (m[2], m[1], m[0]))
    return [(key, d) for key, _, d in found]


OURS_LABEL = "quorvatine fuzzy_match(q, k, None) by distance, payload, key (Levenshtein)"
OURS_TRANSPOSITIONS = False


SYMSPELL_LABEL = "symspellpy lookup(q, Verbosity.CLOSEST, k), its default OSA distance"


def symspell_lookup(index: SymSpell) -> Callable[[str, int], Ranked]:
    def lookup(word: str, max_dist: int) -> Ranked:
        return [(s.term, s.distance) for s in index.lookup(word, Verbosity.CLOSEST, max_dist)]

    return lookup


def main() -> None:
    dictionary = wordlists.load_dictionary("wamerican")
    trie = _load(None)
    ranks = {}
    for word in dictionary.words:
        hit = trie.exact_match(word)
        if hit is None:
            raise SystemExit(f"{word!r} of {dictionary.path} is not in the bundled dictionary")
        ranks[word] = hit[1]
    if sorted(ranks.values()) != list(range(len(ranks))):
        raise SystemExit("the bundled dictionary's payloads are not ranks 0..N-1")

    index = SymSpell(max_dictionary_edit_distance=max(MAX_DISTS))
    for word, rank in ranks.items():
        index.create_dictionary_entry(word, len(ranks) - rank)

    pairs = misspelling_pairs(set(ranks))
    print(f"dictionary: {dictionary.describe()}, payloads = frequency ranks")
    print(
        f"test set: {len(pairs):,} misspellings with their intended words "
        f"(LibreOffice en-US autocorrect {_libreoffice_version()}, codespell's "
        f"{'/'.join(CODESPELL_OTHERS)} dictionaries)"
    )
    tools: list[tuple[str, Callable[[str, int], Ranked], bool]] = [
        (SYMSPELL_LABEL, symspell_lookup(index), True),
        (OURS_LABEL, lambda w, k: ours(trie, w, k), OURS_TRANSPOSITIONS),
    ]
    for max_dist in MAX_DISTS:
        reach = sum(distance(t, f, True) <= max_dist for t, f in pairs)
        print(f"\nk={max_dist}: intended word within k: {reach / len(pairs):.1%} (OSA), "
              f"{sum(distance(t, f, False) <= max_dist for t, f in pairs) / len(pairs):.1%} "
              "(Levenshtein)")
        firsts = {}
        for label, lookup, transpositions in tools:
            first = []
            for typo, _ in pairs:
                ranked = lookup(typo, max_dist)
                if ranked:
                    top, d = ranked[0]
                    if distance(typo, top, transpositions) != d or d > max_dist:
                        raise SystemExit(f"{label}: {typo!r} -> {top!r} reported at distance {d}")
                first.append(ranked[0][0] if ranked else None)
            hits = sum(top == fix for top, (_, fix) in zip(first, pairs))
            firsts[label] = first
            print(f"  {hits / len(pairs):6.1%}  ({hits:,} of {len(pairs):,})  {label}")
        theirs, mine = firsts.values()
        for side, a, b in (("symspellpy", theirs, mine), ("quorvatine", mine, theirs)):
            only = [
                f"{typo}->{fix} (not {other})"
                for (typo, fix), one, other in zip(pairs, a, b)
                if one == fix != other
            ]
            print(f"  only {side} right: {len(only)}, e.g. {', '.join(only[:EXAMPLES])}")
    sys.stdout.flush()


def _libreoffice_version() -> str:
    version = DATA / "VERSION"
    return version.read_text().strip() if version.exists() else "?"


if __name__ == "__main__":
    main()
