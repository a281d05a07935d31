"""Answering large batches of fuzzy queries on several processes.

A query holds the interpreter lock for its whole length, so threads do not run
queries in parallel; processes do. Each worker receives the trie once, as its
bytes, when it starts, and then only queries and results travel. A worker that
dies (killed, or ended by the out-of-memory killer) ends the batch with an
exception, the other workers stopped and reaped.
"""

from __future__ import annotations

import os
from collections.abc import Iterable
from typing import Any

from _quorvatine import PrefixSearch

from .errors import PanicException

_worker_trie: PrefixSearch | None = None
# Below this many queries per process, starting workers costs more than it saves.
_MIN_QUERIES_PER_PROCESS = 64


def _start_worker(trie_bytes: bytes) -> None:
    global _worker_trie
    import _quorvatine

    _worker_trie = _quorvatine.from_bytes(trie_bytes)


def _answer(job: tuple[list[str], int, int | None]) -> tuple[bool, Any]:
    queries, max_dist, limit = job
    assert _worker_trie is not None, "worker started without its trie"
    try:
        return True, [_worker_trie.fuzzy_match(q, max_dist, limit) for q in queries]
    except PanicException as e:
        # The class lives only in the extension, so the exception could not be
        # unpickled here; carry its message home and raise it there.
        return False, str(e)


def fuzzy_match_many(
    trie: PrefixSearch,
    queries: Iterable[str],
    max_dist: int,
    limit: int | None = None,
    processes: int | None = None,
) -> list[list[tuple[str, int, int]]]:
    """Returns ``[trie.fuzzy_match(q, max_dist, limit) for q in queries]``,
    computed on up to `processes` worker processes (default: the number of
    cores). Results come back in query order. Small batches, and
    ``processes=1``, are answered in this process. Errors are those of
    ``fuzzy_match``: the first failing chunk's error is raised here. A worker
    process that dies raises ``concurrent.futures.process.BrokenProcessPool``
    (a ``RuntimeError``) once every worker has been stopped and reaped."""
    batch = list(queries)
    if processes is None:
        processes = os.cpu_count() or 1
    if processes < 1:
        raise ValueError(f"processes must be at least 1, not {processes}")
    processes = min(processes, len(batch) // _MIN_QUERIES_PER_PROCESS)
    if processes <= 1:
        return [trie.fuzzy_match(q, max_dist, limit) for q in batch]
    chunk = max(1, len(batch) // (processes * 8))
    jobs = [(batch[i : i + chunk], max_dist, limit) for i in range(0, len(batch), chunk)]
    # Imported here, not at the top: they add ~10 ms to every import.
    from concurrent.futures import ProcessPoolExecutor
    from concurrent.futures.process import BrokenProcessPool

    # Unlike a multiprocessing pool, which replaces a dead worker and waits for
    # its lost task forever, this executor notices the death and fails every
    # pending task. Shutting down joins its processes; on a failure the tasks
    # not yet started are dropped rather than run for nothing.
    executor = ProcessPoolExecutor(processes, initializer=_start_worker, initargs=(trie.to_bytes(),))
    try:
        answers = list(executor.map(_answer, jobs))
    except BrokenProcessPool as e:
        raise BrokenProcessPool(
            "fuzzy_match_many: a worker process died (killed, or out of memory); "
            "the batch was abandoned"
        ) from e
    finally:
        executor.shutdown(wait=True, cancel_futures=True)
    results: list[list[tuple[str, int, int]]] = []
    for ok, part in answers:
        if not ok:
            raise PanicException(part)
        results.extend(part)
    return results
