// The segmentation of texts into keys, for the package's text calls: a
// batch of texts on native threads.
#pragma once

#include <Python.h>

namespace native {

// segment_many(trie, jobs, max_dist, transpositions, costs, threads,
// pairs=None): for each job (text, boundaries, fixed[, before, after]) of
// the list `jobs`, prefix::segment of the text (a str) with its boundaries
// (a list of int), fixed pieces (a list of (start, end, cost[, payload[, written]]))
// and the payloads of the words before and after it (int or None), at
// `max_dist` and with the five costs of the tuple `costs` (per_edit,
// kept_piece, kept_per_code, split, join; two more, the log of the total of
// the trie's counts and their floor, spare a pass over the counts per call)
// and the pair costs `pairs` (a
// sorted buffer of packed unsigned 64-bit entries, see prefix::PairCosts),
// as (cost, [(start, end, kind, key, payload, distance), ...]) where kind is
// 0 for a key, 1 for a fixed piece, 2 for a piece kept as it is. Answered on
// up to `threads` native threads with the interpreter lock released. The
// package builds the jobs: malformed ones raise TypeError or ValueError
// before any walk.
PyObject* segment_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept;

}  // namespace native
