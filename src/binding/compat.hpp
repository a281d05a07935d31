// Shims over the C API differences between the supported interpreters (3.11 to 3.14).
#pragma once

#include <Python.h>

namespace binding::compat {

#if PY_VERSION_HEX >= 0x030C0000

// Takes the raised exception out of the interpreter (a new reference), or
// returns null when none is set.
inline PyObject* get_raised_exception() noexcept {
  return PyErr_GetRaisedException();
}

// Raises `exception` (stolen; null clears the error indicator).
inline void set_raised_exception(PyObject* exception) noexcept {
  PyErr_SetRaisedException(exception);
}

#else

// Before 3.12 the indicator holds a (type, value, traceback) triple that may
// not be normalised yet: normalise it and attach the traceback so that the
// caller sees one exception instance, as the newer call returns it.
inline PyObject* get_raised_exception() noexcept {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return nullptr;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr) {
    PyException_SetTraceback(value, traceback);
    Py_DECREF(traceback);
  }
  Py_DECREF(type);
  return value;
}

inline void set_raised_exception(PyObject* exception) noexcept {
  if (exception == nullptr) {
    PyErr_Clear();
    return;
  }
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception))), exception,
                PyException_GetTraceback(exception));
}

#endif

}  // namespace binding::compat
