"""What the text calls ask of a dictionary: whether a word is known under the
casing rules, the likeliest corrections of a word (the spelling ranker's),
and what a word costs a text, by how common it is.

Costs are in nats (negative natural logs of likelihoods). A word's cost
comes from the counts the trie carries, or, for a trie without counts, from
its payload read as a frequency rank; src/prefix/word_cost.hpp computes the
same numbers for the segmentation, which must agree with these.
"""

from __future__ import annotations

import math
from collections.abc import Sequence

from _quorvatine import PrefixSearch

from ._per_trie import PerTrie
from .casing import spellings
from .counts import carried_counts
from .spelling import spell_many

# The cost of one edit of the spelling ranker's error model (a plain edit
# costs 1 there, a likely one less).
PER_EDIT = 7.0
_LOG_H = 2.49

_APOSTROPHES = str.maketrans({"\u2019": "'", "\u02bc": "'"})


class WordCosts:
    """What a word costs a text by its payload, as WordCosts in
    src/prefix/word_cost.hpp: log(N / count) with the trie's counts (N their
    sum; a word counted 0 as half as common as the rarest counted one),
    else log(payload + 2) + 2.49 (Zipf's law over ranks)."""

    def __init__(self, trie: PrefixSearch) -> None:
        counts = carried_counts(trie)
        total = sum(counts) if counts is not None else 0
        self._counts = counts if total > 0 else None
        # What the segmentation would work out from the counts on each call
        # (exact as long as the total is: below 2**53).
        self.summary: tuple[float, float] | None = None
        if counts is not None and total > 0:
            rarest = min((c for c in counts if c), default=1)
            self._log_total = math.log(total)
            self._floor = max(rarest / 2, 0.5)
            if total < 2**53:
                self.summary = (self._log_total, self._floor)

    def __call__(self, payload: int) -> float:
        if self._counts is None:
            return math.log(payload + 2) + _LOG_H
        count = self._counts[payload] if payload < len(self._counts) else 0
        return self._log_total - math.log(max(count, self._floor))


word_costs: PerTrie[WordCosts] = PerTrie(WordCosts)


def known(trie: PrefixSearch, word: str) -> int | None:
    """The payload of the first spelling of `word` (``casing.spellings``) the
    dictionary holds, or None. A typographic apostrophe reads as ``'``."""
    hit = trie.exact_match(word)
    if hit is not None:
        return hit[1]
    return known_otherwise(trie, word)


def known_otherwise(trie: PrefixSearch, word: str) -> int | None:
    """`known` for a word the trie does not hold as written: the payload of
    its first other spelling the trie holds, or None."""
    plain = word.translate(_APOSTROPHES)
    for form in spellings(plain) if plain else ():
        hit = trie.exact_match(form) if form != word else None
        if hit is not None:
            return hit[1]
    return None


def edits_allowed(length: int) -> int:
    """The most edits a correction of a word of `length` characters may
    take, as edits_allowed in src/prefix/word_cost.hpp: none up to 2, one up
    to 4, two up to 8, three beyond."""
    return 0 if length <= 2 else 1 if length <= 4 else 2 if length <= 8 else 3


def corrections_many(
    trie: PrefixSearch, words: Sequence[str], n: int, max_dist: int | None, threads: int | None
) -> list[list[tuple[str, float, int]]]:
    """For each word, up to `n` dictionary words that may have been meant, in
    the word's case, as (word, cost, payload) in the spelling ranker's order:
    the cost is the word's plus PER_EDIT per edit of the ranker's error
    model. No candidate takes more than edits_allowed edits."""
    found = spell_many(trie, words, n, max_dist=max_dist, threads=threads)
    cost = word_costs(trie)
    return [
        [
            (key, cost(payload) + PER_EDIT * edits, payload)
            for key, payload, distance, edits in matches
            if distance <= edits_allowed(len(word))
        ]
        for word, matches in zip(words, found)
    ]
