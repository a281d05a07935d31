// The non-generic parts of the conversion rules: integers, text and the sequence checks.
#include "binding/conversions.hpp"

#include <algorithm>

namespace binding {
namespace {

// Enough for every realistic sequence that is not a list, tuple or byte
// string (those are sized exactly); larger ones grow as they are read.
constexpr std::size_t MAX_RESERVED_ITEMS = std::size_t{1} << 16;

template <class Value>
Value checked_long_in_range(PyObject* object, long max) {
  const long value = PyLong_AsLong(object);
  if (value == -1 && PyErr_Occurred() != nullptr) throw_fetched();
  if (value < 0 || value > max) {
    throw Error::pending(PyExc_OverflowError, "out of range integral type conversion attempted");
  }
  return static_cast<Value>(value);
}

}  // namespace

U32::Value U32::convert(PyObject* object) {
  return checked_long_in_range<Value>(object, 0xFFFF'FFFFL);
}

U8::Value U8::convert(PyObject* object) {
  return checked_long_in_range<Value>(object, 0xFFL);
}

MachineWord::Value MachineWord::convert(PyObject* object) {
  unsigned long long value = 0;
  if (PyLong_Check(object)) {
    value = PyLong_AsUnsignedLongLong(object);
  } else {
    const Ref index = Ref::steal(PyNumber_Index(object));
    if (!index) throw_fetched();
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
    throw_fetched();
  }
  return value;
}

Truth::Value Truth::convert(PyObject* object) {
  const int truth = PyObject_IsTrue(object);
  if (truth < 0) throw_fetched();
  return truth != 0;
}

Text::Value Text::convert(PyObject* object) {
  if (!PyUnicode_Check(object)) throw type_mismatch(object, "PyString");
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) throw_fetched();
  return Value(utf8, static_cast<std::size_t>(size));
}

namespace detail {

void check_sequence(PyObject* object) {
  if (PyUnicode_Check(object)) {
    throw Error::pending(PyExc_TypeError, "Can't extract `str` to `Vec`");
  }
  if (PySequence_Check(object) == 0) throw type_mismatch(object, "Sequence");
}

std::optional<std::span<const std::uint8_t>> exact_byte_items(PyObject* object) noexcept {
  const char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_CheckExact(object)) {
    data = PyBytes_AS_STRING(object);
    size = PyBytes_GET_SIZE(object);
  } else if (PyByteArray_CheckExact(object)) {
    data = PyByteArray_AS_STRING(object);
    size = PyByteArray_GET_SIZE(object);
  } else {
    return std::nullopt;
  }
  return std::span(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size));
}

std::size_t reservation_hint(PyObject* object) {
  const Py_ssize_t size = PySequence_Size(object);
  if (size < 0) {
    (void)Error::fetch();
    return 0;
  }
  return std::min(static_cast<std::size_t>(size), MAX_RESERVED_ITEMS);
}

Ref get_iterator(PyObject* object) {
  Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) throw_fetched();
  return iterator;
}

Ref next_item(PyObject* iterator) {
  Ref item = Ref::steal(PyIter_Next(iterator));
  if (!item && PyErr_Occurred() != nullptr) throw_fetched();
  return item;
}

}  // namespace detail
}  // namespace binding
