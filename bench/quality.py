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
from typing import NamedTuple
from xml.etree import ElementTree

import wordlists
from symspellpy import SymSpell, Verbosity

from _quorvatine import PrefixSearch
from quorvatine import suggest
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


class Contender(NamedTuple):
    label: str
    lookup: Callable[[str, int], Ranked]  # (misspelling, max_dist) -> suggestions
    transpositions: bool  # whether its distance counts an adjacent swap as one edit


def ours(trie: PrefixSearch) -> Contender:
    """The command line's ranking: suggest's nearest words, ties by payload
    (frequency rank), then key, a swap counting one edit."""

    def lookup(word: str, max_dist: int) -> Ranked:
        return [(key, d) for key, _, d in suggest(trie, word, 5, max_dist)]

    label = "quorvatine suggest(q, 5, k), OSA distance"
    return Contender(label, lookup, True)


def symspell(index: SymSpell) -> Contender:
    def lookup(word: str, max_dist: int) -> Ranked:
        return [(s.term, s.distance) for s in index.lookup(word, Verbosity.CLOSEST, max_dist)]

    label = "symspellpy lookup(q, Verbosity.CLOSEST, k), its default OSA distance"
    return Contender(label, lookup, True)


def first_suggestions(who: Contender, pairs: list[tuple[str, str]], max_dist: int) -> list[str]:
    """Each misspelling's first suggestion ("" for none), checked to be at the
    distance reported."""
    firsts = []
    for typo, _ in pairs:
        ranked = who.lookup(typo, max_dist)
        top, d = ranked[0] if ranked else ("", 0)
        if ranked and (d > max_dist or distance(typo, top, who.transpositions) != d):
            raise SystemExit(f"{who.label}: {typo!r} -> {top!r} reported at distance {d}")
        firsts.append(top)
    return firsts


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
    peer, mine = symspell(index), ours(trie)
    for max_dist in MAX_DISTS:
        reach = [sum(distance(t, f, swap) <= max_dist for t, f in pairs) for swap in (True, False)]
        print(
            f"\nk={max_dist}: intended word within k edits: {reach[0] / len(pairs):.1%} "
            f"(OSA), {reach[1] / len(pairs):.1%} (Levenshtein); intended word first:"
        )
        firsts = {who: first_suggestions(who, pairs, max_dist) for who in (peer, mine)}
        for who, tops in firsts.items():
            hits = sum(top == fix for top, (_, fix) in zip(tops, pairs))
            print(f"  {hits / len(pairs):6.1%}  ({hits:,} of {len(pairs):,})  {who.label}")
        for who, other in ((peer, mine), (mine, peer)):
            only = [
                f"{typo}->{fix} (other: {theirs or 'none'})"
                for (typo, fix), top, theirs in zip(pairs, firsts[who], firsts[other])
                if top == fix != theirs
            ]
            name = who.label.split()[0]
            print(f"  only {name} right: {len(only)}, e.g. {', '.join(only[:EXAMPLES])}")
    sys.stdout.flush()


def _libreoffice_version() -> str:
    version = DATA / "VERSION"
    return version.read_text().strip() if version.exists() else "?"


if __name__ == "__main__":
    main()
