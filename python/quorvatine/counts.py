"""Word counts: how common each key of a trie is, as an array of unsigned
64-bit integers indexed by payload, the data the spelling ranker ranks by.

A trie may carry its counts (``with_counts``): they are kept with its data,
saved in its index file and given back by ``load``, and travel with it when
it is pickled; ``spell`` and the command line use them when no ``counts=``
is given. Word lists with counts (``word<TAB>count`` or ``word count``
lines) are read by ``read_counts``.
"""

from __future__ import annotations

import array
import os
import re
from collections.abc import Sequence
from typing import Optional, Union

from _quorvatine import PrefixSearch

from . import _native
from .dictionary import STDIN, DataError

MAX_COUNT = 2**64 - 1

# What spell takes as counts: any buffer of unsigned 64-bit integers, or a
# sequence of ints (copied into one).
Counts = Union[array.array, memoryview, Sequence[int]]  # type: ignore[type-arg]

_COUNTED_LINE = re.compile(r"(.+?)(?:\t| +)(\d+)[ \t]*")


def as_count_array(counts: Counts) -> Union["array.array[int]", memoryview]:
    """`counts` as a buffer of unsigned 64-bit integers: a buffer already of
    format 'Q' as it is, anything else copied into an ``array('Q')``
    (``OverflowError`` for an entry below 0 or above 2**64 - 1, ``TypeError``
    for one that is not an int)."""
    if isinstance(counts, array.array) and counts.typecode == "Q":
        return counts
    if isinstance(counts, memoryview) and counts.ndim == 1 and counts.format in ("Q", "@Q", "=Q"):
        return counts
    if isinstance(counts, (str, bytes)):
        raise TypeError(f"counts must be a sequence of int, not {type(counts).__name__}")
    return array.array("Q", counts)


def carried_counts(trie: PrefixSearch) -> Optional[memoryview]:
    """The counts `trie` carries, indexed by payload, as a read-only
    memoryview of format 'Q' over the trie's own data (a mapped file's pages
    for a loaded one), or None."""
    return _native.key_counts(trie)


def with_counts(trie: PrefixSearch, counts: Counts) -> PrefixSearch:
    """A trie with `trie`'s keys (its data shared, not copied) carrying
    `counts`, indexed by payload, for ``spell`` and the command line to rank
    by; ``save`` keeps them in the index file and pickling sends them along.
    `counts` is read as ``spell``'s `counts` argument is, and must cover every
    payload of the trie (``ValueError`` otherwise)."""
    return _native.with_key_counts(trie, as_count_array(counts))


def read_counts(path: Union[str, "os.PathLike[str]"]) -> tuple[list[str], list[int]]:
    """The words of a word list with counts and their counts, in file order:
    one ``word<TAB>count`` or ``word count`` line per word (the count is the
    last field, 0 to 2**64 - 1; a word read with a tab may hold spaces), UTF-8,
    a byte order mark, CRLF line ends and blank lines allowed; ``"-"`` reads
    standard input. A repeated word keeps its first count. Raises DataError
    naming the file and line of a line without a count or with one out of
    range, OSError when the file cannot be read."""
    name = os.fspath(path)
    label = "<stdin>" if name == STDIN else name
    source = "/dev/stdin" if name == STDIN else name
    words: list[str] = []
    counts: list[int] = []
    seen: set[str] = set()
    with open(source, encoding="utf-8-sig", newline=None) as f:
        for number, line in enumerate(f, start=1):
            text = line.rstrip("\r\n")
            if not text.strip():
                continue
            match = _COUNTED_LINE.fullmatch(text)
            if match is None:
                raise DataError(f"{label}:{number}: expected a word and a count: {text[:80]!r}")
            word, count = match.group(1), int(match.group(2))
            if count > MAX_COUNT:
                raise DataError(f"{label}:{number}: count {count} is above {MAX_COUNT}")
            if word in seen:
                continue
            seen.add(word)
            words.append(word)
            counts.append(count)
    return words, counts


def looks_like_counts(path: Union[str, "os.PathLike[str]"], lines: int = 1000) -> bool:
    """Whether the first `lines` lines (20 at least) of a word list read as
    words with an optional payload column look like a list of counts: nearly all
    are ``word count`` lines (a space, no tab: each would be read as one word
    holding the number), or nearly all are ``word<TAB>number`` lines whose
    numbers fall line after line and run far above what positions would be
    (a list in frequency order)."""
    spaced: list[int] = []
    tabbed: list[int] = []
    read = 0
    with open(os.fspath(path), encoding="utf-8-sig", errors="replace") as f:
        # A bounded read: the file may be huge, or one long line.
        for line in f.read(1 << 16).splitlines():
            text = line.rstrip("\r\n")
            if not text.strip():
                continue
            read += 1
            match = _COUNTED_LINE.fullmatch(text)
            if match is not None:
                (tabbed if "\t" in text else spaced).append(int(match.group(2)))
            if read >= lines:
                break
    if read < 20:
        return False  # too few lines to tell
    if len(spaced) >= 0.9 * read:
        return True
    if len(tabbed) < 0.9 * read:
        return False
    falling = sum(a >= b for a, b in zip(tabbed, tabbed[1:])) >= 0.9 * (len(tabbed) - 1)
    return falling and max(tabbed) > 100 * read


def counted_trie(path: Union[str, "os.PathLike[str]"]) -> PrefixSearch:
    """The trie of a word list with counts (``read_counts``), each word's
    payload its rank by count (0 for the most common, ties in file order),
    carrying the counts by payload. Raises as ``read_counts`` does."""
    from .builder import build

    words, counts = read_counts(path)
    order = sorted(range(len(words)), key=lambda i: -counts[i])
    trie = build({words[i]: rank for rank, i in enumerate(order)})
    return with_counts(trie, array.array("Q", (counts[i] for i in order)))
