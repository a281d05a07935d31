"""Columnar batches: the best matches of a whole column of queries, read
from Arrow, pandas, polars, numpy or a plain sequence, and answered as
columns that Arrow-aware libraries take without a Python object per row.

No columnar library is imported here: an integration's library is used only
when the caller hands over one of its objects.
"""

from __future__ import annotations

from array import array
from collections.abc import Iterable
from typing import TYPE_CHECKING, Any, Optional, Union

from _quorvatine import PrefixSearch

from . import _native
from .parallel import _thread_count
from .progress import Progress, callback_of
from .ranked import Scores, _check

if TYPE_CHECKING:
    import numpy

COLUMNS = ("row", "key", "payload", "distance")
# The Python array codes of the numeric columns' values.
_CODES = {"row": "q", "payload": "I", "distance": "q"}


class MatchColumn:
    """One column of a `Matches`: an Arrow array (``__arrow_c_array__``),
    or values through `to_numpy` and `to_pylist`."""

    def __init__(self, matches: "Matches", name: str) -> None:
        self._matches = matches
        self.name = name

    def __len__(self) -> int:
        return len(self._matches)

    def __repr__(self) -> str:
        return f"<quorvatine.MatchColumn {self.name!r} of {len(self)} rows>"

    def __arrow_c_array__(self, requested_schema: object = None) -> tuple[object, object]:
        """The column as Arrow (schema, array) capsules; `requested_schema`
        is not honoured (the column keeps its type)."""
        return _native.export_matches(self._matches._answer, COLUMNS.index(self.name))

    def to_pylist(self) -> list[Any]:
        """The values as a list, None on rows without a match (except `row`)."""
        answer = self._matches._answer
        if self.name == "key":
            return _native.match_keys(answer)
        values = array(_CODES[self.name], _native.match_values(answer, COLUMNS.index(self.name)))
        if self.name == "row":
            return values.tolist()
        found = _native.match_values(answer, 4)
        return [v if f else None for v, f in zip(values, found)]

    def to_numpy(self) -> "numpy.ndarray[Any, Any]":
        """The values as a numpy array: int64 rows; keys as objects (None
        where there is no match); payloads (uint32) and distances (int64)
        as masked arrays, masked where there is no match."""
        import numpy as np

        answer = self._matches._answer
        if self.name == "key":
            return np.array(_native.match_keys(answer), dtype=object)
        dtype = {"row": np.int64, "payload": np.uint32, "distance": np.int64}[self.name]
        values = np.frombuffer(_native.match_values(answer, COLUMNS.index(self.name)), dtype=dtype)
        if self.name == "row":
            return values
        found = np.frombuffer(_native.match_values(answer, 4), dtype=np.bool_)
        return np.ma.masked_array(values, mask=~found)


class Matches:
    """The answer of `best_matches`: for each query in turn its matches,
    best first, one row each, or a single row of nulls when it has none (or
    is null). Columns: ``row`` (the query's row, int64), ``key`` (large
    string), ``payload`` (uint32) and ``distance`` (int64).

    ``pyarrow.table(m)``, ``polars.DataFrame(m)``, ``duckdb.sql("... from
    m")`` read it through ``__arrow_c_stream__`` (or ``__arrow_c_array__``,
    as one struct array) without copying; ``m.key`` and the other columns
    export themselves alone, and ``to_numpy`` gives numpy arrays."""

    def __init__(self, answer: object) -> None:
        self._answer = answer
        self._length = len(_native.match_values(answer, 4))

    def __len__(self) -> int:
        return self._length

    def __repr__(self) -> str:
        return f"<quorvatine.Matches of {len(self)} rows: {', '.join(COLUMNS)}>"

    def __getitem__(self, name: str) -> MatchColumn:
        """The column called `name`: "row", "key", "payload" or "distance"."""
        if name not in COLUMNS:
            raise KeyError(name)
        return MatchColumn(self, name)

    @property
    def row(self) -> MatchColumn:
        """The query's row of each answer row (int64, never null)."""
        return self["row"]

    @property
    def key(self) -> MatchColumn:
        """The matched keys (large_string; null where there is no match)."""
        return self["key"]

    @property
    def payload(self) -> MatchColumn:
        """The matched keys' payloads (uint32; null where there is no match)."""
        return self["payload"]

    @property
    def distance(self) -> MatchColumn:
        """The matched keys' distances (int64; null where there is no match)."""
        return self["distance"]

    def __arrow_c_array__(self, requested_schema: object = None) -> tuple[object, object]:
        """The four columns as one Arrow struct array: (schema, array) capsules."""
        return _native.export_matches(self._answer, -1)

    def __arrow_c_stream__(self, requested_schema: object = None) -> object:
        """The four columns as an Arrow stream of one struct array."""
        return _native.export_match_stream(self._answer)

    def to_numpy(self) -> dict[str, "numpy.ndarray[Any, Any]"]:
        """Each column's `to_numpy`, by name."""
        return {name: self[name].to_numpy() for name in COLUMNS}

    def to_pylist(self) -> list[tuple[int, Optional[str], Optional[int], Optional[int]]]:
        """The rows as (row, key, payload, distance) tuples."""
        return list(zip(*(self[name].to_pylist() for name in COLUMNS)))


