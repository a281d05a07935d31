// PanicException: how an internal failure of the module reaches Python, and back again.
#pragma once

#include <Python.h>

#include <string_view>

#include "binding/ref.hpp"

namespace binding {

// The class "tovrek_runtime.PanicException" (derived from BaseException),
// created on first use and kept for the life of the process. Returns a
// borrowed reference, or null with the creation error set.
[[nodiscard]] PyObject* panic_exception_class() noexcept;

// Makes `existing` the class panic_exception_class returns, unless one was
// already made: lets a second module built on this layer raise the same class
// as the first, so that one `except` clause catches both.
void adopt_panic_exception_class(PyObject* existing) noexcept;

// The class if it has been created, else null; never creates it.
[[nodiscard]] PyObject* created_panic_exception_class() noexcept;

// Raises PanicException(message) into the interpreter (pending form: the class
// and a 1-tuple holding the text; invalid UTF-8 is replaced). An empty message
// is given a text of its own. When the class cannot be created, its creation
// error is raised instead and the message is written to standard error.
void raise_panic(std::string_view message) noexcept;

// Resumes a PanicException that Python code raised into the module: writes a
// two-line notice to standard error, prints the exception with its traceback,
// and throws prefix::InternalFailure with its str() ("Unwrapped panic from
// Python code" when str() fails), so that the caller sees a new PanicException.
[[noreturn]] void resume_panic(Ref exception);

}  // namespace binding
