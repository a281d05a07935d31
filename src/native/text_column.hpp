// The queries of a columnar batch: a column of texts with nulls, read in
// place from an Arrow array or stream, a Python sequence, or a buffer of
// fixed-width UCS-4 texts (a numpy unicode array).
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/ref.hpp"
#include "native/arrow_abi.hpp"

namespace native {

// What a query job throws for a row whose text is not valid UTF-8 (an Arrow
// producer need not check its strings).
struct InvalidText {
  std::size_t row;
};

// Every row as UTF-8 text or a null, borrowed from its owners, which the
// column keeps alive (Arrow arrays, the Python sequence). Reading rows is
// safe from any thread, with or without the interpreter lock; making and
// dropping the column need the lock.
class TextColumn {
 public:
  // Reads `source` with the lock held:
  // - a capsule "arrow_array_stream" (from __arrow_c_stream__), every chunk;
  // - a tuple of capsules ("arrow_schema", "arrow_array") (__arrow_c_array__);
  // - a list or tuple of str and None, None and the rows that `nulls` (None,
  //   or a buffer of one byte per row, nonzero for a null) marks being nulls;
  // - an object whose buffer is UCS-4 texts of a fixed width (numpy's
  //   unicode arrays; trailing NULs are padding).
  // Arrow strings, large strings and string views, dictionaries of them
  // and the null type are read; the structures are checked as far as they
  // can be (buffer counts, offsets that do not decrease, views inside their
  // buffers). Throws binding::Error: TypeError for another Arrow type, a
  // row that is neither a str nor None (naming the row), or a source of
  // none of these kinds; ValueError for a malformed Arrow structure, a str
  // that is not text (a lone surrogate) or a code point that is none.
  TextColumn(PyObject* source, PyObject* nulls);
  TextColumn(const TextColumn&) = delete;
  TextColumn& operator=(const TextColumn&) = delete;
  ~TextColumn() = default;

  [[nodiscard]] std::size_t size() const noexcept { return texts_.size(); }
  [[nodiscard]] bool is_null(std::size_t row) const noexcept { return nulls_[row] != 0; }
  // The row's UTF-8 bytes, unchecked for Arrow input (see decode).
  [[nodiscard]] std::string_view text(std::size_t row) const noexcept { return texts_[row]; }

  // The row's code points into `out`; throws InvalidText when the row is
  // not valid UTF-8. Requires !is_null(row).
  void decode(std::size_t row, std::u32string& out) const;

 private:
  void read_stream(PyObject* capsule);
  void read_array(PyObject* schema_capsule, PyObject* array_capsule);
  void read_sequence(PyObject* items, PyObject* nulls);
  void read_ucs4(PyObject* source);
  // Appends the rows of one Arrow array of the type `schema` describes.
  void append_arrow(const ArrowSchema& schema, const ArrowArray& array);

  std::vector<std::string_view> texts_;
  std::vector<std::uint8_t> nulls_;
  arrow::OwnedSchema schema_;
  std::vector<arrow::OwnedArray> arrays_;
  binding::Ref items_;     // the Python sequence, whose str objects hold the texts
  std::string converted_;  // UCS-4 texts as UTF-8
};

}  // namespace native
