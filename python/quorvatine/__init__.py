"""Fuzzy and exact lookups over a compact trie of words.

``build(words)`` lays out a trie and returns a ``PrefixSearch`` from the
``_quorvatine`` extension; ``layout(words)`` returns the four node arrays
instead. Importing the package also makes ``PrefixSearch`` picklable (through
its byte form) and offers ``fuzzy_match_many`` for large batches on several
processes, and ``save``/``load`` keep a trie in a file.
"""

from _quorvatine import PrefixSearch, from_bytes, from_internal_data

from . import pickling
from .builder import build, layout
from .dictionary import DataError
from .errors import PanicException
from .parallel import fuzzy_match_many
from .prepared import load, save

pickling.register()

__all__ = [
    "DataError",
    "PanicException",
    "PrefixSearch",
    "build",
    "from_bytes",
    "from_internal_data",
    "fuzzy_match_many",
    "layout",
    "load",
    "save",
]
