// Entry points of quorvatine._native for index images: mapping a file,
// reading an image from bytes, writing one, the file a trie is mapped from,
// and the key counts kept with a trie.
#pragma once

#include <Python.h>

namespace native {

// map_file(fd, name): a PrefixSearch reading the index file open on `fd`
// in place (mapped read-only and shared; the descriptor may be closed
// afterwards). Raises ValueError with the reason when the bytes are not an
// index image parse_image accepts (or its byte form does not decode),
// OSError naming `name` when the file cannot be mapped.
PyObject* map_file(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept;

// from_image(data): the PrefixSearch of an index image held in a bytes-like
// object, copied into memory; ValueError as map_file.
PyObject* from_image(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

// image(trie): the index image of `trie` with its key counts, as bytes.
PyObject* image(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept;

// file_reference(trie): (path, size, checksum, counts_in_file) of the file
// `trie` is mapped from, or None for a trie held in memory.
PyObject* file_reference(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept;

// form(trie): how `trie` is kept: "shared", "compact" or "arrays".
PyObject* form(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames) noexcept;

// key_counts(trie): a read-only memoryview of the trie's counts per payload
// (format 'Q'), which keeps the trie alive, or None.
PyObject* key_counts(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

// with_key_counts(trie, counts): a new PrefixSearch sharing `trie`'s data
// with `counts` (a buffer of unsigned 64-bit numbers or a sequence of ints
// from 0 to 2**64 - 1, at least one per payload the trie holds) attached.
PyObject* with_key_counts(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept;

}  // namespace native
