// Conversion of a batch's queries to code points.
#include "native/queries.hpp"

#include <sched.h>

#include <algorithm>
#include <cstddef>
#include <thread>
#include <utility>

#include "binding/conversions.hpp"
#include "binding/ref.hpp"
#include "prefix/utf8.hpp"

namespace native {
namespace {

// The cores this process may run on (its affinity mask), at least 1.
std::size_t usable_cores() {
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    return static_cast<std::size_t>(std::max(CPU_COUNT(&set), 1));
  }
#endif
  // A mask too small for the machine's cores, or no masks at all.
  return std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
}

}  // namespace

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
  return static_cast<std::size_t>(std::min<std::uint64_t>(threads, usable_cores()));
}

}  // namespace native