Queries = Union[Iterable[Optional[str]], Any]


def best_matches(
    trie: PrefixSearch,
    queries: Queries,
    n: int = 1,
    max_dist: int = 2,
    *,
    transpositions: bool = True,
    scores: Optional[Scores] = None,
    threads: int | None = None,
    progress: Progress = None,
) -> Matches:
    """The `n` best keys for each query of a column, ranked as `suggest`
    ranks them (``suggest(trie, q, n, max_dist, ...)`` for each query q), as
    a `Matches` of columns: each query's matches in turn, best first, or one
    row of nulls for a query without a match or a null query.

    `queries` is a pyarrow Array or ChunkedArray, a polars or pandas Series,
    any object offering ``__arrow_c_stream__`` or ``__arrow_c_array__`` (read
    in native code without a Python object per row: strings, large strings,
    string views and dictionaries of them), a numpy array, or any other
    iterable of str and None. Nulls (None; in pandas, whatever ``isna``
    marks) give null answers. A bare str or bytes is refused (TypeError), a
    row that is not a str raises TypeError naming it, and one that is not
    text (a lone surrogate, invalid UTF-8 in Arrow data) ValueError naming it.

    Runs on up to `threads` native threads (default: every core this process
    may use) with the interpreter lock released. `progress` is None, True
    (a bar on standard error, if it is a terminal, for a batch that runs
    over a second) or a callable taking (done, total), called about every
    25 ms from the calling thread. A pending signal (Ctrl-C) stops the batch
    within about as long: its handler's exception (KeyboardInterrupt) is
    raised once every thread has stopped, as is anything `progress` raises."""
    _check(trie, "", "queries", n, max_dist, scores)
    count = _thread_count(threads, "threads")
    source, nulls = _source_of(queries)
    answer = _native.match_column(
        trie, source, nulls, n, max_dist, bool(transpositions), scores, count, callback_of(progress)
    )
    return Matches(answer)


def _source_of(queries: Queries) -> tuple[object, object]:
    """What the native reader takes for `queries`, and the null marks of a
    sequence (None when None alone marks nulls)."""
    if isinstance(queries, (str, bytes, bytearray)):
        raise TypeError(f"queries must be a column of str, not {type(queries).__name__}")
    module = type(queries).__module__.partition(".")[0]
    if module == "pandas" and hasattr(queries, "isna"):
        return _pandas_source(queries)
    if module == "numpy" and hasattr(queries, "dtype"):
        return _numpy_source(queries)
    if hasattr(queries, "__arrow_c_stream__"):
        return queries.__arrow_c_stream__(), None
    if hasattr(queries, "__arrow_c_array__"):
        return tuple(queries.__arrow_c_array__()), None
    if type(queries) is list or type(queries) is tuple:
        return queries, None
    return list(queries), None


def _pandas_source(series: Any) -> tuple[object, object]:
    dtype = series.dtype
    arrow_backed = getattr(dtype, "storage", None) == "pyarrow" or type(dtype).__name__ == "ArrowDtype"
    if arrow_backed and hasattr(series, "__arrow_c_stream__"):
        return series.__arrow_c_stream__(), None
    return series.to_numpy(dtype=object).tolist(), series.isna().to_numpy()


def _numpy_source(values: Any) -> tuple[object, object]:
    if values.ndim != 1:
        raise TypeError(f"queries must be a column: a numpy array of {values.ndim} dimensions")
    import numpy as np  # already imported by whoever made `values`

    nulls = None
    if isinstance(values, np.ma.MaskedArray):  # its masked rows are nulls
        nulls = np.ma.getmaskarray(values)
        values = values.data
    if values.dtype.kind == "U" and nulls is None:
        return np.ascontiguousarray(values), None
    return values.tolist(), nulls
