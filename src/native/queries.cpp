// Conversion of a batch's queries to code points.
#include "native/queries.hpp"

#include <cstddef>
#include <utility>

#include "binding/conversions.hpp"
#include "binding/ref.hpp"
#include "prefix/utf8.hpp"

namespace native {

Queries code_points_of(PyObject* queries) {
  if (!PyList_Check(queries) && !PyTuple_Check(queries)) {
    throw binding::type_mismatch(queries, "list");
  }
  const binding::Ref items = binding::Ref::borrow(queries);
  Queries converted;
  const Py_ssize_t size = PySequence_Fast_GET_SIZE(items.get());
  PyObject** const item = PySequence_Fast_ITEMS(items.get());
  converted.texts.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    try {
      converted.texts.push_back(prefix::decode_utf8(binding::Text::convert(item[i])));
    } catch (binding::Error& error) {
      converted.refused = binding::wrap_argument_error(std::move(error), "prefix");
      break;
    }
  }
  return converted;
}

std::size_t thread_count(std::uint64_t threads) {
  if (threads == 0) throw binding::Error::pending(PyExc_ValueError, "threads must be at least 1");
  return static_cast<std::size_t>(threads);
}

}  // namespace native
