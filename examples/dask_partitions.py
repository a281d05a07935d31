"""Fuzzy lookups over the partitions of a Dask bag: the trie travels to each
worker by pickling (through its byte form), and each partition is answered
there in one batch.

    pip install "dask[bag]"
    python examples/dask_partitions.py

Dask is not a dependency of quorvatine; this example needs it installed.
"""

import sys

try:
    import dask.bag
except ImportError:
    sys.exit('This example needs Dask: pip install "dask[bag]"')

import quorvatine

WORDS = ["apple", "apply", "ample", "maple", "angle", "ankle", "uncle", "simple"]
QUERIES = ["appel", "aple", "ankel", "simpel", "mapel", "xyz"] * 50


def answer_partition(queries, trie):
    # One partition on one worker: processes=1 keeps the batch in that worker.
    queries = list(queries)
    return list(zip(queries, quorvatine.fuzzy_match_many(trie, queries, 2, processes=1)))


def main():
    trie = quorvatine.build(WORDS)
    bag = dask.bag.from_sequence(QUERIES, npartitions=4)
    results = bag.map_partitions(answer_partition, trie).compute(scheduler="processes")
    found = dict(results)
    for query in sorted(found):
        print(f"{query}: {[word for word, _, _ in found[query]]}")


if __name__ == "__main__":
    main()
