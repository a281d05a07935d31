"""Pickling of PrefixSearch, registered with copyreg.

The extension type keeps no pickling hooks of its own; this reducer lets tries
travel to multiprocessing, concurrent.futures and distributed engines. Every
way back goes through this package, which registers the reducer on import: a
process that received a trie can send it on (a Dask worker replicating
scattered data to another).

A trie mapped from an index file (``load``) pickles as a reference to that
file: its path, size and checksum, so that workers on the same machine or a
shared file system map the same file instead of receiving a copy. A worker
that cannot open that file, or finds another index there, raises
``DataError`` naming it. Any other trie pickles by value: a shared tree (what
``build`` makes) as its index image, the counts kept with it included;
other tries as their byte form, as ``to_bytes`` gives it. To send a mapped
trie by value, load it with ``load(path, mmap=False)``.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable
from typing import Any, Optional

import _quorvatine

from . import _native
from .dictionary import DataError

Reducer = tuple[Callable[..., _quorvatine.PrefixSearch], tuple[Any, ...]]


def restore(data: bytes) -> _quorvatine.PrefixSearch:
    """The trie of the byte form `data` (``_quorvatine.from_bytes``)."""
    return _quorvatine.from_bytes(data)


def _reduce(trie: _quorvatine.PrefixSearch) -> Reducer:
    reference = _native.file_reference(trie)
    if reference is not None:
        path, size, checksum, counts_in_file = reference
        counts = _native.key_counts(trie)
        sent = None if counts_in_file or counts is None else counts.tobytes()
        return _open_reference, (path, size, checksum, sent)
    if _native.key_counts(trie) is not None or _native.form(trie) == "shared":
        return _native.from_image, (_native.image(trie),)
    return restore, (trie.to_bytes(),)


def _open_reference(
    path: str, size: int, checksum: int, counts: Optional[bytes]
) -> _quorvatine.PrefixSearch:
    """The trie of the index file at `path`, which must be the file a trie was
    pickled from (same size and checksum); `counts` replace its key counts."""
    from .prepared import load

    try:
        trie = load(path)
    except OSError as e:
        raise DataError(
            f"{path}: cannot open the index file a pickled trie refers to ({e.strerror or e})"
        ) from None
    reference = _native.file_reference(trie)
    if reference is None or reference[1] != size or reference[2] != checksum:
        raise DataError(f"{path}: not the index file the trie was pickled from (it has changed)")
    if counts is not None:
        trie = _native.with_key_counts(trie, memoryview(counts).cast("Q"))
    return trie


def register() -> None:
    """Registers the reducer for PrefixSearch; calling it again changes nothing."""
    copyreg.pickle(_quorvatine.PrefixSearch, _reduce)
