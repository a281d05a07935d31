"""The English dictionary that ships with the package."""

from __future__ import annotations

import array
import functools
from importlib import resources

from _quorvatine import PrefixSearch

from . import _native, prepared
from .counts import carried_counts, with_counts

BUNDLED = "american-english.qvt"

# The bundled words' payloads are frequency ranks; the words ranked by a
# count are the first this many, the others follow without one.
_RANKED_WORDS = 61_526
# Counts that fall as 1/rank (the shape of word frequencies in English),
# for a trie file that holds the ranks but not the counts themselves.
_TOP_COUNT = 23_135_851_162


@functools.cache
def english() -> PrefixSearch:
    """The bundled English dictionary (Debian's wamerican, 104,334 words),
    carrying each word's count: ready for ``spell``, ``suggest`` and the
    other lookups. Loaded once and then shared (tries are immutable)."""
    with resources.as_file(resources.files(__package__).joinpath("data", BUNDLED)) as path:
        trie = prepared.load(path)
    if carried_counts(trie) is not None:
        return trie
    size = _native.key_count(trie)
    counts = array.array(
        "Q", (_TOP_COUNT // (rank + 1) if rank < _RANKED_WORDS else 0 for rank in range(size))
    )
    return with_counts(trie, counts)

