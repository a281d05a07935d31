// The queries of a batch as code points, converted with the interpreter lock
// held so that native threads can walk them without it.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binding/error.hpp"

namespace native {

struct Queries {
  // The queries before the first one that could not be converted.
  std::vector<std::u32string> texts;
  // That query's error, as the one-query call reports it for its `prefix`.
  std::optional<binding::Error> refused;
};

// The code points of each str of the list or tuple `queries` (anything else:
// TypeError "'<type>' object cannot be converted to 'list'"), up to the first
// item that is not a str or not encodable (a lone surrogate); that item's
// error is kept in `refused`, a TypeError reworded as "argument 'prefix': ...".
// Runs no Python code, so the list cannot change meanwhile.
[[nodiscard]] Queries code_points_of(PyObject* queries);

// A batch's converted `threads` argument, checked: ValueError "threads must
// be at least 1" for 0.
[[nodiscard]] std::size_t thread_count(std::uint64_t threads);

}  // namespace native
