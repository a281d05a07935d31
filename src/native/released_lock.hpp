// The interpreter lock released around work that touches no Python object,
// and taken again in between when such work must hand results over.
#pragma once

#include <Python.h>

#include <utility>

namespace native {

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
