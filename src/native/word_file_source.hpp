// Word-list files read from disk into the core's reader, with the lock released.
#pragma once

#include <Python.h>

#include "prefix/store/word_file.hpp"

namespace native {

// The words of the word-list file at `path` (a bytes path), read in chunks
// with the interpreter lock released, so no more than one chunk and one line
// in progress is held besides the words; sorted as well. Throws
// binding::Error: the interpreter's OSError (naming `name`) when the file
// cannot be opened or read; a ValueError "<name>:<line>: <why>" for the
// first bad line (prefix::WordFileReader says which lines are refused).
[[nodiscard]] prefix::WordFile read_word_file(PyObject* path, PyObject* name);

}  // namespace native
