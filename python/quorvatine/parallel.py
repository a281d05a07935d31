"""Answering large batches of fuzzy, suggestion and completion queries on
every core.

The batch runs in the package's compiled part: the queries are converted
once, the interpreter lock is released while native threads walk the trie
(each claims small chunks of queries as it goes), and the result lists are
built once the lock is taken again. Other Python threads run meanwhile.
"""

from __future__ import annotations

import os
from collections.abc import Callable, Iterable
from typing import Optional

from _quorvatine import PrefixSearch

from . import _native
from .casing import in_query_case
from .progress import Progress, callback_of
from .ranked import Scores, _check


def _cores() -> int:
    """The cores this process may run on."""
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0))
    return os.cpu_count() or 1


def fuzzy_match_many(
    trie: PrefixSearch,
    queries: Iterable[str],
    max_dist: int,
    limit: int | None = None,
    processes: int | None = None,
    *,
    threads: int | None = None,
    progress: Progress = None,
) -> list[list[tuple[str, int, int]]]:
    """Returns ``[trie.fuzzy_match(q, max_dist, limit) for q in queries]``,
    computed on up to `threads` native threads (default, and most: the cores
    this process may use; a larger count is lowered to that); `processes` is
    the older name of `threads`. Results come back in query order, equal to
    the loop's. A str or bytes is refused (``TypeError``): it is one query,
    not a batch.

    A failure is the one the loop would raise first: the exception of the
    first failing query in query order (a ``PanicException`` for a trie whose
    arrays are not a tree, a ``TypeError`` for a query that is not a str, and
    so on), and bad `max_dist` or `limit` values as ``fuzzy_match`` reports
    them. Every thread has ended when the call returns or raises. A thread
    count below 1 is a ``ValueError``; giving both names is a ``TypeError``.

    `progress` is None, True (a bar on standard error, if it is a terminal,
    for a batch that runs over a second) or a callable taking (done, total),
    called about every 25 ms from the calling thread. A pending signal
    (Ctrl-C) stops the batch within about as long: the exception its handler
    raises (KeyboardInterrupt) is raised once every thread has stopped, as is
    anything `progress` raises.

    >>> trie = quorvatine.build(["car", "cart", "cat", "dog"])
    >>> quorvatine.fuzzy_match_many(trie, ["cat", "dot"], 1, threads=2)
    [[('cat', 2, 0), ('car', 0, 1), ('cart', 1, 1)], [('dog', 3, 1)]]
    """
    if processes is not None and threads is not None:
        raise TypeError("fuzzy_match_many takes threads or processes, not both")
    if processes is not None:
        count = _thread_count(processes, "processes")
    else:
        count = _thread_count(threads, "threads")
    return _native.fuzzy_match_many(
        trie, _batch_of(queries, "queries"), max_dist, limit, count, callback_of(progress)
    )


def suggest_many(
    trie: PrefixSearch,
    words: Iterable[str],
    n: int = 5,
    max_dist: int = 2,
    *,
    transpositions: bool = True,
    scores: Optional[Scores] = None,
    threads: int | None = None,
    progress: Progress = None,
    ignore_case: bool = False,
) -> list[list[tuple[str, int, int]]]:
    """Returns ``[suggest(trie, w, n, max_dist, transpositions=...,
    scores=..., ignore_case=...) for w in words]``, computed on up to `threads` native threads
    (default, and most: the cores this process may use), in query order and equal to
    the loop's, failures included: the exception of the first failing query
    (a ``PanicException`` for a trie whose arrays are not a tree, the
    ``TypeError`` of a word that is not a str, the error of the first score
    a query needs but cannot use), and bad arguments as ``suggest`` reports
    them. Every thread has ended when the call returns or raises; a thread
    count below 1 is a ``ValueError``. `progress` and signals are handled as
    in `fuzzy_match_many`.

    Unlike the loop, which reads ``scores[payload]`` as each key is reached,
    the batch reads every entry of `scores` once, before the walks: an entry
    no query reaches may be anything, but a sequence whose own ``__len__``
    or ``__getitem__`` raises fails the batch right there.

    >>> trie = quorvatine.build(["car", "cart", "cat", "dog"])
    >>> quorvatine.suggest_many(trie, ["cra", "dgo"], n=1)
    [[('car', 0, 1)], [('dog', 3, 1)]]
    """
    return _ranked_many(
        _native.suggest_many, _native.suggest, ("words", "word"), trie, words, n, max_dist,
        transpositions, scores, threads, progress, ignore_case,
    )


