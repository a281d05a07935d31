"""Loading word lists and prepared trie files for the command line.

A word list is UTF-8 text with one word per line and, optionally, a second
tab-separated column holding the word's payload (0 to 4294967295). Without
that column a word's payload is its position among the words, counted from 0.
Blank lines are skipped, and a line holds at most 1 MiB of UTF-8.

A prepared trie file is the bytes of ``PrefixSearch.to_bytes()`` behind a
small header of this package's own: the eight bytes ``MAGIC`` and the length
of the trie bytes as an unsigned 64-bit little-endian number. The header is
how a prepared file is recognised (never by guessing from its contents), and
the length catches a truncated copy, which the byte form alone would not.
"""

from __future__ import annotations

import os
import struct
from collections.abc import Callable, Mapping, Sequence
from typing import TYPE_CHECKING, TypeVar

from . import _native

if TYPE_CHECKING:
    from _quorvatine import PrefixSearch

MAGIC = b"\x89QVT\r\n\x1a\n"
_LENGTH = struct.Struct("<Q")
_T = TypeVar("_T")


class DataError(Exception):
    """A dictionary file that cannot be used; the message says where and why."""


def read_words(path: str | os.PathLike[str]) -> Sequence[str] | Mapping[str, int]:
    """Reads a word list: a list of words, or a dict of word to payload when
    the file has a payload column. Blank lines are skipped; a line holds at
    most ``MAX_WORD_BYTES`` (1 MiB) bytes besides its line end. Raises
    DataError naming the file and line of the first bad line, OSError when the
    file cannot be read."""
    return _read(_native.read_word_file, path)


def encode_word_list(path: str | os.PathLike[str]) -> bytes:
    """The byte form (``PrefixSearch.to_bytes()``) of the trie holding the
    words of a word list, read as ``read_words`` reads it but in one pass in
    native code, without making a Python object per line. Raises as
    ``read_words`` does."""
    return _read(_native.encode_word_file, path)


def build_word_list(path: str | os.PathLike[str]) -> PrefixSearch:
    """A ``PrefixSearch`` holding the words of a word list: what
    ``build(read_words(path))`` gives, without the words as Python objects.
    Raises as ``read_words`` does."""
    return _read(_native.build_word_file, path)


def _read(function: Callable[[bytes, str], _T], path: str | os.PathLike[str]) -> _T:
    # The native reader refuses a bad line with a ValueError whose message
    # names the file and line.
    name = os.fspath(path)
    try:
        return function(os.fsencode(name), name)
    except ValueError as e:
        raise DataError(str(e)) from None


def is_prepared(path: str | os.PathLike[str]) -> bool:
    """True when the file starts with the prepared-trie header."""
    with open(path, "rb") as f:
        return f.read(len(MAGIC)) == MAGIC


def write_prepared(path: str | os.PathLike[str], trie_bytes: bytes) -> None:
    """Writes trie bytes behind the header, replacing the file atomically."""
    name = os.fspath(path)
    temporary = f"{name}.tmp{os.getpid()}"
    try:
        with open(temporary, "wb") as f:
            f.write(MAGIC + _LENGTH.pack(len(trie_bytes)) + trie_bytes)
        os.replace(temporary, name)
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)


def read_prepared(path: str | os.PathLike[str]) -> bytes:
    """The trie bytes of a prepared file; DataError when the header is missing
    or the length it declares does not match the file."""
    name = os.fspath(path)
    with open(name, "rb") as f:
        data = f.read()
    head = len(MAGIC) + _LENGTH.size
    if len(data) < head or not data.startswith(MAGIC):
        raise DataError(f"{name}: not a prepared trie file")
    (length,) = _LENGTH.unpack_from(data, len(MAGIC))
    if length != len(data) - head:
        raise DataError(
            f"{name}: prepared trie file is damaged "
            f"(header declares {length} bytes, {len(data) - head} follow)"
        )
    return data[head:]
