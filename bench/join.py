"""Fuzzy joins at data scale: a column of messy strings against
wamerican-insane (663,473 words), best match at max_dist 2.

    .venv-bench/bin/python bench/join.py [QUERIES]     (default 1,000,000)

Side by side in one run, answers compared:
- `best_matches` from an Arrow column to an Arrow result, against
  `suggest_many(n=1)` (lists of tuples), both on every core;
- rapidfuzz `process.cdist(..., scorer=Levenshtein.distance, score_cutoff=2,
  workers=-1)` on a sample, its best distance per query against ours;
- what the columnar path costs per row over the walk: both paths on one
  thread over words that are keys at max_dist 0, where the walk follows one
  path, so that the rest is the path's own cost;
- `fuzzy_join` of a pandas frame locally and of the same frame as a Dask
  DataFrame on a 2-worker LocalCluster, results compared;
- how long Ctrl-C takes to stop a batch of QUERIES queries.

Queries are words with 0 to 2 random edits (fixed seed, drawn with
repetition). Timings are single runs: a run of a million queries is long
enough that the machine's noise shows in the ratios, not in one of them.
The batches' CPU time (all threads) is printed beside their wall time: on a
shared machine it tells what a batch cost, whatever share of the cores it
got.
"""

from __future__ import annotations

import os
import random
import signal
import sys
import threading
import time

import numpy as np
import pandas as pd
import pyarrow as pa
from rapidfuzz import process
from rapidfuzz.distance import Levenshtein

import quorvatine
import wordlists

PEER_QUERIES = 200  # cdist's matrix holds a cell per query and word
DASK_QUERIES = 100_000
OVERHEAD_QUERIES = 300_000


def timed(call):
    start = time.perf_counter()
    result = call()
    return time.perf_counter() - start, result


def timed_cpu(call):
    """Wall and CPU seconds (all the process's threads) of `call`, and its result."""
    cpu = time.process_time()
    spent, result = timed(call)
    return spent, time.process_time() - cpu, result


def messy(words: list[str], count: int) -> list[str]:
    """`count` words with 0 to 2 random edits, drawn with repetition."""
    rng = random.Random(26)
    pool = wordlists.edited_words(words, min(count, len(words)))
    return [rng.choice(pool) for _ in range(count)] if count > len(pool) else pool


def main() -> None:
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    words = wordlists.load_dictionary("wamerican-insane").words
    trie = quorvatine.build(words)
    queries = messy(words, count)
    column = pa.array(queries, pa.large_string())
    print(f"{count:,} queries (0 to 2 random edits) against wamerican-insane ({len(words):,} words), "
          f"max_dist 2, best match, Levenshtein, {len(os.sched_getaffinity(0))} cores")

    columnar_s, columnar_cpu, matches = timed_cpu(
        lambda: pa.table(quorvatine.best_matches(trie, column, 1, 2, transpositions=False)))
    lists_s, lists_cpu, lists = timed_cpu(lambda: quorvatine.suggest_many(trie, queries, 1, 2, transpositions=False))
    keys = matches.column("key").to_pylist()
    assert keys == [found[0][0] if found else None for found in lists], "best_matches differs from suggest_many"
    print(f"  best_matches, Arrow in and out: {columnar_s:7.1f} s ({count / columnar_s:,.0f} queries/s; "
          f"CPU {columnar_cpu:.1f} s, load average {os.getloadavg()[0]:.1f})")
    print(f"  suggest_many(n=1), lists:       {lists_s:7.1f} s ({lists_s / columnar_s:.2f}x the columnar time; "
          f"CPU {lists_cpu:.1f} s)")
    print(f"  found a word for {sum(k is not None for k in keys) / count:.1%} of the queries")

    sample = queries[:PEER_QUERIES]
    peer_s, matrix = timed(lambda: process.cdist(
        sample, words, scorer=Levenshtein.distance, score_cutoff=2, workers=-1, dtype=np.uint8))
    ours_s, ours = timed(lambda: pa.table(quorvatine.best_matches(trie, sample, 1, 2, transpositions=False)))
    best = matrix.min(axis=1)
    distances = ours.column("distance").to_pylist()
    for q, d, b in zip(sample, distances, best):
        assert (d if d is not None else 3) == min(int(b), 3), f"best distance differs for {q!r}"
    print(f"  rapidfuzz cdist on {PEER_QUERIES} of them: {peer_s:.2f} s, best_matches {ours_s:.3f} s "
          f"({peer_s / ours_s:.0f}x; {PEER_QUERIES / peer_s:,.0f} against {PEER_QUERIES / ours_s:,.0f} queries/s; "
          f"per query at the full run's speed: {peer_s / PEER_QUERIES / (columnar_s / count):.0f}x), best distances equal")

    rng = random.Random(1)
    keys_only = [rng.choice(words) for _ in range(OVERHEAD_QUERIES)]
    exact = pa.array(keys_only)
    # n=0 asks for nothing: no walk runs, the rest of the columnar path does.
    bare_s, _ = timed(lambda: pa.table(quorvatine.best_matches(trie, exact, 0, 0, threads=1)))
    col_s, _ = timed(lambda: pa.table(quorvatine.best_matches(trie, exact, 1, 0, threads=1)))
    list_s, _ = timed(lambda: quorvatine.suggest_many(trie, keys_only, 1, 0, threads=1))
    per_row = 1e6 / OVERHEAD_QUERIES
    print(f"  per row on one thread, {OVERHEAD_QUERIES:,} words that are keys: the columnar path without a walk "
          f"(n=0) {bare_s * per_row:.2f} us; with the one-path walk of max_dist 0: columnar "
          f"{col_s * per_row:.2f} us, lists of tuples {list_s * per_row:.2f} us")

    dask_join(trie, queries[:DASK_QUERIES])
    interrupt(trie, queries)


def dask_join(trie: quorvatine.PrefixSearch, queries: list[str]) -> None:
    import dask.dataframe as dd
    from distributed import Client, LocalCluster

    frame = pd.DataFrame({"name": queries, "id": range(len(queries))})
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, Client(cluster):
        lazy = dd.from_pandas(frame, npartitions=8)
        local_s, local = timed(lambda: quorvatine.fuzzy_join(lazy.compute(), trie, "name", transpositions=False))
        dask_s, remote = timed(lambda: quorvatine.fuzzy_join(lazy, trie, "name", transpositions=False).compute())
    pd.testing.assert_frame_equal(remote, local)
    print(f"  fuzzy_join of {len(queries):,} rows: local {local_s:.1f} s, Dask on a 2-worker LocalCluster "
          f"{dask_s:.1f} s, equal")


def interrupt(trie: quorvatine.PrefixSearch, queries: list[str]) -> None:
    sent: list[float] = []

    def fire() -> None:
        time.sleep(2.0)
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    tasks = len(os.listdir("/proc/self/task"))  # threads of the process, native ones too
    firing = threading.Thread(target=fire)
    firing.start()
    try:
        quorvatine.best_matches(trie, queries, 1, 2)
        print("  Ctrl-C: the batch ended before the signal")
    except KeyboardInterrupt:
        stopped = time.monotonic() - sent[0]
        firing.join()
        print(f"  Ctrl-C during a batch of {len(queries):,}: stopped {stopped:.3f} s later; "
              f"threads of the process before and after: {tasks}, {len(os.listdir('/proc/self/task'))}")


if __name__ == "__main__":
    main()
