// Entry points of quorvatine._native that read an existing PrefixSearch: the
// threaded batch of fuzzy queries, and the keys of the trie.
#pragma once

#include <Python.h>

namespace native {

// fuzzy_match_many(trie, queries, max_dist, limit, threads, progress): a
// list with trie.fuzzy_match(q, max_dist, limit) for each q of the list or
// tuple `queries`, in order, answered on up to `threads` (at least 1) native
// threads with the interpreter lock released. Fails as the loop of one-query
// calls would first fail, or with what a signal handler or `progress` (None
// or a callable taking (done, total)) raises; both are called about every
// 25 ms on the calling thread.
PyObject* fuzzy_match_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept;

// items(trie): every stored key with its payload, as (str, int) pairs in
// stored pre-order: what trie.fuzzy_match("", d, None) finds for a d beyond
// every key's depth, the PanicException of that walk included.
PyObject* items(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept;

// key_count(trie): len(items(trie)), without building the pairs.
PyObject* key_count(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept;

}  // namespace native
