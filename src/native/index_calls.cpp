// Index images from and to Python: mapped files, bytes, file references and
// the key counts kept with a trie.
#include "native/index_calls.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/results.hpp"
#include "native/instance.hpp"
#include "native/released_lock.hpp"
#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/image_storage.hpp"
#include "prefix/store/index_image.hpp"
#include "prefix_search_object.hpp"

namespace native {
namespace {

using binding::Ref;

constexpr binding::FunctionDescription<2> MAP_FILE{std::nullopt, "map_file", {"fd", "name"}, 2};
constexpr binding::FunctionDescription<1> FROM_IMAGE{std::nullopt, "from_image", {"data"}, 1};
constexpr binding::FunctionDescription<1> IMAGE{std::nullopt, "image", {"trie"}, 1};
constexpr binding::FunctionDescription<1> FILE_REFERENCE{
    std::nullopt, "file_reference", {"trie"}, 1};
constexpr binding::FunctionDescription<1> FORM{std::nullopt, "form", {"trie"}, 1};
constexpr binding::FunctionDescription<1> KEY_COUNTS{std::nullopt, "key_counts", {"trie"}, 1};
constexpr binding::FunctionDescription<2> WITH_KEY_COUNTS{
    std::nullopt, "with_key_counts", {"trie", "counts"}, 2};

// The trie of an image in `storage`, or ValueError with why it is refused.
Ref trie_of_image(std::shared_ptr<const prefix::ImageStorage> storage) {
  const prefix::ParsedImage parsed = prefix::parse_image(storage->bytes());
  if (const auto* why = std::get_if<std::string>(&parsed)) {
    throw binding::Error::pending(PyExc_ValueError, *why);
  }
  const auto& parts = std::get<prefix::ImageParts>(parsed);
  try {
    prefix::SearchTrie trie =
        without_lock([&] { return prefix::SearchTrie::from_image(parts, std::move(storage)); });
    return new_prefix_search_of(prefix_search_type(), std::move(trie));
  } catch (const prefix::InternalFailure& failure) {
    // Only a byte form that does not decode fails here.
    throw binding::Error::pending(PyExc_ValueError, failure.what());
  }
}

// The values of `counts`: a buffer of unsigned 64-bit numbers read at once,
// anything else as a sequence of ints.
std::vector<std::uint64_t> counts_of(PyObject* counts) {
  if (PyObject_CheckBuffer(counts)) {
    Py_buffer view;
    if (PyObject_GetBuffer(counts, &view, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) == 0) {
      const std::string_view format = view.format != nullptr ? view.format : "B";
      const bool unsigned_64 = view.itemsize == 8 &&
                               (format == "Q" || format == "L" || format == "<Q" || format == "=Q");
      std::vector<std::uint64_t> values;
      if (unsigned_64) {
        values.resize(static_cast<std::size_t>(view.len) / 8);
        std::memcpy(values.data(), view.buf, values.size() * 8);
      }
      PyBuffer_Release(&view);
      if (unsigned_64) return values;
    } else {
      PyErr_Clear();
    }
  }
  return binding::SequenceOf<binding::MachineWord>::convert(counts);
}

// A read-only buffer of a trie's key counts that keeps the trie alive.
struct CountsView {
  PyObject ob_base;
  PyObject* trie;  // a strong reference
  const std::uint64_t* values;
  Py_ssize_t length;
  Py_ssize_t shape;
  Py_ssize_t stride;
};

int counts_view_buffer(PyObject* self, Py_buffer* view, int flags) {
  auto* const counts = reinterpret_cast<CountsView*>(self);
  if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
    PyErr_SetString(PyExc_BufferError, "key counts are read-only");
    return -1;
  }
  view->buf = const_cast<std::uint64_t*>(counts->values);
  view->obj = Py_NewRef(self);
  view->len = counts->length * 8;
  view->readonly = 1;
  view->itemsize = 8;
  view->format = (flags & PyBUF_FORMAT) != 0 ? const_cast<char*>("Q") : nullptr;
  view->ndim = 1;
  view->shape = (flags & PyBUF_ND) != 0 ? &counts->shape : nullptr;
  view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? &counts->stride : nullptr;
  view->suboffsets = nullptr;
  view->internal = nullptr;
  return 0;
}

void counts_view_dealloc(PyObject* self) {
  PyTypeObject* const type = Py_TYPE(self);
  Py_XDECREF(reinterpret_cast<CountsView*>(self)->trie);
  type->tp_free(self);
  Py_DECREF(type);
}

PyType_Slot counts_view_slots[] = {
    {Py_bf_getbuffer, reinterpret_cast<void*>(counts_view_buffer)},
    {Py_tp_dealloc, reinterpret_cast<void*>(counts_view_dealloc)},
    {0, nullptr},
};

PyType_Spec counts_view_spec = {"quorvatine._native.KeyCounts", sizeof(CountsView), 0,
                                Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                                counts_view_slots};

constinit binding::OnceCell counts_view_type;

Ref memoryview_of_counts(PyObject* trie, std::span<const std::uint64_t> values) {
  PyObject* const type = counts_view_type.get_or_init(
      [] { return binding::checked(PyType_FromSpec(&counts_view_spec)); });
  Ref holder = binding::checked(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(type), 0));
  auto* const view = reinterpret_cast<CountsView*>(holder.get());
  view->trie = Py_NewRef(trie);
  view->values = values.data();
  view->length = static_cast<Py_ssize_t>(values.size());
  view->shape = view->length;
  view->stride = 8;
  return binding::checked(PyMemoryView_FromObject(holder.get()));
}

}  // namespace

