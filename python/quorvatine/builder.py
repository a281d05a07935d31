"""Lays out a trie's four node arrays from words, and builds a ``PrefixSearch``
from them.

Nodes are numbered in pre-order and each node's children are listed in
code-point order, so a depth-first walk reads the arrays front to back.
"""

from __future__ import annotations

import operator
from collections.abc import Iterable, Mapping
from functools import reduce
from itertools import accumulate, count, repeat
from typing import TYPE_CHECKING, Optional, Union

if TYPE_CHECKING:
    from _quorvatine import PrefixSearch

MAX_PAYLOAD = 0xFFFF_FFFF
_HEAD = 64  # leading code points of neighbouring words compared all at once
_BATCH = 4096  # neighbouring pairs compared together
_NONZERO = bytes(1) + bytes([1]) * 255  # translate table: 0 stays 0, the rest become 1

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
    _check_encodable(keys)
    if not keys:
        return [0], [""], [None], []
    lengths = list(map(len, keys))
    shared = _shared_lengths(keys, lengths)
    # Word i adds one node per code point past its shared part: a chain of
    # consecutive ids (the walk is pre-order) that ends at ends[i]. The node at
    # depth d on word i's own chain is bases[i] + d; bases[0] is 0, so depth 0
    # of word 0 is the root.
    ends = list(accumulate(map(operator.sub, lengths, shared)))
    bases = list(map(operator.sub, ends, lengths))
    node_count = ends[-1] + 1
    ids = list(range(node_count))
    # parents[x] is x - 1, the node before it on its chain, except at each
    # word's first node (set below; the root's entry is unused). Every node
    # starts with one child, the next on its chain (for the root, word 0's
    # first node), except a word's last node; each later word then adds a
    # child to the node it hangs from.
    parents = [-1] + ids[:-1]
    child_counts = [1] * node_count
    node_payloads: list[Optional[int]] = [None] * node_count
    payloads = map(entries.__getitem__, keys)
    child_counts[ends[0]] = 0
    node_payloads[ends[0]] = next(payloads)
    # Word i hangs from the node at depth shared[i] on word i-1's path. That
    # node is on the chain of owners[i]: the last earlier word sharing fewer
    # than shared[i] code points with its own predecessor (word 0 counts as
    # sharing -1). Following owners back from word i-1 passes over runs of
    # words that share at least as many; a word passed over is never looked
    # at again, so the loop takes time linear in the number of words.
    limits = [-1] + shared[1:]
    owners = [0] * len(keys)
    for i, depth, previous_end, end, payload in zip(
        count(1), shared[1:], ends, ends[1:], payloads
    ):
        owner = i - 1
        while limits[owner] >= depth:
            owner = owners[owner]
        owners[i] = owner
        anchor = bases[owner] + depth
        parents[previous_end + 1] = anchor
        child_counts[anchor] += 1
        child_counts[end] = 0
        node_payloads[end] = payload
    # Ids grow in pre-order, so a stable sort by parent lists each node's
    # children together, by parent id, and each group in code-point order.
    child_indices = ids[1:]
    child_indices.sort(key=parents.__getitem__)
    node_shifts = list(accumulate(child_counts, initial=0))
    node_shifts.pop()
    # Each word's code points past its shared part, one node each, in id order
    # (one slice object per distinct shared length).
    tails = {length: slice(length, None) for length in set(shared)}
    node_strings = [""]
    node_strings += "".join(map(operator.getitem, keys, map(tails.__getitem__, shared)))
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
    plain = _plain_entries(words)
    if plain is not None:
        return plain
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


def _plain_entries(words: Words) -> Optional[dict[str, int]]:
    """What `_entries` gives for a list or tuple of str, or a dict of str to
    int, when nothing in it needs checking one by one; None otherwise."""
    # Only the exact built-in containers holding exact str (and int payloads):
    # nothing then runs code of the caller's, so reading them twice changes
    # nothing, and no word or payload needs converting.
    if type(words) is list or type(words) is tuple:
        if len(words) > MAX_PAYLOAD + 1 or not {*map(type, words)} <= {str}:
            return None
        # Inserted last to first, so a repeated word keeps its first position.
        entries = dict(zip(reversed(words), range(len(words) - 1, -1, -1)))
        return None if "" in entries else entries
    if type(words) is dict:
        payloads = words.values()
        if (
            {*map(type, words)} <= {str}
            and "" not in words
            and {*map(type, payloads)} <= {int}
            and (not words or (min(payloads) >= 0 and max(payloads) <= MAX_PAYLOAD))
        ):
            return dict(words)
    return None


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


