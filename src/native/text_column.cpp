// Reading a column of query texts from Arrow structures, Python sequences
// and UCS-4 buffers.
#include "native/text_column.hpp"

#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "binding/error.hpp"
#include "prefix/utf8.hpp"

namespace native {
namespace {

using binding::Error;

Error malformed(const std::string& why) {
  return Error::pending(PyExc_ValueError, "queries: malformed Arrow array: " + why);
}

template <class T>
T* capsule_pointer(PyObject* capsule, const char* name) {
  if (!PyCapsule_IsValid(capsule, name)) {
    throw Error::pending(PyExc_TypeError,
                         std::string("queries: expected a PyCapsule named '") + name + "'");
  }
  auto* pointer = static_cast<T*>(PyCapsule_GetPointer(capsule, name));
  if (pointer == nullptr) binding::throw_fetched();
  if (pointer->release == nullptr) {
    throw Error::pending(PyExc_ValueError,
                         std::string("queries: the '") + name + "' capsule was already consumed");
  }
  return pointer;
}

// Entry `index` of a buffer of T: producers need not align their buffers.
template <class T>
T load(const void* buffer, std::int64_t index) {
  T value;
  std::memcpy(&value, static_cast<const char*>(buffer) + index * std::int64_t{sizeof(T)},
              sizeof(T));
  return value;
}

bool bit(const void* bitmap, std::int64_t index) {
  const auto* bytes = static_cast<const std::uint8_t*>(bitmap);
  return ((bytes[index >> 3] >> (index & 7)) & 1) != 0;
}

// Rows of one plain string array (no dictionary) appended to `texts` and
// `nulls`.
struct Rows {
  std::vector<std::string_view>& texts;
  std::vector<std::uint8_t>& nulls;
};

const void* buffer(const ArrowArray& array, std::int64_t index) {
  if (array.buffers == nullptr) throw malformed("no buffers");
  return array.buffers[index];
}

void expect_buffers(const ArrowArray& array, std::int64_t count, std::string_view format) {
  if (array.n_buffers != count) {
    throw malformed("type '" + std::string(format) + "' takes " + std::to_string(count) +
                    " buffers, not " + std::to_string(array.n_buffers));
  }
}

template <class Offset>
void append_offset_strings(const ArrowArray& array, Rows rows) {
  if (array.length == 0) return;  // its buffers may be null
  const void* offsets = buffer(array, 1);
  const char* data = static_cast<const char*>(buffer(array, 2));
  if (offsets == nullptr) throw malformed("no offsets buffer");
  const void* validity = array.null_count == 0 ? nullptr : buffer(array, 0);
  Offset start = load<Offset>(offsets, array.offset);
  if (start < 0) throw malformed("a negative offset");
  for (std::int64_t r = 0; r < array.length; ++r) {
    const Offset end = load<Offset>(offsets, array.offset + r + 1);
    if (end < start) throw malformed("offsets that decrease");
    if (end > start && data == nullptr) throw malformed("no data buffer");
    const bool is_null = validity != nullptr && !bit(validity, array.offset + r);
    rows.texts.emplace_back(
        is_null ? std::string_view()
                : std::string_view(data + start, static_cast<std::size_t>(end - start)));
    rows.nulls.push_back(is_null ? 1 : 0);
    start = end;
  }
}

// A string view: 16 bytes, its length first; up to 12 bytes inline, longer
// ones as a prefix, a buffer index and an offset into that buffer.
void append_views(const ArrowArray& array, Rows rows) {
  if (array.n_buffers < 3) throw malformed("a string view array needs at least 3 buffers");
  const auto* views = static_cast<const std::uint8_t*>(buffer(array, 1));
  const void* sizes = buffer(array, array.n_buffers - 1);
  const std::int64_t data_buffers = array.n_buffers - 3;
  if (array.length > 0 && views == nullptr) throw malformed("no views buffer");
  if (data_buffers > 0 && sizes == nullptr) throw malformed("no buffer sizes");
  const void* validity = array.null_count == 0 ? nullptr : buffer(array, 0);
  for (std::int64_t r = 0; r < array.length; ++r) {
    const bool is_null = validity != nullptr && !bit(validity, array.offset + r);
    rows.nulls.push_back(is_null ? 1 : 0);
    if (is_null) {
      rows.texts.emplace_back();
      continue;
    }
    const std::uint8_t* view = views + 16 * (array.offset + r);
    std::int32_t length = 0;
    std::memcpy(&length, view, 4);
    if (length < 0) throw malformed("a negative string view length");
    if (length <= 12) {
      rows.texts.emplace_back(reinterpret_cast<const char*>(view + 4),
                              static_cast<std::size_t>(length));
      continue;
    }
    std::int32_t index = 0;
    std::int32_t offset = 0;
    std::memcpy(&index, view + 8, 4);
    std::memcpy(&offset, view + 12, 4);
    if (index < 0 || index >= data_buffers || offset < 0 ||
        std::int64_t{offset} + length > load<std::int64_t>(sizes, index)) {
      throw malformed("a string view outside its data buffers");
    }
    const char* data = static_cast<const char*>(buffer(array, 2 + index));
    if (data == nullptr) throw malformed("no data buffer");
    rows.texts.emplace_back(data + offset, static_cast<std::size_t>(length));
  }
}

void append_plain(const ArrowSchema& schema, const ArrowArray& array, Rows rows) {
  const std::string_view format = schema.format == nullptr ? "" : schema.format;
  if (format == "n") {
    rows.texts.resize(rows.texts.size() + static_cast<std::size_t>(array.length));
    rows.nulls.resize(rows.nulls.size() + static_cast<std::size_t>(array.length), 1);
  } else if (format == "u") {
    expect_buffers(array, 3, format);
    append_offset_strings<std::int32_t>(array, rows);
  } else if (format == "U") {
    expect_buffers(array, 3, format);
    append_offset_strings<std::int64_t>(array, rows);
  } else if (format == "vu") {
    append_views(array, rows);
  } else {
    throw Error::pending(PyExc_TypeError, "queries: an Arrow column of type '" +
                                              std::string(format) + "', not of strings");
  }
}

// The dictionary index of one row, for the integer formats Arrow allows.
std::int64_t index_at(std::string_view format, const void* indices, std::int64_t i) {
  switch (format.size() == 1 ? format[0] : '\0') {
    case 'c':
      return load<std::int8_t>(indices, i);
    case 'C':
      return load<std::uint8_t>(indices, i);
    case 's':
      return load<std::int16_t>(indices, i);
    case 'S':
      return load<std::uint16_t>(indices, i);
    case 'i':
      return load<std::int32_t>(indices, i);
    case 'I':
      return load<std::uint32_t>(indices, i);
    case 'l':
      return load<std::int64_t>(indices, i);
    case 'L': {
      const auto index = load<std::uint64_t>(indices, i);
      return index > std::uint64_t{std::numeric_limits<std::int64_t>::max()}
                 ? -1
                 : static_cast<std::int64_t>(index);
    }
    default:
      throw malformed("dictionary indices of type '" + std::string(format) + "'");
  }
}

}  // namespace

TextColumn::TextColumn(PyObject* source, PyObject* nulls) {
  if (PyCapsule_CheckExact(source)) {
    read_stream(source);
  } else if (PyTuple_CheckExact(source) && PyTuple_GET_SIZE(source) == 2 &&
             PyCapsule_CheckExact(PyTuple_GET_ITEM(source, 0))) {
    read_array(PyTuple_GET_ITEM(source, 0), PyTuple_GET_ITEM(source, 1));
  } else if (PyList_Check(source) || PyTuple_Check(source)) {
    read_sequence(source, nulls);
  } else if (PyObject_CheckBuffer(source)) {
    read_ucs4(source);
  } else {
    throw binding::type_mismatch(source, "a column of str");
  }
}

void TextColumn::read_stream(PyObject* capsule) {
  arrow::OwnedStream stream(capsule_pointer<ArrowArrayStream>(capsule, arrow::STREAM_CAPSULE));
  const auto failed = [&stream](int code) {
    const char* message =
        stream->get_last_error == nullptr ? nullptr : stream->get_last_error(&stream.get());
    return Error::pending(PyExc_ValueError,
                          "queries: the Arrow stream failed (" + std::to_string(code) + ": " +
                              (message == nullptr ? "no message" : message) + ")");
  };
  ArrowSchema schema{};
  if (const int code = stream->get_schema(&stream.get(), &schema); code != 0) throw failed(code);
  schema_ = arrow::OwnedSchema(&schema);
  while (true) {
    ArrowArray array{};
    if (const int code = stream->get_next(&stream.get(), &array); code != 0) throw failed(code);
    if (array.release == nullptr) break;
    arrays_.emplace_back(&array);
    append_arrow(schema_.get(), arrays_.back().get());
  }
}

void TextColumn::read_array(PyObject* schema_capsule, PyObject* array_capsule) {
  schema_ = arrow::OwnedSchema(capsule_pointer<ArrowSchema>(schema_capsule, arrow::SCHEMA_CAPSULE));
  arrays_.emplace_back(capsule_pointer<ArrowArray>(array_capsule, arrow::ARRAY_CAPSULE));
  append_arrow(schema_.get(), arrays_.back().get());
}

void TextColumn::append_arrow(const ArrowSchema& schema, const ArrowArray& array) {
  if (array.length < 0 || array.offset < 0) throw malformed("a negative length or offset");
  const std::size_t before = texts_.size();
  texts_.reserve(before + static_cast<std::size_t>(array.length));
  nulls_.reserve(before + static_cast<std::size_t>(array.length));
  if (schema.dictionary == nullptr) {
    append_plain(schema, array, Rows{texts_, nulls_});
    return;
  }
  if (array.dictionary == nullptr) throw malformed("a dictionary type without a dictionary");
  std::vector<std::string_view> values;
  std::vector<std::uint8_t> value_nulls;
  if (array.dictionary->length < 0 || array.dictionary->offset < 0) {
    throw malformed("a negative length or offset");
  }
  append_plain(*schema.dictionary, *array.dictionary, Rows{values, value_nulls});
  expect_buffers(array, 2, schema.format == nullptr ? "" : schema.format);
  const void* indices = buffer(array, 1);
  if (array.length > 0 && indices == nullptr) throw malformed("no dictionary indices");
  const void* validity = array.null_count == 0 ? nullptr : buffer(array, 0);
  const std::string_view format = schema.format == nullptr ? "" : schema.format;
  for (std::int64_t r = 0; r < array.length; ++r) {
    if (validity != nullptr && !bit(validity, array.offset + r)) {
      texts_.emplace_back();
      nulls_.push_back(1);
      continue;
    }
    const std::int64_t index = index_at(format, indices, array.offset + r);
    if (index < 0 || index >= static_cast<std::int64_t>(values.size())) {
      throw malformed("a dictionary index out of range");
    }
    texts_.push_back(values[static_cast<std::size_t>(index)]);
    nulls_.push_back(value_nulls[static_cast<std::size_t>(index)]);
  }
}

void TextColumn::read_sequence(PyObject* items, PyObject* nulls) {
  // A tuple of the items: a list may change while native threads read its
  // texts; the tuple keeps every str alive and in place.
  items_ = binding::Ref::steal(PyList_Check(items) ? PyList_AsTuple(items) : Py_NewRef(items));
  if (!items_) binding::throw_fetched();
  const Py_ssize_t size = PyTuple_GET_SIZE(items_.get());
  Py_buffer marks{};
  bool has_marks = false;
  if (nulls != Py_None) {
    if (PyObject_GetBuffer(nulls, &marks, PyBUF_C_CONTIGUOUS) < 0) binding::throw_fetched();
    has_marks = true;
  }
  struct Release {
    Py_buffer* view;
    bool active;
    ~Release() {
      if (active) PyBuffer_Release(view);
    }
  } release{&marks, has_marks};
  if (has_marks && marks.len != size) {
    throw Error::pending(PyExc_ValueError, "queries: the null marks do not match the rows");
  }
  texts_.reserve(static_cast<std::size_t>(size));
  nulls_.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject* const item = PyTuple_GET_ITEM(items_.get(), i);
    const bool marked = has_marks && static_cast<const std::uint8_t*>(marks.buf)[i] != 0;
    if (marked || item == Py_None) {
      texts_.emplace_back();
      nulls_.push_back(1);
      continue;
    }
    if (!PyUnicode_Check(item)) {
      throw Error::pending(PyExc_TypeError, "row " + std::to_string(i) + " of the queries is " +
                                                Py_TYPE(item)->tp_name + ", not a str");
    }
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(item, &length);
    if (utf8 == nullptr) {
      Error cause = Error::fetch();
      Error error = Error::pending(
          PyExc_ValueError, "row " + std::to_string(i) +
                                " of the queries is not text: " + "it holds a lone surrogate");
      binding::set_cause(error, binding::Ref::borrow(cause.exception()));
      throw error;
    }
    texts_.emplace_back(utf8, static_cast<std::size_t>(length));
    nulls_.push_back(0);
  }
}

