// The ranked queries of quorvatine._native: suggest and complete.
#pragma once

#include <Python.h>

namespace native {

// suggest(trie, word, n, max_dist, transpositions, scores) and
// complete(trie, prefix, n, max_dist, transpositions, scores): lists of
// (key, payload, distance), best first. The package checks the arguments;
// these convert them (TypeError, OverflowError as the conversions do).
PyObject* suggest(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept;
PyObject* complete(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept;

}  // namespace native
