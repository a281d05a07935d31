"""Columnar batches and fuzzy joins against the loop of one-query calls and
a plain merge over brute-force matches; interrupting long batches."""

import gc
import os
import signal
import subprocess
import sys
import threading

import pytest

import reference
import quorvatine
from test_package import _tasks

pa = pytest.importorskip("pyarrow")
pd = pytest.importorskip("pandas")
pl = pytest.importorskip("polars")
np = pytest.importorskip("numpy")

WORDS = {"car": 0, "cart": 1, "cat": 2, "dog": 3, "カタカナ": 4, "\U0001f600x": 5, "naïve": 6}
# Nulls, non-ASCII, astral, empty, and one longer than a string view inlines.
QUERIES = ["car", None, "cst", "", "カタカ", "\U0001f600", None, "naive", "dgo", "x" * 20, "zzzz"]
TEXTS = [q if q is not None else "" for q in QUERIES]


def _chunked(type_):
    return pa.chunked_array([pa.array(QUERIES[:4], type_), pa.array(QUERIES, type_)[4:]])


# Each input kind of the same column, null where QUERIES is.
KINDS = {
    "list": lambda: QUERIES,
    "generator": lambda: (q for q in QUERIES),
    "numpy_object": lambda: np.array(QUERIES, dtype=object),
    "numpy_masked": lambda: np.ma.masked_array(TEXTS, mask=[q is None for q in QUERIES]),
    "pandas_object": lambda: pd.Series(QUERIES, dtype=object).where(pd.notna(QUERIES), np.nan),
    "pandas_str": lambda: pd.Series(QUERIES, dtype="string[pyarrow]"),
    "pandas_arrow": lambda: pd.Series(QUERIES, dtype=pd.ArrowDtype(pa.large_string())),
    "polars": lambda: pl.Series(QUERIES),
    "arrow_array": lambda: pa.array(QUERIES),
    "arrow_chunked": lambda: _chunked(pa.string()),
    "arrow_large": lambda: _chunked(pa.large_string()),
    "arrow_view": lambda: pa.array(QUERIES, pa.string_view()),
    "arrow_dictionary": lambda: pa.array(QUERIES).dictionary_encode(),
    "capsule_only": lambda: type("C", (), {"__arrow_c_array__": pa.array(QUERIES).__arrow_c_array__})(),
}


def _expected(queries, n, max_dist):
    rows = []
    for i, q in enumerate(queries):
        found = [] if q is None else reference.suggest(WORDS, q, n, max_dist, True)
        rows += [(i, *match) for match in found] or [(i, None, None, None)]
    return rows


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("n", [1, 3])
def test_best_matches_of_every_input_kind_equal_the_loop(kind, n):
    trie = quorvatine.build(WORDS)
    matches = quorvatine.best_matches(trie, KINDS[kind](), n, 2, threads=2)
    expected = _expected(QUERIES, n, 2)
    assert matches.to_pylist() == expected
    names = ("row", "key", "payload", "distance")
    assert [tuple(r.values()) for r in pa.table(matches).to_pylist()] == expected
    assert pl.DataFrame(matches).rows() == expected
    assert pa.record_batch(matches).schema.names == list(names)
    columns = matches.to_numpy()
    assert [columns[name].tolist() for name in names] == [list(c) for c in zip(*expected)]
    if kind == "numpy_masked":  # the unicode buffer is read in place when nothing is masked
        plain = quorvatine.best_matches(trie, np.array(TEXTS), n, 2)
        assert plain.to_pylist() == _expected(TEXTS, n, 2)


@pytest.mark.own_process
def test_a_list_column_imports_no_columnar_library():
    code = (
        "import sys, quorvatine; m = quorvatine.best_matches(quorvatine.build(['ab']), ['ab', None]);"
        "assert m.to_pylist() == [(0, 'ab', 0, 0), (1, None, None, None)];"
        "print(sorted({'numpy', 'pandas', 'polars', 'pyarrow', 'dask'} & set(sys.modules)))"
    )
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert run.stdout == "[]\n"


def test_exported_columns_outlive_the_answer():
    matches = quorvatine.best_matches(quorvatine.build(WORDS), QUERIES)
    keys, table = pa.array(matches.key), pa.table(matches)
    del matches
    gc.collect()
    assert keys.to_pylist() == [row[1] for row in _expected(QUERIES, 1, 2)]
    assert table.column("distance").to_pylist() == [row[3] for row in _expected(QUERIES, 1, 2)]


def _arrow_strings(offsets, data):
    return pa.Array.from_buffers(
        pa.string(), len(offsets) - 1, [None, pa.py_buffer(np.array(offsets, np.int32)), pa.py_buffer(data)]
    )


@pytest.mark.parametrize(
    "queries, error, message",
    [
        (["car", "dog", 3], TypeError, "^row 2 of the queries is int, not a str$"),
        (pd.Series(["car", 7.5]), TypeError, "^row 1 of the queries is float, not a str$"),
        (["car", "\ud800"], ValueError, "^row 1 of the queries is not text"),
        (_arrow_strings([0, 1, 3], b"a\xff\xfe"), ValueError, "^row 1 of the queries is not valid UTF-8$"),
        (_arrow_strings([0, 2, 1], b"abc"), ValueError, "malformed Arrow array: offsets that decrease"),
        (pa.array([1, 2]), TypeError, "an Arrow column of type 'l', not of strings"),
        (pa.table({"a": ["x"]}), TypeError, "an Arrow column of type '\\+s', not of strings"),
        ("car", TypeError, "^queries must be a column of str, not str$"),
        (b"car", TypeError, "^queries must be a column of str, not bytes$"),
    ],
)
def test_bad_rows_and_columns_are_refused(queries, error, message):
    with pytest.raises(error, match=message):
        quorvatine.best_matches(quorvatine.build(WORDS), queries, threads=2)


