"""Ranked lookups: the nearest keys to a word, and completions of a prefix
that may hold typos, each best first."""

from __future__ import annotations

import operator
from collections.abc import Mapping, Sequence
from typing import Optional, Protocol

from _quorvatine import PrefixSearch

from . import _native
from .casing import in_query_case

MAX_U64 = 2**64 - 1

class Scores(Protocol):
    """Scores indexed by payload: a list, a tuple, a numpy array, any sequence
    whose entries are numbers (an int, a float, or an object with
    ``__index__`` or ``__float__``, such as numpy's scalars)."""

    def __len__(self) -> int: ...

    def __getitem__(self, payload: int, /) -> object: ...


def suggest(
    trie: PrefixSearch,
    word: str,
    n: int = 5,
    max_dist: int = 2,
    *,
    transpositions: bool = True,
    scores: Optional[Scores] = None,
    ignore_case: bool = False,
) -> list[tuple[str, int, int]]:
    """The at most `n` keys within `max_dist` edits of `word`, as
    (key, payload, distance), nearest first.

    With `transpositions` (the default) swapping two adjacent characters is
    one edit, and no part of the word is edited twice (the optimal string
    alignment distance); without, the distance is Levenshtein's, as in
    `fuzzy_match`. Keys at one distance go by `scores[payload]`, higher first,
    when `scores` is given (a sequence of numbers indexed by payload, such as
    word frequencies: a list, a numpy array; see ``Scores``), else by payload,
    lower first; then by key.

    With `ignore_case`, letters are compared without their case and each key
    comes back in the word's case (see `casing.carry_case`): ``RECIEVE``
    gives RECEIVE; keys that then read alike are listed once.

    The search narrows its radius as it fills: once it holds n keys, nothing
    further than the worst of them is looked at. Raises PanicException when
    the trie's arrays are not a tree; a missing, non-numeric or NaN score
    that a key needs is a ``ValueError`` or ``TypeError`` naming the payload.

    >>> trie = quorvatine.build(["car", "cart", "cat", "dog"])
    >>> quorvatine.suggest(trie, "cra", n=2)
    [('car', 0, 1), ('cart', 1, 2)]
    >>> quorvatine.suggest(trie, "cta", n=2, scores=[5, 1, 9, 0])
    [('cat', 2, 1), ('car', 0, 2)]
    """
    _check(trie, word, "word", n, max_dist, scores)
    if ignore_case:
        return in_query_case(
            word, n, lambda room: _native.suggest(trie, word, room, max_dist, bool(transpositions), scores, True)
        )
    return _native.suggest(trie, word, n, max_dist, bool(transpositions), scores, False)


def complete(
    trie: PrefixSearch,
    prefix: str,
    n: int = 10,
    max_dist: int = 1,
    *,
    transpositions: bool = True,
    scores: Optional[Scores] = None,
    ignore_case: bool = False,
) -> list[tuple[str, int, int]]:
    """The at most `n` keys that begin with some text within `max_dist` edits
    of `prefix`, as (key, payload, distance), where the distance is that of
    the key's nearest beginning: best first by that distance, then as
    `suggest` orders ties. `max_dist=0` is plain prefix completion, and the
    empty prefix completes to every key. Adjacent swaps count as one edit
    unless `transpositions` is false, and case is ignored with
    `ignore_case`, as in `suggest`.

    Below a node within `max_dist` of the whole prefix every key completes,
    so that subtree is listed without further distance work. Raises
    PanicException when the trie's arrays are not a tree, and for scores as
    `suggest` does.

    >>> trie = quorvatine.build(["car", "cart", "cat", "dog"])
    >>> quorvatine.complete(trie, "cra", n=2)
    [('car', 0, 1), ('cart', 1, 1)]
    >>> quorvatine.complete(trie, "ca", max_dist=0)
    [('car', 0, 0), ('cart', 1, 0), ('cat', 2, 0)]
    """
    _check(trie, prefix, "prefix", n, max_dist, scores)
    if ignore_case:
        return in_query_case(
            prefix, n, lambda room: _native.complete(trie, prefix, room, max_dist, bool(transpositions), scores, True)
        )
    return _native.complete(trie, prefix, n, max_dist, bool(transpositions), scores, False)


def _check(
    trie: object, text: object, name: str, n: object, max_dist: object, scores: object
) -> None:
    if not isinstance(trie, PrefixSearch):
        raise TypeError(f"trie must be a PrefixSearch, not {type(trie).__name__}")
    if not isinstance(text, str):
        raise TypeError(f"{name} must be a str, not {type(text).__name__}")
    _check_natural("n", n)
    _check_natural("max_dist", max_dist)
    if scores is not None and not _is_sequence(scores):
        raise TypeError(f"scores must be a sequence of numbers or None, not {type(scores).__name__}")


def _is_sequence(scores: object) -> bool:
    # Also sequences that do not register as one (a numpy array): what has a
    # length and items by position, as long as it is not a mapping.
    kind = type(scores)
    if isinstance(scores, Sequence):
        return True
    return not isinstance(scores, Mapping) and hasattr(kind, "__len__") and hasattr(kind, "__getitem__")


def _check_natural(label: str, value: object) -> None:
    """Refuses `value` unless it is an int (not a bool) from 0 to 2**64 - 1."""
    if type(value) is int and 0 <= value <= MAX_U64:
        return  # the common case, told at once
    if isinstance(value, bool) or not hasattr(type(value), "__index__"):
        raise TypeError(f"{label} must be an int, not {type(value).__name__}")
    number = operator.index(value)  # type: ignore[arg-type]
    if number < 0:
        raise ValueError(f"{label} must not be negative: {number}")
    if number > MAX_U64:
        raise OverflowError(f"{label} must be at most {MAX_U64}: {number}")
