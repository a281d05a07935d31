"""Lays out a trie's four node arrays from words, and builds a ``PrefixSearch``
from them.

Nodes are numbered in pre-order and each node's children are listed in
code-point order, so a depth-first walk reads the arrays front to back.
"""

from __future__ import annotations

import operator
from collections.abc import Iterable, Mapping
from itertools import accumulate, repeat
from typing import TYPE_CHECKING, Optional, Union

if TYPE_CHECKING:
    from _quorvatine import PrefixSearch

MAX_PAYLOAD = 0xFFFF_FFFF
_SCAN = 8  # code points compared one by one before a binary search

Words = Union[Mapping[str, int], Iterable[str]]
Layout = tuple[list[int], list[str], list[Optional[int]], list[int]]


def layout(words: Words) -> Layout:
    """Returns ``(node_shifts, node_strings, node_payloads, child_indices)``,
    the arguments of ``_quorvatine.from_internal_data`` for a trie holding
    ``words``.

    ``words`` is either a mapping of ``str`` to payload, or an iterable of
    ``str`` in which each word's payload is its position (counted from 0). A
    word repeated in an iterable keeps the position of its first occurrence,
    so that ``words[payload]`` gives the word back, as ``list.index`` would;
    later occurrences add nothing. The iteration order of an unordered
    iterable (a set) therefore decides the payloads.

    A payload is an ``int`` (or an object with ``__index__``) from 0 to
    4294967295; ``bool`` is refused, because ``{word: True}`` would silently
    store 1. The root (node 0) has the text ``''`` and no payload.

    Raises ``TypeError`` for a ``str`` or non-iterable ``words``, a word that
    is not a ``str`` and a payload of another type; ``ValueError`` for the
    empty word (the root is never reported, so it could not be found), a
    payload out of range and a word holding a lone surrogate (it has no
    UTF-8 form). Each message names the offending word.

    Costs one sort of the distinct words plus time linear in their total
    length; the arrays have one entry per node (``child_indices`` one fewer).
    """
    entries = _entries(words)
    keys = sorted(entries)  # str order is code-point order
    node_strings = [""]
    node_payloads: list[Optional[int]] = [None]
    parents = [0]  # parents[i] is node i's parent; the root's entry is unused
    child_counts = [0]
    path = [0]  # node ids along the previous word, root first
    previous = ""
    for key in keys:
        if not key.isascii():
            _check_encodable(key)
        # Sorted and distinct: the word shares `common` code points with the
        # previous one and adds a chain of `count` >= 1 nodes below path[common].
        common = _common_prefix_length(previous, key)
        del path[common + 1 :]
        first = len(node_strings)
        count = len(key) - common
        parents.append(path[-1])
        parents.extend(range(first, first + count - 1))
        child_counts[path[-1]] += 1
        child_counts.extend(repeat(1, count - 1))
        child_counts.append(0)
        path.extend(range(first, first + count))
        node_strings.extend(key[common:])
        node_payloads.extend(repeat(None, count - 1))
        node_payloads.append(entries[key])
        previous = key
    # Ids grow in pre-order, so a stable sort by parent lists each node's
    # children together, by parent id, and each group in code-point order.
    child_indices = sorted(range(1, len(node_strings)), key=parents.__getitem__)
    node_shifts = list(accumulate(child_counts, initial=0))
    node_shifts.pop()
    return node_shifts, node_strings, node_payloads, child_indices


def build(words: Words) -> PrefixSearch:
    """Returns a ``PrefixSearch`` holding ``words``, laid out by ``layout``
    (see there for what ``words`` may be and what is refused)."""
    import _quorvatine

    return _quorvatine.from_internal_data(*layout(words))


def _entries(words: Words) -> dict[str, int]:
    """The distinct words with their checked payloads."""
    if isinstance(words, (str, bytes, bytearray)):
        raise TypeError(
            f"words must be a mapping or an iterable of str, not {type(words).__name__}"
        )
    entries: dict[str, int] = {}
    if isinstance(words, Mapping):
        for key, payload in words.items():
            key = _checked_key(key, None)
            if key in entries:  # only str subclasses with their own equality get here
                raise ValueError(f"word {key!r} appears twice")
            if type(payload) is not int or not 0 <= payload <= MAX_PAYLOAD:
                payload = _checked_payload(key, payload)
            entries[key] = payload
        return entries
    try:
        iterator = iter(words)
    except TypeError:
        raise TypeError(
            f"words must be a mapping or an iterable of str, not {type(words).__name__}"
        ) from None
    for position, key in enumerate(iterator):
        if type(key) is not str or not key:
            key = _checked_key(key, position)
        if key not in entries:
            if position > MAX_PAYLOAD:
                raise ValueError(
                    f"word {key!r} at position {position} is beyond the largest payload "
                    f"{MAX_PAYLOAD}"
                )
            entries[key] = position
    return entries


def _checked_key(key: object, position: Optional[int]) -> str:
    """`key` as an exact str, or the error that names it."""
    where = "" if position is None else f" at position {position}"
    if not isinstance(key, str):
        raise TypeError(f"word {key!r}{where} is {type(key).__name__}, not str")
    if not key:
        raise ValueError(
            f"the empty word{where} cannot be stored: the root is never reported"
        )
    # An exact copy, so that a subclass's comparison or hashing cannot reorder
    # or merge words.
    return str.__str__(key)


def _checked_payload(key: str, payload: object) -> int:
    if isinstance(payload, bool):
        raise TypeError(f"payload of word {key!r} is a bool; give an int")
    try:
        value = operator.index(payload)  # type: ignore[arg-type]  # checked at run time
    except TypeError:
        raise TypeError(
            f"payload of word {key!r} is {type(payload).__name__}, not int"
        ) from None
    if not 0 <= value <= MAX_PAYLOAD:
        raise ValueError(f"payload {value} of word {key!r} is outside 0 to {MAX_PAYLOAD}")
    return value


def _check_encodable(key: str) -> None:
    try:
        key.encode("utf-8")
    except UnicodeEncodeError as e:
        raise ValueError(
            f"word {key!r} holds the lone surrogate {key[e.start]!r} at {e.start}, "
            "which has no UTF-8 form"
        ) from None


def _common_prefix_length(a: str, b: str) -> int:
    """Length of the longest common leading part of `a` and `b`."""
    end = min(len(a), len(b))
    i = 0
    # Neighbours in sorted order mostly part within a few code points.
    while i < end and i < _SCAN and a[i] == b[i]:
        i += 1
    if i < _SCAN or i == end:
        return i
    # A long shared part: binary search with slice comparisons, done in C,
    # instead of a Python step per code point.
    low, high = i, end
    while low < high:
        middle = (low + high + 1) // 2
        if a[:middle] == b[:middle]:
            low = middle
        else:
            high = middle - 1
    return low
