// The ranked queries of quorvatine._native: suggest and complete, one query
// or a batch on native threads.
#pragma once

#include <Python.h>

namespace native {

// suggest(trie, word, n, max_dist, transpositions, scores, fold) and
// complete(trie, prefix, n, max_dist, transpositions, scores, fold): lists of
// (key, payload, distance), best first; with `fold` true, case is ignored
// (prefix::RankedQuery::fold). The package checks the arguments; these
// convert them (TypeError, OverflowError as the conversions do).
PyObject* suggest(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept;
PyObject* complete(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept;

// suggest_many(trie, words, n, max_dist, transpositions, scores, threads,
// progress, fold) and complete_many(trie, prefixes, ...): a list with the one-query call's list
// for each str of the list or tuple of queries, in order, answered on up to
// `threads` (at least 1) native threads with the interpreter lock released.
// `scores` is read whole before the walks; an unusable entry fails only a
// query that reads it, as in the one-query call. Fails as the loop of
// one-query calls would first fail, except where reading `scores` raises,
// or with what a signal handler or `progress` raises (as fuzzy_match_many).
PyObject* suggest_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept;
PyObject* complete_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept;

}  // namespace native
