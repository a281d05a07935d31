// Python objects from a laid-out trie's arrays.
#include "native/trie_results.hpp"

#include <cstdint>
#include <vector>

#include "binding/results.hpp"
#include "prefix/store/serial.hpp"

namespace native {
namespace {

using binding::Ref;

// A list made at its final length, item i being make(i).
template <class Make>
Ref list_of(std::size_t size, Make make) {
  Ref list = binding::checked(PyList_New(static_cast<Py_ssize_t>(size)));
  for (std::size_t i = 0; i < size; ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), make(i).release());
  }
  return list;
}

Ref ints(std::vector<std::uint32_t>& values) {
  Ref list = list_of(values.size(), [&](std::size_t i) { return binding::into_py(values[i]); });
  std::vector<std::uint32_t>().swap(values);
  return list;
}

}  // namespace

Ref arrays_into_py(prefix::FlatArrays&& arrays) {
  Ref shifts = ints(arrays.node_shifts);
  Ref strings = list_of(arrays.node_chars.size(), [&](std::size_t i) {
    const std::uint32_t cp = arrays.node_chars[i];
    // Strings of one Latin-1 character are the interpreter's shared ones.
    return binding::checked(cp == prefix::NO_CODE_POINT
                                ? PyUnicode_New(0, 0)
                                : PyUnicode_FromOrdinal(static_cast<int>(cp)));
  });
  std::vector<std::uint32_t>().swap(arrays.node_chars);
  std::size_t present = 0;
  Ref payloads = list_of(arrays.payload_count, [&](std::size_t i) {
    if (!arrays.has_payload.test(i)) return binding::into_py(std::nullopt);
    return binding::into_py(arrays.payloads[present++]);
  });
  Ref children = ints(arrays.child_indices);
  Ref tuple = binding::checked(PyTuple_New(4));
  PyTuple_SET_ITEM(tuple.get(), 0, shifts.release());
  PyTuple_SET_ITEM(tuple.get(), 1, strings.release());
  PyTuple_SET_ITEM(tuple.get(), 2, payloads.release());
  PyTuple_SET_ITEM(tuple.get(), 3, children.release());
  return tuple;
}

Ref bytes_into_py(const prefix::FlatArrays& arrays) {
  Ref bytes;
  prefix::encode_with(arrays, [&bytes](std::size_t size) {
    bytes = binding::checked(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size)));
    return reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(bytes.get()));
  });
  return bytes;
}

}  // namespace native
