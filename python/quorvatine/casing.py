"""Case carried from a query onto the words found for it, for lookups that
ignore case: ``RECIEVE`` gives RECEIVE, ``Teh`` gives The, and a word with
capitals of its own (Paris) keeps them."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import TypeVar

Found = TypeVar("Found", bound=tuple)  # type: ignore[type-arg]
MAX_ROOM = 2**64 - 1


def carry_case(query: str, word: str) -> str:
    """`word` written in `query`'s case: all capitals when the query is (two
    letters or more, all cased ones capitals), a capital first letter when
    the query starts with one and the word with a small letter; else `word`
    as it is."""
    if len(query) > 1 and query.isupper():
        return word.upper()
    if query[:1].isupper() and word[:1].islower():
        return word[:1].upper() + word[1:]
    return word


def spellings(word: str) -> list[str]:
    """The ways a dictionary may write a word that `word` carries the case
    of (as ``carry_case`` writes it), most faithful first: `word` itself;
    for a capitalised word (at the start of a sentence, in a title) the word
    with a small first letter; for one in capitals (two letters or more) the
    word in small letters and capitalised."""
    found = [word]
    if len(word) > 1 and word.isupper():
        found += [word.lower(), word[0] + word[1:].lower()]
    elif word[:1].isupper() and not word[1:].isupper():
        found.append(word[0].lower() + word[1:])
    return list(dict.fromkeys(found))


def carried(query: str, found: Sequence[Found], n: int) -> list[Found]:
    """The first `n` of `found` (tuples whose first item is a word), each word
    in the query's case; a word that comes out as an earlier one did is left
    out ("Bill" and "bill" for the query "BILL")."""
    if query.lower() == query:
        # Nothing to carry, and the keys are distinct.
        return list(found[:n])
    seen: set[str] = set()
    out: list[Found] = []
    for item in found:
        word = carry_case(query, item[0])
        if word in seen:
            continue
        seen.add(word)
        out.append((word, *item[1:]))  # type: ignore[arg-type]
        if len(out) >= n:
            break
    return out


def in_query_case(query: str, n: int, ask: Callable[[int], Sequence[Found]]) -> list[Found]:
    """The first `n` keys of a ranked lookup in `query`'s case (``carried``),
    where ``ask(room)`` runs the lookup for at most `room` keys: asked for
    `n` when the query has nothing to carry, else twice as many as needed,
    and more if merged keys leave fewer than `n`."""
    room = n if query.lower() == query else min(2 * n, MAX_ROOM)
    while True:
        found = ask(room)
        out = carried(query, found, n)
        if len(out) >= n or len(found) < room or room >= MAX_ROOM:
            return out
        room = min(4 * room, MAX_ROOM)
