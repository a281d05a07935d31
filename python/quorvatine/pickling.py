"""Pickling of PrefixSearch through its byte form, registered with copyreg.

The extension type keeps no pickling hooks of its own; this reducer lets tries
travel to multiprocessing, concurrent.futures and distributed engines. The
receiving side needs only ``_quorvatine``.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable

import _quorvatine


Reducer = tuple[Callable[[bytes], _quorvatine.PrefixSearch], tuple[bytes]]


def _reduce(trie: _quorvatine.PrefixSearch) -> Reducer:
    return _quorvatine.from_bytes, (trie.to_bytes(),)


def register() -> None:
    """Registers the reducer for PrefixSearch; calling it again changes nothing."""
    copyreg.pickle(_quorvatine.PrefixSearch, _reduce)
