// The words of texts a dictionary does not hold as written, found in one
// pass over each text: the hot part of checking a text.
#pragma once

#include <Python.h>

namespace native {

// unwritten_words(trie, texts): for each str of the list `texts`, the
// (start, end) character offsets of its words that `trie` does not hold as
// written, in order. A word is a run of word characters (str.isalnum() or
// `_`) joined by single apostrophes (' or U+2019) or dots, as the regular
// expression \w+(?:['\u2019.]\w+)* finds them, whose characters are all
// letters (word characters that are neither decimal digits nor `_`) and
// which has no dot; the same characters Python's re module classifies so.
// Runs with the lock held, reading each str in place: linear in the texts'
// length, one exact lookup per word. Raises TypeError for a texts argument
// that is not a list of str, PanicException when the trie's arrays cannot
// be walked.
PyObject* unwritten_words(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept;

// text_words(trie, texts): for each str of the list `texts`, every word (as
// unwritten_words finds them) as (start, end, payload), the payload of the
// word as written, None when the trie does not hold it so. Costs and
// failures as unwritten_words'.
PyObject* text_words(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

}  // namespace native