INTERRUPTIBLE = {
    "fuzzy_match_many": lambda trie, qs, progress: quorvatine.fuzzy_match_many(trie, qs, 3, progress=progress),
    "suggest_many": lambda trie, qs, progress: quorvatine.suggest_many(trie, qs, 1, 3, progress=progress),
    "complete_many": lambda trie, qs, progress: quorvatine.complete_many(trie, qs, 1, 3, progress=progress),
    "best_matches": lambda trie, qs, progress: quorvatine.best_matches(trie, qs, 1, 3, progress=progress),
}


@pytest.fixture(scope="module")
def long_batch():
    words = [f"{a}{b}{c}{d}" for a in "abcdefgh" for b in "aeiou" for c in "lmnrst" for d in "xyzw"]
    return quorvatine.build(words), [w[::-1] + "q" for w in words] * 60


@pytest.fixture
def sigint_raises():
    """Ctrl-C raising KeyboardInterrupt, as in an interactive session: a
    process started in the background inherits SIGINT ignored."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


@pytest.mark.parametrize("call", INTERRUPTIBLE)
def test_a_signal_stops_a_batch_and_leaves_no_thread(call, long_batch, sigint_raises):
    trie, queries = long_batch
    before = threading.active_count(), _tasks()
    seen = []

    def progress(done, total):
        # The first report sends Ctrl-C: the batch stops at once.
        seen.append((done, total))
        if len(seen) == 1:
            os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        INTERRUPTIBLE[call](trie, queries, progress)
    assert seen and seen[0][1] == len(queries) and seen[-1][0] < len(queries)
    assert (threading.active_count(), _tasks(before[1])) == before
    # Reports go up to the total once the batch is done.
    seen.clear()
    INTERRUPTIBLE[call](trie, queries[:5000], lambda done, total: seen.append(done))
    assert seen[-1] == 5000 and seen == sorted(seen)


def _brute_force_join(left, vocabulary, on, n, max_dist, how):
    """A plain pandas merge of `left` with every (row, match) pair the brute
    force finds."""
    rows = {word: row for row, word in reversed(list(enumerate(vocabulary)))}
    pairs = [
        (i, key, payload, distance)
        for i, q in enumerate(left[on])
        if isinstance(q, str)
        for key, payload, distance in reference.suggest(rows, q, n, max_dist, True)
    ]
    found = pd.DataFrame(pairs, columns=["_row", "match", "match_row", "distance"])
    merged = left.assign(_row=range(len(left))).merge(found, on="_row", how=how)
    return merged.drop(columns="_row")


VOCABULARY = ["Amsterdam", "Antwerpen", "Barcelona", "München", "Lisboa", "Lisbon", "Barcelona"]
LEFT = {"city": ["amsterdam", "Barcelone", None, "Muenchen", "Lisbon", "zzz", "Lisbonn"], "n": list(range(7))}


@pytest.mark.parametrize("how", ["left", "inner"])
@pytest.mark.parametrize("n", [1, 2])
@pytest.mark.parametrize("vocabulary", ["list", "series", "trie"])
def test_fuzzy_join_equals_a_merge_over_brute_force(how, n, vocabulary):
    left = pd.DataFrame(LEFT)
    given = {
        "list": VOCABULARY,
        "series": pd.Series(VOCABULARY),
        "trie": quorvatine.build(VOCABULARY),
    }[vocabulary]
    expected = _brute_force_join(left, VOCABULARY, "city", n, 2, how)
    joined = quorvatine.fuzzy_join(left, given, "city", n=n, how=how)
    ours = joined.reset_index(drop=True).astype(object).where(joined.reset_index(drop=True).notna(), None)
    theirs = expected.astype(object).where(expected.notna(), None)
    assert ours.to_dict("list") == theirs.to_dict("list")
    # polars answers the same rows
    polars = quorvatine.fuzzy_join(pl.from_pandas(left), given if vocabulary != "series" else pl.Series(VOCABULARY), "city", n=n, how=how)
    assert polars.rows() == [tuple(r) for r in theirs.itertuples(index=False)]


def test_fuzzy_join_refusals():
    left = pd.DataFrame(LEFT)
    with pytest.raises(ValueError, match="how must be"):
        quorvatine.fuzzy_join(left, VOCABULARY, "city", how="outer")
    with pytest.raises(ValueError, match="already has a column named 'match'"):
        quorvatine.fuzzy_join(left.assign(match=1), VOCABULARY, "city")
    with pytest.raises(TypeError, match="left must be"):
        quorvatine.fuzzy_join(LEFT, VOCABULARY, "city")


# One cluster, ended with this module: its threads would otherwise run on
# through the memory-counting tests of other modules.
@pytest.fixture(scope="module")
def dask_client():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.mark.own_process
def test_dask_join_on_a_cluster_equals_the_local_join(dask_client):
    dd = pytest.importorskip("dask.dataframe")
    left = dd.from_pandas(pd.DataFrame({"city": LEFT["city"] * 30, "n": range(210)}), npartitions=4)
    joined = quorvatine.fuzzy_join(left, pd.Series(VOCABULARY), "city", n=2)
    pd.testing.assert_frame_equal(joined.compute(), quorvatine.fuzzy_join(left.compute(), VOCABULARY, "city", n=2))
