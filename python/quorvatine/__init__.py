"""Fuzzy and exact lookups over a compact trie of words.

``build(words)`` lays out a trie and returns a ``PrefixSearch`` from the
``_quorvatine`` extension; ``layout(words)`` returns the four node arrays
instead, and ``build_word_list(path)`` builds from a word-list file. Importing the package also makes ``PrefixSearch`` picklable (through
its byte form) and offers ``fuzzy_match_many`` for large batches on several
processes.
"""

from _quorvatine import PrefixSearch, from_bytes, from_internal_data

from . import pickling
from .builder import build, layout
from .dictionary import build_word_list
from .errors import PanicException
from .parallel import fuzzy_match_many

pickling.register()

__all__ = [
    "PanicException",
    "PrefixSearch",
    "build",
    "build_word_list",
    "from_bytes",
    "from_internal_data",
    "fuzzy_match_many",
    "layout",
]
