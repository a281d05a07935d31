"""Word pairs: what a word costs a text right after another, when the pair
is common enough to say more than the word's own frequency.

The pairs ship with the package (data/american-english.pairs, written by
scripts/bundle_dictionary.py, whose docstring gives its layout) as words;
they are looked up in each trie they are used with, in the casings a
dictionary may write them in, and packed as prefix::PairCosts in
src/prefix/word_cost.hpp reads them: (first << 40) | (second << 16) | cost,
the cost in thousandths of a nat, sorted.
"""

from __future__ import annotations

import array
import bisect
import functools
import gzip
import struct
import sys
from importlib import resources

from _quorvatine import PrefixSearch

from ._per_trie import PerTrie

BUNDLED = "american-english.pairs"
_LIMIT = 1 << 24  # payloads from here on have no pairs
_MAGIC = b"QVPAIRS1"


@functools.cache
def _bundled() -> tuple[list[str], array.array[int], array.array[int], bytes]:
    """The bundled words; how many pairs begin with each; each pair's second
    word (its index, less the previous one's in the same run); each pair's
    cost in tenths of a nat."""
    data = gzip.decompress(resources.files(__package__).joinpath("data", BUNDLED).read_bytes())
    if data[:8] != _MAGIC:
        raise ValueError(f"{BUNDLED}: not a pairs file")
    words, count, size = struct.unpack_from("<III", data, 8)
    at = 20
    vocabulary = data[at:at + size].decode("utf-8").split("\n")
    at += size
    runs = array.array("I", data[at:at + 4 * words])
    at += 4 * words
    seconds = array.array("H", data[at:at + 2 * count])
    if sys.byteorder == "big":
        runs.byteswap()
        seconds.byteswap()
    return vocabulary, runs, seconds, data[at + 2 * count:at + 3 * count]


def _payloads(trie: PrefixSearch, word: str) -> list[int]:
    """The payloads of the keys `word` may be written as (as it is,
    capitalised, in capitals) that the trie holds."""
    found = []
    for form in dict.fromkeys((word, word[:1].upper() + word[1:], word.upper())):
        hit = trie.exact_match(form)
        if hit is not None and hit[1] < _LIMIT:
            found.append(hit[1])
    return found


class PairCosts:
    """The bundled pairs as a trie's payloads; see `after`."""

    def __init__(self, trie: PrefixSearch) -> None:
        vocabulary, runs, seconds, costs = _bundled()
        held = [_payloads(trie, word) for word in vocabulary]
        packed: dict[int, int] = {}
        k = 0
        for first, run in enumerate(runs):
            if held[first]:
                second = 0
                for j in range(k, k + run):
                    second += seconds[j]
                    for a in held[first]:
                        for b in held[second]:
                            pair = (a << 40) | (b << 16)
                            packed[pair] = min(packed.get(pair, 0xFFFF), costs[j] * 100)
            k += run
        self.packed = array.array("Q", sorted(pair | cost for pair, cost in packed.items()))

    def after(self, first: int | None, second: int, alone: float) -> float:
        """What key `second` costs right after key `first` (None: no key),
        `alone` its cost alone: as prefix::PairCosts::after."""
        if first is None or first >= _LIMIT or second >= _LIMIT or not self.packed:
            return alone
        pair = (first << 40) | (second << 16)
        k = bisect.bisect_left(self.packed, pair)
        if k == len(self.packed) or self.packed[k] >> 16 != pair >> 16:
            return alone
        return min(alone, (self.packed[k] & 0xFFFF) / 1000.0)


pair_costs: PerTrie[PairCosts] = PerTrie(PairCosts)
