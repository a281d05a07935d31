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

// The interpreter lock released for this object's lifetime and taken again
// when it ends, however it ends.
class ReleasedLock {
 public:
  ReleasedLock() : state_(PyEval_SaveThread()) {}
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;
  ~ReleasedLock() { PyEval_RestoreThread(state_); }

  // Runs `work` with the lock taken again, on the thread that released it,
  // and releases it again however `work` ends.
  template <class Work>
  decltype(auto) relocked(Work&& work) {
    PyEval_RestoreThread(state_);
    struct Again {
      explicit Again(ReleasedLock& released) : lock(released) {}
      Again(const Again&) = delete;
      Again& operator=(const Again&) = delete;
      ~Again() { lock.state_ = PyEval_SaveThread(); }
      ReleasedLock& lock;
    } again(*this);
    return std::forward<Work>(work)();
  }

 private:
  PyThreadState* state_;
};

// Runs `work` with the interpreter lock released, taking it again however
// `work` ends. `work` must not touch Python objects.
template <class Work>
decltype(auto) without_lock(Work&& work) {
  const ReleasedLock released;
  return std::forward<Work>(work)();
}

}  // namespace native