def complete_many(
    trie: PrefixSearch,
    prefixes: Iterable[str],
    n: int = 10,
    max_dist: int = 1,
    *,
    transpositions: bool = True,
    scores: Optional[Scores] = None,
    threads: int | None = None,
    progress: Progress = None,
    ignore_case: bool = False,
) -> list[list[tuple[str, int, int]]]:
    """Returns ``[complete(trie, p, n, max_dist, transpositions=...,
    scores=..., ignore_case=...) for p in prefixes]`` on up to `threads` native threads, as
    `suggest_many` does for `suggest`: the same order, failures, thread
    count, progress and reading of `scores` once up front.

    >>> trie = quorvatine.build(["car", "cart", "cat", "dog"])
    >>> quorvatine.complete_many(trie, ["car", "do"], n=2, max_dist=0)
    [[('car', 0, 0), ('cart', 1, 0)], [('dog', 3, 0)]]
    """
    return _ranked_many(
        _native.complete_many, _native.complete, ("prefixes", "prefix"), trie, prefixes, n,
        max_dist, transpositions, scores, threads, progress, ignore_case,
    )


Match = tuple[str, int, int]


def _ranked_many(
    native_call: Callable[..., list[list[Match]]],
    one_call: Callable[..., list[Match]],
    names: tuple[str, str],
    trie: PrefixSearch,
    queries: Iterable[str],
    n: int,
    max_dist: int,
    transpositions: bool,
    scores: Optional[Scores],
    threads: int | None,
    progress: Progress,
    ignore_case: bool,
) -> list[list[tuple[str, int, int]]]:
    batch_name, name = names
    count = _thread_count(threads, "threads")
    batch = _batch_of(queries, batch_name)
    # The loop checks the first query's arguments before any walk, and each
    # later query's text only once the queries before it are answered.
    _check(trie, batch[0] if batch else "", name, n, max_dist, scores)
    refused = next((i for i, text in enumerate(batch) if not isinstance(text, str)), len(batch))
    texts = batch if refused == len(batch) else batch[:refused]
    swaps = bool(transpositions)
    callback = callback_of(progress)
    if ignore_case:
        # Asked for twice as many; a query whose merged keys leave fewer than
        # n is asked again on its own, as the one-query call would.
        room = min(2 * n, 2**64 - 1)
        firsts = native_call(trie, texts, room, max_dist, swaps, scores, count, callback, True)

        def asker(text: str, found: list[Match]) -> Callable[[int], list[Match]]:
            def ask(more: int) -> list[Match]:
                if more <= room:
                    return found[:more]  # the first of a ranking are its best
                return one_call(trie, text, more, max_dist, swaps, scores, True)

            return ask

        answers = [in_query_case(t, n, asker(t, found)) for t, found in zip(texts, firsts)]
    else:
        answers = native_call(trie, texts, n, max_dist, swaps, scores, count, callback, False)
    if refused < len(batch):
        _check(trie, batch[refused], name, n, max_dist, scores)
    return answers


def _thread_count(count: int | None, name: str) -> int:
    if count is None:
        return _cores()
    if count < 1:
        raise ValueError(f"{name} must be at least 1, not {count}")
    return count


def _batch_of(queries: Iterable[str], name: str) -> list[str] | tuple[str, ...]:
    # A str would be a batch of its characters, bytes one of ints: most likely
    # one query given where a batch was meant.
    if isinstance(queries, (str, bytes, bytearray)):
        raise TypeError(f"{name} must be an iterable of str, not {type(queries).__name__}")
    # Exactly a list or tuple is read in place; anything else (a subclass,
    # whose iteration may differ, among them) is iterated once.
    if type(queries) is list or type(queries) is tuple:
        return queries
    return list(queries)
