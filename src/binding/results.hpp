// Conversions of C++ results to new Python objects: integers, text, tuples, lists, bytes.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "binding/ref.hpp"

namespace binding {

// Owns the result of an interpreter call that creates an object. On null the
// pending exception is printed and cleared (PyErr_Print) and
// prefix::InternalFailure "Python API call failed" is thrown.
[[nodiscard]] Ref checked(PyObject* result);

// A byte string result, returned to Python as `bytes`.
struct Bytes {
  std::vector<std::uint8_t> data;
};

// Every into_py returns a new reference or throws as `checked` does.
[[nodiscard]] Ref into_py(std::uint32_t value);    // int, via PyLong_FromLong
[[nodiscard]] Ref into_py(std::uint64_t value);    // int, via PyLong_FromUnsignedLongLong
[[nodiscard]] Ref into_py(double value);           // float
[[nodiscard]] Ref into_py(std::string_view text);  // str from UTF-8
[[nodiscard]] Ref into_py(char32_t code_point);    // str of one character
[[nodiscard]] Ref into_py(std::nullopt_t absent);  // None
[[nodiscard]] Ref into_py(const Bytes& bytes);     // bytes
[[nodiscard]] inline Ref into_py(Ref&& object) {   // a converted object, as it is
  return std::move(object);
}
template <class T>
[[nodiscard]] Ref into_py(std::optional<T> value);  // None or the value
template <class A, class B>
[[nodiscard]] Ref into_py(std::pair<A, B>&& pair);  // 2-tuple, elements in order
template <class... T>
[[nodiscard]] Ref into_py(std::tuple<T...>&& tuple);  // n-tuple, elements in order
template <class T>
[[nodiscard]] Ref into_py(std::vector<T>&& items);  // list, consuming the items

// A list of n items made at its final length (PyList_New(n)) and filled in
// place with into_py(project(item)), in order; the items are consumed.
template <class T, class Project = std::identity>
[[nodiscard]] Ref list_into_py(std::vector<T>&& items, Project project = {});

template <class T>
Ref into_py(std::optional<T> value) {
  if (!value) return into_py(std::nullopt);
  return into_py(std::move(*value));
}

namespace detail {

template <class Tuple, std::size_t... I>
Ref tuple_into_py(Tuple& values, std::index_sequence<I...> /*indices*/) {
  Ref tuple = checked(PyTuple_New(sizeof...(I)));
  // The comma fold converts the elements left to right.
  (PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(I),
                    into_py(std::move(std::get<I>(values))).release()),
   ...);
  return tuple;
}

}  // namespace detail

template <class A, class B>
Ref into_py(std::pair<A, B>&& pair) {
  return detail::tuple_into_py(pair, std::make_index_sequence<2>{});
}

template <class... T>
Ref into_py(std::tuple<T...>&& tuple) {
  return detail::tuple_into_py(tuple, std::index_sequence_for<T...>{});
}

template <class T, class Project>
Ref list_into_py(std::vector<T>&& items, Project project) {
  Ref list = checked(PyList_New(static_cast<Py_ssize_t>(items.size())));
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                    into_py(std::invoke(project, std::move(items[i]))).release());
  }
  std::vector<T>().swap(items);
  return list;
}

template <class T>
Ref into_py(std::vector<T>&& items) {
  return list_into_py(std::move(items));
}

}  // namespace binding
