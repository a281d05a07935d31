// What a long batch does on the calling thread between its queries: it
// honours pending signals (Ctrl-C) and reports its progress.
#pragma once

#include <Python.h>

#include <cstddef>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "native/released_lock.hpp"

namespace native {

class BatchProgress {
 public:
  // `progress` is None or a callable that takes (done, total), two ints.
  BatchProgress(PyObject* progress, std::size_t total)
      : progress_(progress == Py_None ? binding::Ref() : binding::Ref::borrow(progress)),
        total_(total) {}

  // With the lock held: runs the handlers of pending signals, then calls
  // progress(done, total) when `done` moved since the last call. What
  // either raises is thrown (KeyboardInterrupt for Ctrl-C).
  void report(std::size_t done) {
    if (PyErr_CheckSignals() < 0) binding::throw_fetched();
    if (!progress_ || done == reported_) return;
    reported_ = done;
    const binding::Ref done_object = binding::into_py(static_cast<std::uint64_t>(done));
    const binding::Ref total_object = binding::into_py(static_cast<std::uint64_t>(total_));
    const binding::Ref answer = binding::Ref::steal(PyObject_CallFunctionObjArgs(
        progress_.get(), done_object.get(), total_object.get(), nullptr));
    if (!answer) binding::throw_fetched();
  }

  // The `pause` of answer_each for a batch run with `released` released:
  // report, with the lock taken again for it.
  [[nodiscard]] auto pause(ReleasedLock& released) {
    return [this, &released](std::size_t done) { released.relocked([&] { report(done); }); };
  }

  // With the lock held, once every query is answered: reports them all.
  void finish() { report(total_); }

 private:
  binding::Ref progress_;
  std::size_t total_;
  std::size_t reported_ = static_cast<std::size_t>(-1);
};

}  // namespace native