def _check_encodable(keys: list[str]) -> None:
    """Raises for the first of `keys` that holds a lone surrogate."""
    text = "".join(keys)
    if text.isascii():
        return
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        for key in keys:
            _check_key_encodable(key)


def _check_key_encodable(key: str) -> None:
    try:
        key.encode("utf-8")
    except UnicodeEncodeError as e:
        raise ValueError(
            f"word {key!r} holds the lone surrogate {key[e.start]!r} at {e.start}, "
            "which has no UTF-8 form"
        ) from None


def _shared_lengths(keys: list[str], lengths: list[int]) -> list[int]:
    """For each of the sorted, distinct `keys` (at least one), the number of
    leading code points it shares with the key before it (0 for the first)."""
    # Neighbours are compared on their first _HEAD code points (the whole of
    # most keys), a few thousand pairs at a time so that the work stays in the
    # processor's cache; those agreeing on all of them are finished one by one.
    heads, head_lengths = keys, lengths
    if max(lengths) > _HEAD:
        heads = list(map(operator.getitem, keys, repeat(slice(_HEAD))))
        head_lengths = list(map(len, heads))
    shared = [0]
    for start in range(0, len(keys) - 1, _BATCH):
        stop = start + _BATCH + 1
        shared += _neighbours_shared(heads[start:stop], head_lengths[start:stop])
    if heads is not keys:
        tied = [i for i, length in enumerate(shared) if length == _HEAD]
        for i in tied:
            shared[i] = _common_prefix_length(keys[i - 1], keys[i], _HEAD)
    return shared


def _neighbours_shared(keys: list[str], lengths: list[int]) -> list[int]:
    """For each key but the first, the number of leading code points it
    shares with the key before it, for sorted `keys` (at least two; equal
    neighbours share their whole length)."""
    # Each neighbouring pair a, b becomes a segment a + "\0" + b + "\0" of one
    # string and b + "\1" + a + "\1" of another, as long. A segment first
    # differs where a and b part, or at len(a) when a is a prefix of b; its
    # last code point always differs, so a search from its start stops within.
    interleaved = [""] * (2 * len(keys) - 2)
    interleaved[0::2] = keys[:-1]
    interleaved[1::2] = keys[1:]
    first = "\0".join(interleaved) + "\0"
    interleaved[0::2] = keys[1:]
    interleaved[1::2] = keys[:-1]
    second = "\1".join(interleaved) + "\1"
    differs = _differences(first, second)
    # Segment j begins after the j before it, each len(a) + len(b) + 2 long.
    pair_lengths = map(operator.add, lengths, lengths[1:])
    starts = list(accumulate(map(operator.add, pair_lengths, repeat(2)), initial=0))
    starts.pop()
    shared = list(map(operator.sub, map(differs.find, repeat(1), starts), starts))
    # If b holds a NUL just past a prefix a, it matches the separator and the
    # segment agrees further on; a shares at most its whole length. (The
    # separators of `second` are \1, so a NUL there comes from a key.)
    if "\0" in second:
        shared = list(map(min, shared, lengths))
    return shared


def _common_prefix_length(a: str, b: str, known: int) -> int:
    """Length of the longest common leading part of `a` and `b`, which agree
    on their first `known` code points."""
    # A binary search on slice comparisons, done in C. Each step compares only
    # code points not yet known to agree, so the work is linear in the lengths.
    low, high = known, min(len(a), len(b))
    while low < high:
        middle = (low + high + 1) // 2
        if a[low:middle] == b[low:middle]:
            low = middle
        else:
            high = middle - 1
    return low


def _differences(a: str, b: str) -> bytes:
    """One byte per code point of the equally long `a` and `b`: 1 where they
    differ, 0 where they agree."""
    # A fixed-width encoding (Latin-1 if it holds every code point, else UTF-16
    # unless a code point needs a surrogate pair, else UTF-32) read as one big
    # number each: their XOR is zero exactly where the code points agree.
    try:
        width, x, y = 1, a.encode("latin-1"), b.encode("latin-1")
    except UnicodeEncodeError:
        x = a.encode("utf-16-be")
        if len(x) == 2 * len(a):
            width, y = 2, b.encode("utf-16-be")
        else:
            width, x, y = 4, a.encode("utf-32-be"), b.encode("utf-32-be")
    xor = int.from_bytes(x, "big") ^ int.from_bytes(y, "big")
    if width > 1:  # OR the bytes of each code point together
        spread = xor.to_bytes(len(x), "big")
        planes = (int.from_bytes(spread[i::width], "big") for i in range(width))
        xor = reduce(operator.or_, planes)
    return xor.to_bytes(len(a), "big").translate(_NONZERO)
