// A buffer of unsigned 64-bit integers (an array('Q'), a numpy uint64 array)
// borrowed from Python for as long as native code reads it.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "binding/error.hpp"

namespace native {

// Holds `object`'s buffer (None holds nothing: an empty span). Requires the
// interpreter lock to construct and destroy; the span may be read without
// it. Throws TypeError for a buffer of any other item type.
class U64Buffer {
 public:
  U64Buffer(PyObject* object, const char* what) {
    if (object == Py_None) return;
    if (PyObject_GetBuffer(object, &view_, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) < 0) {
      binding::throw_fetched();
    }
    if (!holds_unsigned_64(view_)) {
      // Released here: a constructor that throws runs no destructor.
      const std::string format = view_.format != nullptr ? view_.format : "B";
      PyBuffer_Release(&view_);
      throw binding::Error::pending(PyExc_TypeError,
                                    std::string(what) +
                                        " must be a buffer of unsigned 64-bit integers "
                                        "(format 'Q'), not format '" +
                                        format + "'");
    }
    held_ = true;
  }
  U64Buffer(const U64Buffer&) = delete;
  U64Buffer& operator=(const U64Buffer&) = delete;
  ~U64Buffer() {
    if (held_) PyBuffer_Release(&view_);
  }

  [[nodiscard]] std::span<const std::uint64_t> span() const noexcept {
    if (!held_) return {};
    return {static_cast<const std::uint64_t*>(view_.buf),
            static_cast<std::size_t>(view_.len) / sizeof(std::uint64_t)};
  }

 private:
  // Whether a buffer holds one dimension of unsigned 64-bit integers.
  static bool holds_unsigned_64(const Py_buffer& view) {
    const char* format = view.format != nullptr ? view.format : "B";
    if (format[0] == '@' || format[0] == '=' || format[0] == '<') ++format;
    return view.itemsize == 8 && view.ndim <= 1 && std::strlen(format) == 1 &&
           (format[0] == 'Q' || (format[0] == 'L' && sizeof(long) == 8));
  }

  Py_buffer view_{};
  bool held_ = false;
};

}  // namespace native
