// Conversion rules from Python arguments to C++ values: integers, optional, text, sequences.
#pragma once

#include <Python.h>

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "binding/error.hpp"
#include "binding/ref.hpp"

// Each rule is a type with `Value` (the C++ type it yields) and a static
// `convert(PyObject*)` that returns the value or throws an Error (the
// interpreter's own, or a pending one of the layer). Integer rules also offer
// `from_byte`, which lets a sequence of them read bytes and bytearray objects
// directly.
namespace binding {

// `int`, `bool` or an object with __index__ (PyLong_AsLong), then 0 to
// 4294967295. A value outside that range: OverflowError "out of range integral
// type conversion attempted"; otherwise the interpreter's error.
struct U32 {
  using Value = std::uint32_t;
  static Value convert(PyObject* object);
  static Value from_byte(std::uint8_t byte) noexcept { return byte; }
};

// As U32, with the range 0 to 255.
struct U8 {
  using Value = std::uint8_t;
  static Value convert(PyObject* object);
  static Value from_byte(std::uint8_t byte) noexcept { return byte; }
};

// Unsigned 64-bit: PyLong_AsUnsignedLongLong on an `int` (or subclass), else
// on PyNumber_Index of the object. Errors are the interpreter's (TypeError for
// non-integers, OverflowError below 0 or above 18446744073709551615).
struct MachineWord {
  using Value = std::uint64_t;
  static Value convert(PyObject* object);
  static Value from_byte(std::uint8_t byte) noexcept { return byte; }
};

// Any object, by its truth (PyObject_IsTrue): what `if object:` decides. An
// object whose __bool__ or __len__ raises: that error.
struct Truth {
  using Value = bool;
  static Value convert(PyObject* object);
};

template <class Rule>
concept ReadsBytes = requires(std::uint8_t byte) {
  { Rule::from_byte(byte) } -> std::same_as<typename Rule::Value>;
};

// `None` (by identity) is absent; anything else goes through `Inner`.
template <class Inner>
struct Optional {
  using Value = std::optional<typename Inner::Value>;
  static Value convert(PyObject* object) {
    if (object == Py_None) return std::nullopt;
    return Inner::convert(object);
  }
  static Value from_byte(std::uint8_t byte) noexcept requires ReadsBytes<Inner> {
    return Inner::from_byte(byte);
  }
};

// A `str` (or subclass) copied as UTF-8. Not a str: TypeError "'<type>' object
// cannot be converted to 'PyString'". No UTF-8 form (a lone surrogate): the
// interpreter's UnicodeEncodeError.
struct Text {
  using Value = std::string;
  static Value convert(PyObject* object);
};

namespace detail {

// Refuses a `str` ("Can't extract `str` to `Vec`") and a non-sequence
// ("'<type>' object cannot be converted to 'Sequence'").
void check_sequence(PyObject* object);
// The items of an object that is exactly `bytes` or `bytearray`, else nothing.
std::optional<std::span<const std::uint8_t>> exact_byte_items(PyObject* object) noexcept;
// How many items to reserve for a generic sequence: its length, capped so that a
// false __len__ cannot force a large allocation; 0 when the length query fails
// (that error is discarded).
std::size_t reservation_hint(PyObject* object);
Ref get_iterator(PyObject* object);
// The next item, or an empty Ref at the end; throws the iteration error.
Ref next_item(PyObject* iterator);

}  // namespace detail

// A sequence of `Element`s, converted item by item through the iteration
// protocol: `bytes`, `bytearray`, `list`, `tuple`, `range` and other sequences
// are accepted; `str`, `dict`, `set`, iterators and generators are refused.
// The first failing item ends the conversion with its error (its index is not
// reported). Objects of exactly `list`, `tuple`, `bytes` or `bytearray` are
// read directly, with the same results and errors as iteration gives.
template <class Element>
struct SequenceOf {
  using Value = std::vector<typename Element::Value>;
  static Value convert(PyObject* object);
};

template <class Element>
typename SequenceOf<Element>::Value SequenceOf<Element>::convert(PyObject* object) {
  detail::check_sequence(object);
  Value values;
  if constexpr (ReadsBytes<Element>) {
    if (const auto bytes = detail::exact_byte_items(object)) {
      values.reserve(bytes->size());
      for (const std::uint8_t byte : *bytes) values.push_back(Element::from_byte(byte));
      return values;
    }
  }
  if (PyList_CheckExact(object)) {
    // The length is read again after every item, as the list iterator does:
    // converting an item may run code that changes the list.
    values.reserve(static_cast<std::size_t>(PyList_GET_SIZE(object)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
      const Ref item = Ref::borrow(PyList_GET_ITEM(object, i));
      values.push_back(Element::convert(item.get()));
    }
    return values;
  }
  if (PyTuple_CheckExact(object)) {
    const Py_ssize_t size = PyTuple_GET_SIZE(object);
    values.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i)
      values.push_back(Element::convert(PyTuple_GET_ITEM(object, i)));
    return values;
  }
  values.reserve(detail::reservation_hint(object));
  const Ref iterator = detail::get_iterator(object);
  while (const Ref item = detail::next_item(iterator.get())) {
    values.push_back(Element::convert(item.get()));
  }
  return values;
}

}  // namespace binding