PyObject* map_file(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(MAP_FILE, args, nargs, kwnames);
    const auto fd = static_cast<int>(bound.convert<binding::U32>(0));
    PyObject* const name = bound[1];
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name);
      binding::throw_fetched();
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size < sizeof(prefix::ImageHeader)) {
      throw binding::Error::pending(PyExc_ValueError, "shorter than the index header");
    }
    const char* const path = PyUnicode_AsUTF8(name);
    if (path == nullptr) binding::throw_fetched();
    prefix::MappedResult mapped = prefix::map_file(fd, size, path);
    if (const int* error = std::get_if<int>(&mapped)) {
      errno = *error;
      PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name);
      binding::throw_fetched();
    }
    return trie_of_image(std::get<std::shared_ptr<const prefix::ImageStorage>>(std::move(mapped)));
  });
}

PyObject* from_image(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(FROM_IMAGE, args, nargs, kwnames);
    Py_buffer view;
    if (PyObject_GetBuffer(bound[0], &view, PyBUF_SIMPLE) != 0) binding::throw_fetched();
    prefix::OwnedImage image;
    image.size = static_cast<std::size_t>(view.len);
    image.words.resize((image.size + 7) / 8);
    std::memcpy(image.words.data(), view.buf, image.size);
    PyBuffer_Release(&view);
    return trie_of_image(prefix::stored_in_memory(std::move(image)));
  });
}

PyObject* image(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(IMAGE, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::OwnedImage image = without_lock([&] { return borrowed.trie().image(); });
    const std::span<const std::uint8_t> bytes = image.bytes();
    return binding::checked(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<Py_ssize_t>(bytes.size())));
  });
}

PyObject* file_reference(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(FILE_REFERENCE, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::SharedTree* tree = borrowed.trie().shared_tree();
    if (tree == nullptr || tree->storage()->path().empty()) return binding::into_py(std::nullopt);
    const std::string& path = tree->storage()->path();
    return binding::into_py(
        std::tuple{std::string_view(path), std::uint64_t{tree->header().file_size},
                   std::uint64_t{tree->header().checksum},
                   binding::checked(PyBool_FromLong(borrowed.trie().counts_in_image()))});
  });
}

PyObject* form(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(FORM, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::SearchTrie& trie = borrowed.trie();
    return binding::into_py(std::string_view(trie.shared_tree() != nullptr ? "shared"
                                             : trie.is_compact()           ? "compact"
                                                                           : "arrays"));
  });
}

PyObject* key_counts(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(KEY_COUNTS, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const auto counts = borrowed.trie().key_counts();
    if (!counts) return binding::into_py(std::nullopt);
    return memoryview_of_counts(bound[0], *counts);
  });
}

PyObject* with_key_counts(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(WITH_KEY_COUNTS, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    std::vector<std::uint64_t> counts = counts_of(bound[1]);
    const std::optional<std::uint32_t> largest =
        without_lock([&] { return borrowed.trie().largest_payload(); });
    const std::uint64_t needed = largest ? std::uint64_t{*largest} + 1 : 0;
    if (counts.size() < needed) {
      throw binding::Error::pending(
          PyExc_ValueError, "key counts: " + std::to_string(counts.size()) +
                                " given, the trie's payloads need " + std::to_string(needed));
    }
    return new_prefix_search_of(prefix_search_type(),
                                borrowed.trie().with_key_counts(std::move(counts)));
  });
}

}  // namespace native