void TextColumn::read_ucs4(PyObject* source) {
  Py_buffer view{};
  if (PyObject_GetBuffer(source, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
    binding::throw_fetched();
  }
  struct Release {
    Py_buffer* view;
    ~Release() { PyBuffer_Release(view); }
  } release{&view};
  std::string_view format = view.format == nullptr ? "B" : view.format;
  bool swapped = false;
  if (!format.empty() && std::string_view("<>=!@").find(format[0]) != std::string_view::npos) {
    const bool big = format[0] == '>' || format[0] == '!';
    swapped = big != (std::endian::native == std::endian::big);
    format.remove_prefix(1);
  }
  if (view.ndim != 1 || format.empty() || format.back() != 'w' || view.itemsize % 4 != 0) {
    throw binding::type_mismatch(source, "a column of str");
  }
  const std::size_t width = static_cast<std::size_t>(view.itemsize) / 4;
  const std::size_t rows = width == 0 ? static_cast<std::size_t>(view.shape[0])
                                      : static_cast<std::size_t>(view.len) / (width * 4);
  std::vector<std::size_t> ends;
  ends.reserve(rows);
  const auto* bytes = static_cast<const std::uint8_t*>(view.buf);
  for (std::size_t r = 0; r < rows; ++r) {
    std::size_t used = width;
    const auto code_point = [&](std::size_t k) {
      std::uint32_t cp = 0;
      std::memcpy(&cp, bytes + (r * width + k) * 4, 4);
      return swapped ? __builtin_bswap32(cp) : cp;
    };
    while (used > 0 && code_point(used - 1) == 0) --used;
    for (std::size_t k = 0; k < used; ++k) {
      const std::uint32_t cp = code_point(k);
      if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
        throw Error::pending(PyExc_ValueError,
                             "row " + std::to_string(r) + " of the queries is not text");
      }
      prefix::append_utf8(converted_, cp);
    }
    ends.push_back(converted_.size());
  }
  std::size_t start = 0;
  for (const std::size_t end : ends) {
    texts_.emplace_back(converted_.data() + start, end - start);
    nulls_.push_back(0);
    start = end;
  }
}

void TextColumn::decode(std::size_t row, std::u32string& out) const {
  if (!prefix::decode_valid_utf8(texts_[row], out)) throw InvalidText{row};
}

}  // namespace native
