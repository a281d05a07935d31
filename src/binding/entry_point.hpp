// The wrapper around every entry point: runs a body and turns its failures into Python errors.
#pragma once

#include <Python.h>

#include <utility>

#include "binding/compat.hpp"
#include "binding/ref.hpp"

namespace binding {

// Raises the C++ exception being handled into the interpreter. Must be called
// inside a catch handler. binding::Error is raised as it is;
// prefix::InternalFailure and any other std::exception become PanicException
// with their message; std::bad_alloc becomes MemoryError. Should reporting
// itself fail, the process stops with Py_FatalError rather than go on in an
// unknown state.
void raise_current_failure() noexcept;

// Runs `body` (returning a Ref) for an entry point called by the interpreter
// with the lock held. Returns the new reference, or null with an exception set.
template <class Body>
[[nodiscard]] PyObject* run_entry_point(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)().release();
  } catch (...) {
    raise_current_failure();
    return nullptr;
  }
}

// The variant for slots that cannot report to a caller (the deallocator): a
// failure is raised as above and reported at once with PyErr_WriteUnraisable.
// An exception that was already being raised when `body` started is kept.
template <class Body>
void run_unraisable(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    Ref in_flight = Ref::steal(compat::get_raised_exception());
    raise_current_failure();
    PyErr_WriteUnraisable(nullptr);
    if (in_flight) compat::set_raised_exception(in_flight.release());
  }
}

}  // namespace binding
