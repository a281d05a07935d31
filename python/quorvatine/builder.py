"""Lays out a trie's four node arrays from words, and builds a ``PrefixSearch``
from them, in the package's compiled part.

Nodes are numbered in pre-order and each node's children are listed in
code-point order, so a depth-first walk reads the arrays front to back.
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from typing import TYPE_CHECKING, Optional, Union

from . import _native

if TYPE_CHECKING:
    from _quorvatine import PrefixSearch

MAX_PAYLOAD = 0xFFFF_FFFF
# The longest word, in bytes of UTF-8; also the longest line of a word list.
MAX_WORD_BYTES = _native.MAX_WORD_BYTES

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
    store 1. The root (node 0) has the text ``''`` and no payload. A word
    takes at most ``MAX_WORD_BYTES`` (1 MiB) bytes of UTF-8.

    Raises ``TypeError`` for a ``str`` or non-iterable ``words``, a word that
    is not a ``str`` and a payload of another type; ``ValueError`` for the
    empty word (the root is never reported, so it could not be found), a
    word longer than ``MAX_WORD_BYTES``, a payload out of range, a word given
    twice in a mapping (``str`` subclasses with their own equality) and a
    word holding a lone surrogate (it has no UTF-8 form; the first such word
    in code-point order is named, once every word has been read). Each
    message names the offending word. What iterating ``words`` or a payload's
    ``__index__`` raises passes through; a dict that such code changes raises
    ``RuntimeError`` as iterating it would.

    Costs one sort of the words plus time linear in their total length, with
    the interpreter lock released for the layout itself; the arrays have one
    entry per node (``child_indices`` one fewer). An iterable's repeats are
    dropped as it is read (a sort of the words held, each time they double
    from two million on), so memory follows its distinct words.

    >>> quorvatine.layout(["car", "cat"])
    ([0, 1, 2, 4, 4], ['', 'c', 'a', 'r', 't'], [None, None, None, 0, 1], [1, 2, 3, 4])
    """
    return _native.lay_out(*_source(words))


def build(words: Words) -> PrefixSearch:
    """Returns a ``PrefixSearch`` holding ``words``, laid out as by ``layout``
    (see there for what ``words`` may be and what is refused) and kept in the
    compact form straight from the layout, without Python lists between.

    Raises what ``layout`` raises: ``TypeError`` or ``ValueError`` naming the
    word that cannot be stored.

    >>> trie = quorvatine.build({"car": 7, "cat": 9})
    >>> trie.fuzzy_match("cap", 1, None)
    [('car', 7, 1), ('cat', 9, 1)]
    >>> quorvatine.build(["car", ""])
    Traceback (most recent call last):
    ValueError: the empty word at position 1 cannot be stored: the root is never reported
    """
    return _native.build(*_source(words))


def _source(words: Words) -> tuple[Words, bool]:
    """`words` and whether it is a mapping."""
    if isinstance(words, (str, bytes, bytearray)):
        raise TypeError(
            f"words must be a mapping or an iterable of str, not {type(words).__name__}"
        )
    return words, type(words) is dict or isinstance(words, Mapping)
