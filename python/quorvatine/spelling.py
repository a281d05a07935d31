"""Spelling corrections: the dictionary words a misspelling most likely
stands for, best first, by a model of how people misspell, by sound and by
how common each word is."""

from __future__ import annotations

from collections.abc import Callable, Iterable
from typing import Optional

from _quorvatine import PrefixSearch

from . import _native
from ._per_trie import PerTrie
from .casing import in_query_case
from .counts import Counts, as_count_array, carried_counts
from .parallel import _batch_of, _thread_count
from .progress import Progress, callback_of
from .ranked import _check_natural

# (word, payload, distance, cost): the correction with its payload, its
# optimal-string-alignment distance from the query (case ignored with
# ignore_case), and the error model's cost of the misspelling in edits
# (0.0 for the word itself; a plain edit costs 1, likely ones less).
Correction = tuple[str, int, int, float]

# Spelling indexes of the tries spelled with last, made with the counts they
# carry (which the native calls rank by when given None).
_INDEXES: PerTrie[object] = PerTrie(lambda trie: _native.spell_index(trie, carried_counts(trie)))


def spell(
    trie: PrefixSearch,
    word: str,
    n: int = 10,
    *,
    max_dist: Optional[int] = None,
    ignore_case: bool = True,
    counts: Optional[Counts] = None,
) -> list[Correction]:
    """The at most `n` most likely corrections of `word`, best first, as
    (word, payload, distance, cost).

    Candidates are the keys within `max_dist` edits (adjacent swaps count
    one; default: 1 for words of up to 3 letters, else 2, and 3 for words of
    7 or more when nothing within 2 is a likely misspelling) and the keys
    that sound like `word` (a sound code of its own, looked up in a second
    index of the trie's keys), however far in letters unless `max_dist` is
    given (then no candidate is further). Each is ranked by the
    cost of its misspelling (a doubled or dropped double letter, a swap, a
    vowel for a vowel, a letter of the same sound or a neighbouring key cost
    less than other edits; an edit at the first letter more), less a bonus
    when it sounds alike, less its frequency: ``0.35 * log10(count + 1)``,
    where counts are `counts[payload]` (a buffer of unsigned 64-bit integers
    or a sequence of ints) or, by default, the counts the trie carries (see
    ``english()`` and ``build_word_list(..., counts=True)``). Ties go by
    distance, payload, key: the order is deterministic.

    With `ignore_case` (the default) letters are compared without case and
    each correction comes in `word`'s case: ``RECIEVE`` gives RECEIVE, ``Teh``
    The, ``paris`` Paris. The first call on a trie builds its spelling
    indexes (its keys folded to lower case, and by sound code: about 0.3 s
    for 100,000 words), kept for the last few tries used.
    Raises PanicException when the trie's arrays are not a tree."""
    _check(trie, word, "word", n, max_dist)
    index, table = _prepared(trie, counts)
    if ignore_case:
        return in_query_case(
            word, n, lambda room: _native.spell(trie, index, word, room, max_dist, True, table)
        )
    return _native.spell(trie, index, word, n, max_dist, False, table)


def spell_many(
    trie: PrefixSearch,
    words: Iterable[str],
    n: int = 10,
    *,
    max_dist: Optional[int] = None,
    ignore_case: bool = True,
    counts: Optional[Counts] = None,
    threads: Optional[int] = None,
    progress: Progress = None,
) -> list[list[Correction]]:
    """``[spell(trie, w, n, max_dist=..., ignore_case=..., counts=...) for w
    in words]``, computed on up to `threads` native threads (default: every
    core this process may use) with the interpreter lock released, in query
    order, failing as the loop would first fail (the ``TypeError`` of a word
    that is not a str; a ``PanicException``). `progress` and signals are
    handled as in `fuzzy_match_many`."""
    count = _thread_count(threads, "threads")
    batch = _batch_of(words, "words")
    _check(trie, batch[0] if batch else "", "word", n, max_dist)
    refused = next((i for i, text in enumerate(batch) if not isinstance(text, str)), len(batch))
    texts = batch if refused == len(batch) else batch[:refused]
    index, table = _prepared(trie, counts)
    if ignore_case:
        room = min(2 * n, 2**64 - 1)
        firsts = _native.spell_many(
            trie, index, texts, room, max_dist, True, table, count, callback_of(progress)
        )

        def asker(text: str, found: list[Correction]) -> Callable[[int], list[Correction]]:
            def ask(more: int) -> list[Correction]:
                if more <= room:
                    return found[:more]  # the first of a ranking are its best
                return _native.spell(trie, index, text, more, max_dist, True, table)

            return ask

        # A word in small letters has no case to carry: its first n as found.
        answers = [
            found[:n] if t.lower() == t else in_query_case(t, n, asker(t, found))
            for t, found in zip(texts, firsts)
        ]
    else:
        answers = _native.spell_many(
            trie, index, texts, n, max_dist, False, table, count, callback_of(progress)
        )
    if refused < len(batch):
        _check(trie, batch[refused], "word", n, max_dist)
    return answers


def _prepared(trie: PrefixSearch, counts: Optional[Counts]) -> tuple[object, object]:
    """The trie's spelling indexes (made on first use) and the counts to rank
    by: None for those it carries, held by the indexes."""
    return _INDEXES(trie), (None if counts is None else as_count_array(counts))


def _check(trie: object, text: object, name: str, n: object, max_dist: object) -> None:
    if not isinstance(trie, PrefixSearch):
        raise TypeError(f"trie must be a PrefixSearch, not {type(trie).__name__}")
    if not isinstance(text, str):
        raise TypeError(f"{name} must be a str, not {type(text).__name__}")
    _check_natural("n", n)
    if max_dist is not None:
        _check_natural("max_dist", max_dist)
