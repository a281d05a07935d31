"""A fuzzy join on a Dask cluster: the trie is scattered to each worker
once, and every partition is answered there by the native batch.

    pip install "dask[distributed]" pandas
    python examples/dask_join.py

Dask is not a dependency of quorvatine; this example needs it installed. It
starts a local cluster of two worker processes; with a cluster of your own,
make a Client for it instead.
"""

import sys

try:
    import dask.dataframe as dd
    import pandas as pd
    from distributed import Client, LocalCluster
except ImportError:
    sys.exit('This example needs Dask and pandas: pip install "dask[distributed]" pandas')

import quorvatine

WORDS = ["apple", "apply", "ample", "maple", "angle", "ankle", "uncle", "simple"]
QUERIES = ["appel", "aple", "ankel", "simpel", "mapel", "xyz"] * 50


def main():
    trie = quorvatine.build(WORDS)
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, Client(cluster):
        queries = dd.from_pandas(pd.DataFrame({"word": QUERIES}), npartitions=4)
        joined = quorvatine.fuzzy_join(queries, trie, "word", n=2).compute()
    for word, found in joined.groupby("word", sort=True):
        print(f"{word}: {found['match'].dropna().unique().tolist()}")


if __name__ == "__main__":
    main()
