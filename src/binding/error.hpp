// Error: a Python exception on its way out of an entry point, pending or materialised.
#pragma once

#include <Python.h>

#include <string_view>

#include "binding/ref.hpp"

namespace binding {

// A Python error carried through C++ code as a thrown value. It is either
// pending (an exception class and one argument; no exception object exists
// yet) or materialised (an exception instance with its traceback). When it
// reaches the entry-point wrapper it is raised into the interpreter.
class Error {
 public:
  // A pending error of class `type` whose argument is `argument` (for the
  // message forms, the text). An empty `argument` means building it failed:
  // the result is the interpreter's error instead (see fetch).
  [[nodiscard]] static Error pending(PyObject* type, Ref argument);
  // A pending error whose argument is `message` as a `str`.
  [[nodiscard]] static Error pending(PyObject* type, std::string_view message);
  [[nodiscard]] static Error materialised(Ref exception) noexcept;

  // Takes the exception that the interpreter holds after a call signalled
  // failure out of the interpreter. When none is set, a SystemError "attempted
  // to fetch exception but none was set". A fetched PanicException is not an
  // ordinary error: it is resumed as an internal failure, so this throws
  // prefix::InternalFailure carrying its text.
  [[nodiscard]] static Error fetch();

  // Turns a pending error into an exception instance, at most once. The lock
  // is released around the step, which takes it again for its own duration:
  // other Python threads may run meanwhile.
  void materialise();

  // The exception instance (borrowed); materialises first.
  [[nodiscard]] PyObject* exception();
  // The exception class (borrowed), without materialising.
  [[nodiscard]] PyObject* type() const noexcept;
  // Whether the exception is an instance of `type` or of a subclass; materialises first.
  [[nodiscard]] bool is_instance_of(PyObject* type);

  // Raises the error into the interpreter: PyErr_SetObject(class, argument)
  // when pending, the instance itself when materialised. Leaves this empty.
  void restore() noexcept;

 private:
  Error(Ref type, Ref argument, Ref exception) noexcept
      : type_(std::move(type)), argument_(std::move(argument)), exception_(std::move(exception)) {}

  Ref type_;       // pending only
  Ref argument_;   // pending only
  Ref exception_;  // set once materialised
};

// Throws Error::fetch(): the usual reaction to a C API call that returned its
// failure value.
[[noreturn]] void throw_fetched();

// The TypeError "'<type qualname>' object cannot be converted to '<target>'",
// pending.
[[nodiscard]] Error type_mismatch(PyObject* object, std::string_view target);

// Makes `cause` the cause of `error` (PyException_SetCause; an empty `cause`
// clears it), materialising `error`.
void set_cause(Error& error, Ref cause);

// The error a failed conversion of parameter `name` reports: an exception of
// exactly the class TypeError is replaced by a new TypeError "argument
// '<name>': <str(inner)>" whose cause is the inner exception's own cause;
// every other error is returned unchanged.
[[nodiscard]] Error wrap_argument_error(Error inner, std::string_view name);

}  // namespace binding
