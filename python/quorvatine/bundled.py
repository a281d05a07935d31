"""The English dictionary that ships with the package."""

from __future__ import annotations

import functools
from importlib import resources

from _quorvatine import PrefixSearch

from . import prepared

BUNDLED = "american-english.qvt"


@functools.cache
def english() -> PrefixSearch:
    """The bundled English dictionary (Debian's wamerican, 104,334 words),
    each word's payload its frequency rank (0 for the most common) and each
    carrying its count: ready for ``spell``, ``suggest`` and the other
    lookups. Its index file is mapped on the first call (opening reads only
    its header and section table) and the trie shared by every later call
    (tries are immutable)."""
    with resources.as_file(resources.files(__package__).joinpath("data", BUNDLED)) as path:
        return prepared.load(path)
