"""Answering large batches of fuzzy queries on every core.

The batch runs in the package's compiled part: the queries are converted
once, the interpreter lock is released while native threads walk the trie
(each claims small chunks of queries as it goes), and the result lists are
built once the lock is taken again. Other Python threads run meanwhile.
"""

from __future__ import annotations

import os
from collections.abc import Iterable

from _quorvatine import PrefixSearch

from . import _native


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
) -> list[list[tuple[str, int, int]]]:
    """Returns ``[trie.fuzzy_match(q, max_dist, limit) for q in queries]``,
    computed on up to `threads` native threads (default: every core this
    process may use); `processes` is the older name of `threads`. Results
    come back in query order, equal to the loop's.

    A failure is the one the loop would raise first: the exception of the
    first failing query in query order (a ``PanicException`` for a trie whose
    arrays are not a tree, a ``TypeError`` for a query that is not a str, and
    so on), and bad `max_dist` or `limit` values as ``fuzzy_match`` reports
    them. Every thread has ended when the call returns or raises. A thread
    count below 1 is a ``ValueError``; giving both names is a ``TypeError``."""
    if processes is not None and threads is not None:
        raise TypeError("fuzzy_match_many takes threads or processes, not both")
    name, count = ("processes", processes) if processes is not None else ("threads", threads)
    if count is None:
        count = _cores()
    elif count < 1:
        raise ValueError(f"{name} must be at least 1, not {count}")
    # Exactly a list or tuple is read in place; anything else (a subclass,
    # whose iteration may differ, among them) is iterated once.
    batch: list[str] | tuple[str, ...]
    if type(queries) is list or type(queries) is tuple:
        batch = queries
    else:
        batch = list(queries)
    return _native.fuzzy_match_many(trie, batch, max_dist, limit, count)
