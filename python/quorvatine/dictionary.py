"""Loading word lists (prepared trie files: prepared.py).

A word list is UTF-8 text with one word per line and, optionally, a second
tab-separated column holding the word's payload (0 to 4294967295). Without
that column a word's payload is its position among the words, counted from 0.
Blank lines are skipped, and a line holds at most 1 MiB of UTF-8.

"""

from __future__ import annotations

import os
import stat
from collections.abc import Callable, Mapping, Sequence
from typing import TYPE_CHECKING, TypeVar

from . import _native

if TYPE_CHECKING:
    from _quorvatine import PrefixSearch

STDIN = "-"
_T = TypeVar("_T")


class DataError(Exception):
    """A dictionary file that cannot be used; the message says where and why
    (the file, and the line of a word list).

    >>> quorvatine.load("README.md")
    Traceback (most recent call last):
    quorvatine.dictionary.DataError: README.md: not a prepared trie file
    """


def read_words(path: str | os.PathLike[str]) -> Sequence[str] | Mapping[str, int]:
    """Reads a word list: a list of words, or a dict of word to payload when
    the file has a payload column; ``"-"`` reads standard input. Only regular
    files are read. Blank lines are skipped; a line holds at
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


def build_word_list(path: str | os.PathLike[str], *, counts: bool = False) -> PrefixSearch:
    """A ``PrefixSearch`` holding the words of a word list: what
    ``build(read_words(path))`` gives, without the words as Python objects.

    A word list is UTF-8 text with one word per line and optionally a tab
    and the word's payload (else its position among the words); a byte
    order mark, CRLF line ends and blank lines are fine; ``"-"`` reads
    standard input. Raises ``DataError`` naming the file and line of the
    first bad line (or a file that is not a regular file), ``OSError`` when
    the file cannot be read.

    With `counts`, the list's lines are ``word<TAB>count`` or ``word count``
    (``counts.read_counts``): each word's payload is its rank by count (0 for
    the most common, ties in file order) and the trie carries the counts, for
    ``spell`` and the command line to rank by. Without, a list whose second
    column looks like counts rather than payloads draws a warning.

    >>> trie = quorvatine.build_word_list("examples/words.txt")
    >>> trie.exact_match("kite")
    ('kite', 6, 0)
    """
    if counts:
        from .counts import counted_trie

        return counted_trie(path)
    _warn_if_counts(path)
    return _read(_native.build_word_file, path)


def _warn_if_counts(path: str | os.PathLike[str]) -> None:
    name = os.fspath(path)
    from .counts import looks_like_counts

    try:
        if name == STDIN or not stat.S_ISREG(os.stat(name).st_mode) or not looks_like_counts(name):
            return
    except OSError:
        return  # the reading proper reports it
    import warnings

    warnings.warn(
        f"{name}: its second column looks like word counts, read here as payloads (or as part "
        "of each word); to rank by counts, build with counts=True (`quorvatine build --counts`)",
        stacklevel=3,
    )


def _read(function: Callable[[bytes, str], _T], path: str | os.PathLike[str]) -> _T:
    # The native reader refuses a bad line with a ValueError whose message
    # names the file and line. Only regular files are read (and standard input
    # as "-"): a device such as /dev/zero or a directory is refused up front.
    name = os.fspath(path)
    if name == STDIN:
        source, name = b"/dev/stdin", "<stdin>"
    else:
        source = os.fsencode(name)
        if not stat.S_ISREG(os.stat(name).st_mode):
            raise DataError(f"{name}: not a regular file")
    try:
        return function(source, name)
    except ValueError as e:
        raise DataError(str(e)) from None
