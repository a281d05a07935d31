"""Pickling of PrefixSearch through its byte form, registered with copyreg.

The extension type keeps no pickling hooks of its own; this reducer lets tries
travel to multiprocessing, concurrent.futures and distributed engines. The
receiving side rebuilds the trie through `restore`, which imports this
package and so registers the reducer there too: a process that received a
trie can send it on (a Dask worker replicating scattered data to another).
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable

import _quorvatine


Reducer = tuple[Callable[[bytes], _quorvatine.PrefixSearch], tuple[bytes]]


def restore(data: bytes) -> _quorvatine.PrefixSearch:
    """The trie of the byte form `data` (``_quorvatine.from_bytes``)."""
    return _quorvatine.from_bytes(data)


def _reduce(trie: _quorvatine.PrefixSearch) -> Reducer:
    return restore, (trie.to_bytes(),)


def register() -> None:
    """Registers the reducer for PrefixSearch; calling it again changes nothing."""
    copyreg.pickle(_quorvatine.PrefixSearch, _reduce)
