// Entry points of quorvatine._native for columnar batches: the best matches
// of a column of queries, answered as columns, and their export.
#pragma once

#include <Python.h>

namespace native {

// match_column(trie, source, nulls, n, max_dist, transpositions, scores,
// threads, progress): a capsule holding the answer (MatchColumns) of
// suggest(trie, q, n, max_dist, transpositions, scores) for each row q of
// the column `source` (read as TextColumn reads it, `nulls` marking null
// rows of a sequence), on up to `threads` native threads with the lock
// released: the matches of each row in turn, best first, or one null row
// for a row without a match or a null query. Fails with the error of the
// first failing row (ValueError "row R of the queries is not valid UTF-8",
// a score's error), or with what a signal handler or `progress` raises.
PyObject* match_column(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept;

// export_matches(answer, column): (schema capsule, array capsule) of column
// `column` (0 row, 1 key, 2 payload, 3 distance; -1 all four as a struct),
// sharing the answer's memory until the consumer releases them.
PyObject* export_matches(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept;

// export_match_stream(answer): an "arrow_array_stream" capsule of one
// struct array of the four columns.
PyObject* export_match_stream(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept;

// match_values(answer, column): the bytes of column 0, 2 or 3's values
// (int64, uint32, int64, native order), of 4: one byte per row, 1 where the
// row has a match; match_keys(answer): the keys as a list of str and None.
PyObject* match_values(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept;
PyObject* match_keys(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

}  // namespace native
