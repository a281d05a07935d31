// The segmentation of texts into keys, for the package's text calls: a
// batch of texts on native threads.
#pragma once

#include <Python.h>

namespace native {

// segment_many(trie, jobs, max_dist, transpositions, costs, threads): for
// each job (text, boundaries, fixed) of the list `jobs`, prefix::segment of
// the text (a str) with its boundaries (a list of int) and fixed pieces (a
// list of (start, end, cost)), at `max_dist` and with the five costs of the
// tuple `costs` (per_edit, kept_piece, kept_per_code, split, join), as
// (cost, [(start, end, kind, key, payload, distance), ...]) where kind is
// 0 for a key, 1 for a fixed piece, 2 for a piece kept as it is. Answered on
// up to `threads` native threads with the interpreter lock released. The
// package builds the jobs: malformed ones raise TypeError or ValueError
// before any walk.
PyObject* segment_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept;

}  // namespace native
