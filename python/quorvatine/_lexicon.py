"""What the text calls ask of a dictionary: whether a word is known under the
casing rules, the best corrections of a word, and how common a word is.

Payloads are read as frequency ranks (0 for the most common word), as the
bundled dictionary stores them; corrections are ``suggest``'s, counting an
adjacent swap as one edit, re-ranked by edits and frequency together.
"""

from __future__ import annotations

import math
from collections.abc import Sequence

from _quorvatine import PrefixSearch

from . import parallel

# The cost (negative natural log of the likelihood) of one edit, and of a
# word of rank r: log(r + 2) + LOG_H, Zipf's law over a vocabulary of about
# 10^5 words. src/prefix/word_cost.hpp holds the same numbers for the
# segmentation, which must agree with these.
PER_EDIT = 7.0
LOG_H = 2.49

_APOSTROPHES = str.maketrans({"\u2019": "'", "\u02bc": "'"})


def word_cost(payload: int) -> float:
    """How unlikely the word with this payload is, in nats."""
    return math.log(payload + 2) + LOG_H


def forms(word: str) -> list[str]:
    """The spellings under which a dictionary may hold `word`, most faithful
    first: as written, then (for a capitalised word, at the start of a
    sentence or in a title) in lower case, and (for a word in capitals) in
    lower case and capitalised. A typographic apostrophe reads as ``'``."""
    plain = word.translate(_APOSTROPHES)
    found = [plain]
    if len(plain) > 1 and plain.isupper():
        found += [plain.lower(), plain[0] + plain[1:].lower()]
    elif plain[:1].isupper() and not plain[1:].isupper():
        found.append(plain[0].lower() + plain[1:])
    return list(dict.fromkeys(f for f in found if f))


def known(trie: PrefixSearch, word: str) -> int | None:
    """The payload of the first form of `word` the dictionary holds, or None."""
    hit = trie.exact_match(word)
    if hit is not None:
        return hit[1]
    for form in forms(word) if word else ():
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
    trie: PrefixSearch, words: Sequence[str], n: int, max_dist: int, threads: int | None
) -> list[list[tuple[str, float]]]:
    """For each word, up to `n` dictionary words that may have been meant, as
    (word, cost) best first: edits times PER_EDIT plus the word's cost, each
    word's casing carried to the candidates (``Teh`` gives ``The``). No
    candidate takes more than edits_allowed edits."""
    queries = [forms(w)[1] if w[:1].isupper() and len(forms(w)) > 1 else w for w in words]
    found = parallel.suggest_many(trie, queries, max(n, 10), max_dist, threads=threads)
    out = []
    for word, matches in zip(words, found):
        ranked = sorted(
            ((carry_case(word, key), distance * PER_EDIT + word_cost(payload))
             for key, payload, distance in matches
             if distance <= edits_allowed(len(word))),
            key=lambda pair: pair[1],
        )
        out.append(list(dict(ranked[::-1]).items())[::-1][:n] if ranked else [])
    return out


def carry_case(original: str, word: str) -> str:
    """`word` written in the casing of `original`: in capitals when it is in
    capitals (two letters or more), capitalised when it begins with a
    capital, else as the dictionary writes it (so its own capitals stay)."""
    if len(original) > 1 and original.isupper() and any(c.isalpha() for c in word):
        return word.upper()
    if original[:1].isupper():
        return word[:1].upper() + word[1:]
    return word
