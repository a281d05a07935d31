"""Spelling corrections: the dictionary words a misspelling most likely
stands for, best first."""

from __future__ import annotations

from collections.abc import Iterable, Sequence
from typing import Optional

from _quorvatine import PrefixSearch

from .ranked import suggest

# (word, payload, distance, cost): the correction with its payload, its
# optimal-string-alignment distance from the query, and the ranker's cost
# (lower is more likely; 0.0 for the word itself).
Correction = tuple[str, int, int, float]


def spell(
    trie: PrefixSearch,
    word: str,
    n: int = 10,
    *,
    max_dist: Optional[int] = None,
    ignore_case: bool = True,
    counts: Optional[Sequence[int]] = None,
) -> list[Correction]:
    """The at most `n` most likely corrections of `word`, best first."""
    found = suggest(trie, word, n, 2 if max_dist is None else max_dist)
    return [(key, payload, distance, float(distance)) for key, payload, distance in found]


def spell_many(
    trie: PrefixSearch,
    words: Iterable[str],
    n: int = 10,
    *,
    max_dist: Optional[int] = None,
    ignore_case: bool = True,
    counts: Optional[Sequence[int]] = None,
    threads: Optional[int] = None,
) -> list[list[Correction]]:
    """``[spell(trie, w, n, ...) for w in words]`` on native threads."""
    return [spell(trie, w, n, max_dist=max_dist, ignore_case=ignore_case, counts=counts) for w in words]
