// Error values of the binding layer: fetching, materialising, raising and wrapping them.
#include "binding/error.hpp"

#include <cassert>
#include <string>

#include "binding/compat.hpp"
#include "binding/panic.hpp"

namespace binding {

Error Error::pending(PyObject* type, Ref argument) {
  if (!argument) return fetch();
  return Error(Ref::borrow(type), std::move(argument), Ref());
}

Error Error::pending(PyObject* type, std::string_view message) {
  return pending(type, Ref::steal(PyUnicode_FromStringAndSize(
                           message.data(), static_cast<Py_ssize_t>(message.size()))));
}

Error Error::materialised(Ref exception) noexcept {
  return Error(Ref(), Ref(), std::move(exception));
}

Error Error::fetch() {
  Ref exception = Ref::steal(compat::get_raised_exception());
  if (!exception) {
    return pending(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  PyObject* panic = created_panic_exception_class();
  if (panic != nullptr && Py_TYPE(exception.get()) == reinterpret_cast<PyTypeObject*>(panic)) {
    resume_panic(std::move(exception));
  }
  return materialised(std::move(exception));
}

void Error::materialise() {
  if (exception_) return;
  assert(type_ && argument_);
  PyThreadState* const saved = PyEval_SaveThread();
  const PyGILState_STATE gil = PyGILState_Ensure();
  PyErr_SetObject(type_.get(), argument_.get());
  exception_ = Ref::steal(compat::get_raised_exception());
  PyGILState_Release(gil);
  PyEval_RestoreThread(saved);
  type_ = Ref();
  argument_ = Ref();
}

PyObject* Error::exception() {
  materialise();
  return exception_.get();
}

PyObject* Error::type() const noexcept {
  return exception_ ? reinterpret_cast<PyObject*>(Py_TYPE(exception_.get())) : type_.get();
}

bool Error::is_instance_of(PyObject* type) {
  return PyErr_GivenExceptionMatches(exception(), type) != 0;
}

void Error::restore() noexcept {
  if (exception_) {
    compat::set_raised_exception(exception_.release());
  } else {
    PyErr_SetObject(type_.get(), argument_.get());
  }
  type_ = Ref();
  argument_ = Ref();
}

void throw_fetched() {
  throw Error::fetch();
}

Error type_mismatch(PyObject* object, std::string_view target) {
  Ref type_name = Ref::steal(PyType_GetQualName(Py_TYPE(object)));
  if (!type_name) {
    (void)Error::fetch();
    type_name = Ref::steal(PyUnicode_FromString("<failed to extract type name>"));
    if (!type_name) throw_fetched();
  }
  const std::string tail(target);
  return Error::pending(PyExc_TypeError,
                        Ref::steal(PyUnicode_FromFormat("'%U' object cannot be converted to '%s'",
                                                        type_name.get(), tail.c_str())));
}

void set_cause(Error& error, Ref cause) {
  // PyException_SetCause steals the cause; null clears it.
  PyException_SetCause(error.exception(), cause.release());
}

Error wrap_argument_error(Error inner, std::string_view name) {
  inner.materialise();
  if (inner.type() != PyExc_TypeError) return inner;
  Ref inner_text = Ref::steal(PyObject_Str(inner.exception()));
  if (!inner_text) {
    (void)Error::fetch();
    inner_text = Ref::steal(PyUnicode_FromString("<exception str() failed>"));
    if (!inner_text) throw_fetched();
  }
  const std::string head = "argument '" + std::string(name) + "': ";
  const Ref head_text =
      Ref::steal(PyUnicode_FromStringAndSize(head.data(), static_cast<Py_ssize_t>(head.size())));
  if (!head_text) throw_fetched();
  Ref message = Ref::steal(PyUnicode_Concat(head_text.get(), inner_text.get()));
  if (!message) throw_fetched();
  Error outer = Error::pending(PyExc_TypeError, std::move(message));
  set_cause(outer, Ref::steal(PyException_GetCause(inner.exception())));
  return outer;
}

}  // namespace binding
