"""Fuzzy joins: each row of a pandas, polars or Dask DataFrame matched by one
of its columns to the nearest entries of a vocabulary.

Each library is imported only when a frame of it is joined.
"""

from __future__ import annotations

import importlib
from collections.abc import Iterable
from typing import Any, Optional

from _quorvatine import PrefixSearch

from .builder import build
from .columns import Matches, _source_of, best_matches
from .progress import Progress

JOINED = ("match", "match_row", "distance")


def fuzzy_join(
    left: Any,
    vocabulary: Any,
    on: str,
    *,
    max_dist: int = 2,
    n: int = 1,
    how: str = "left",
    transpositions: bool = True,
    threads: Optional[int] = None,
    progress: Progress = None,
) -> Any:
    """The rows of `left` (a pandas, polars or Dask DataFrame) with the
    entries of `vocabulary` nearest to their column `on`, as a frame of the
    same kind: the columns of `left`, then ``match`` (the matched entry),
    ``match_row`` (its row in the vocabulary) and ``distance``.

    `vocabulary` is a sequence of str (a row's entry is its position; a
    repeated entry keeps its first row), a column of another frame (a
    pandas or polars Series; null rows are left out), or a trie whose
    payloads are the rows. Each left row gets up to `n` rows, nearest first,
    ranked as `suggest` ranks (ties by row, then by entry), within
    `max_dist` edits (with `transpositions`, an adjacent swap is one);
    ``how="left"`` keeps a row without a match (or with a null in `on`) once,
    with nulls in the three columns, ``how="inner"`` drops it. pandas rows
    keep their index labels (repeated for n > 1).

    The lookups are `best_matches`' (native threads, `threads`, `progress`,
    Ctrl-C). A Dask DataFrame is joined partition by partition on its
    workers: with a ``dask.distributed`` client the trie is scattered to
    every worker once, and each partition is answered by the native batch
    on that worker's threads; the result is a lazy Dask DataFrame."""
    if how not in ("left", "inner"):
        raise ValueError(f"how must be 'left' or 'inner', not {how!r}")
    trie = vocabulary if isinstance(vocabulary, PrefixSearch) else _vocabulary_trie(vocabulary)
    options: dict[str, Any] = dict(
        max_dist=max_dist, n=n, how=how, transpositions=transpositions, threads=threads
    )
    module = type(left).__module__.partition(".")[0]
    if module == "dask":
        return _dask_join(left, trie, on, options)
    return _join_frame(left, trie, on, progress=progress, **options)


def _vocabulary_trie(vocabulary: Any) -> PrefixSearch:
    """The trie of a vocabulary, each entry's payload its first row."""
    if isinstance(vocabulary, (str, bytes, bytearray)):
        raise TypeError(f"vocabulary must be a sequence of str, not {type(vocabulary).__name__}")
    module = type(vocabulary).__module__.partition(".")[0]
    if module not in ("pandas", "polars"):
        return build(vocabulary if isinstance(vocabulary, (list, tuple)) else list(vocabulary))
    entries = vocabulary.to_list()
    if module == "pandas":
        nulls: Iterable[bool] = vocabulary.isna().to_list()
    else:
        nulls = (entry is None for entry in entries)
    rows: dict[str, int] = {}
    for row, (entry, null) in enumerate(zip(entries, nulls)):
        if not null:
            rows.setdefault(entry, row)
    return build(rows)


def _join_frame(left: Any, trie: PrefixSearch, on: str, *, max_dist: int, n: int, how: str,
                transpositions: bool, threads: Optional[int], progress: Progress) -> Any:
    module = type(left).__module__.partition(".")[0]
    if module not in ("pandas", "polars") or not hasattr(left, "columns"):
        raise TypeError(f"left must be a pandas, polars or Dask DataFrame, not {type(left).__name__}")
    taken = [name for name in JOINED if name in left.columns]
    if taken:
        raise ValueError(f"left already has a column named {taken[0]!r}")
    if on not in left.columns:
        raise KeyError(on)
    matches = best_matches(
        trie, left[on], n, max_dist, transpositions=transpositions, threads=threads, progress=progress
    )
    if module == "pandas":
        return _pandas_result(left, matches, how)
    return _polars_result(left, matches, how)


def _pandas_result(left: Any, matches: Matches, how: str) -> Any:
    import numpy as np
    import pandas as pd

    columns = matches.to_numpy()
    found = ~np.ma.getmaskarray(columns["payload"])
    kept = found if how == "inner" else np.ones(len(found), dtype=bool)
    joined = left.iloc[columns["row"][kept]]
    missing = ~found[kept]
    extra = pd.DataFrame(
        {
            "match": _pandas_keys(matches, kept),
            "match_row": pd.arrays.IntegerArray(
                np.ma.getdata(columns["payload"])[kept].astype(np.int64), missing
            ),
            "distance": pd.arrays.IntegerArray(
                np.ma.getdata(columns["distance"])[kept], missing.copy()
            ),
        },
        index=joined.index,
    )
    return pd.concat([joined, extra], axis=1)


def _pandas_keys(matches: Matches, kept: Any) -> Any:
    """The key column for pandas: Arrow-backed strings when pyarrow is there,
    objects otherwise."""
    import pandas as pd

    try:
        import pyarrow as pa
    except ImportError:
        return matches.key.to_numpy()[kept]
    keys = pa.array(matches.key).filter(pa.array(kept))
    return pd.arrays.ArrowStringArray(pa.chunked_array([keys], type=pa.large_string()))


def _polars_result(left: Any, matches: Matches, how: str) -> Any:
    import polars as pl

    found = pl.DataFrame(matches)
    if how == "inner":
        found = found.filter(pl.col("key").is_not_null())
    joined = left[found["row"]] if len(found) else left.clear()
    extra = found.select(
        pl.col("key").alias("match"),
        pl.col("payload").cast(pl.Int64).alias("match_row"),
        pl.col("distance"),
    )
    return joined.hstack(extra)


def _dask_join(left: Any, trie: PrefixSearch, on: str, options: dict[str, Any]) -> Any:
    try:
        client = importlib.import_module("distributed").default_client()
    except (ImportError, ValueError):  # no distributed, or no client
        client = None
    # Every worker gets the trie once, not every task: with a mapped trie
    # that pickles by reference to its file, that is the file's name.
    index = client.scatter(trie, broadcast=True, hash=False) if client is not None else trie
    meta = _join_frame(left._meta, trie, on, progress=None, **options)
    return left.map_partitions(_join_frame, index, on, meta=meta, progress=None, **options)
