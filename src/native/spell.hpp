// The spelling ranker of quorvatine._native: its sound index, held in a
// capsule, and the ranked corrections of one word or a batch.
#pragma once

#include <Python.h>

namespace native {

// spell_index(trie, counts): a capsule holding the prefix::SpellIndex of the
// trie's keys (folded, and by sound code) with `counts` (None or a buffer as
// spell takes), made with the interpreter lock released. PanicException when
// the trie's arrays are not a tree.
PyObject* spell_index(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept;

// sound_code(word): the sound code of `word` folded to lower case, as a str.
PyObject* sound_code(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

// spell(trie, index, word, n, max_dist, fold, counts): a list of (key,
// payload, distance, cost), best first (prefix::spell). `index` is
// spell_index(trie, ...)'s capsule, `max_dist` an int or None, `counts` a
// buffer of unsigned 64-bit integers (format 'Q'), indexed by payload, or
// None for the counts the index was made with.
// spell_many(trie, index, words, n, max_dist, fold, counts, threads,
// progress): the list of spell's lists for a list or tuple of words, on
// native threads with the lock released, failing as the loop would first
// fail, or with what a signal handler or `progress` raises (as
// fuzzy_match_many).
PyObject* spell(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept;
PyObject* spell_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

}  // namespace native
