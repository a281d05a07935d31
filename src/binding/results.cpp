// Result conversions to Python integers, strings, None and bytes.
#include "binding/results.hpp"

#include <string>

#include "prefix/failure.hpp"
#include "prefix/utf8.hpp"

namespace binding {

Ref checked(PyObject* result) {
  if (result == nullptr) {
    PyErr_Print();
    throw prefix::InternalFailure("Python API call failed");
  }
  return Ref::steal(result);
}

Ref into_py(std::uint32_t value) {
  return checked(PyLong_FromLong(static_cast<long>(value)));
}

Ref into_py(std::uint64_t value) {
  return checked(PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(value)));
}

Ref into_py(double value) {
  return checked(PyFloat_FromDouble(value));
}

Ref into_py(std::string_view text) {
  return checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Ref into_py(char32_t code_point) {
  std::string utf8;  // at most 4 bytes: no allocation
  prefix::append_utf8(utf8, code_point);
  return into_py(std::string_view(utf8));
}

Ref into_py(std::nullopt_t /*absent*/) {
  return Ref::borrow(Py_None);
}

Ref into_py(const Bytes& bytes) {
  return checked(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data.data()),
                                           static_cast<Py_ssize_t>(bytes.data.size())));
}

}  // namespace binding
