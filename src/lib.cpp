// The module root of _quorvatine: initialisation, the PrefixSearch type and every entry point.
#include <Python.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "binding/borrow.hpp"
#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "prefix/checked/matcher.hpp"
#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/utf8.hpp"
#include "prefix_search_object.hpp"

namespace {

using binding::Error;
using binding::Ref;

// ---------------------------------------------------------------------------
// Logic of the entry points: C++ values in, C++ values out.

// The first code point of valid UTF-8 text, or nothing for the empty text.
std::optional<char32_t> first_code_point(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(text.front());
  const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  return prefix::decode_utf8(text.substr(0, length)).front();
}

// Builds the trie from the caller's arrays as they are: each node text
// contributes its first code point, and nothing is validated.
prefix::Trie from_internal_data_impl(std::vector<std::uint32_t> node_shifts,
                                     const std::vector<std::string>& node_strings,
                                     std::vector<std::optional<std::uint32_t>> node_payloads,
                                     std::vector<std::uint32_t> child_indices) {
  prefix::Trie trie;
  trie.node_shifts = std::move(node_shifts);
  trie.node_chars.reserve(node_strings.size());
  for (const std::string& text : node_strings) trie.node_chars.push_back(first_code_point(text));
  trie.node_payloads = std::move(node_payloads);
  trie.child_indices = std::move(child_indices);
  return trie;
}

std::vector<prefix::Child> get_children_impl(const prefix::SearchTrie& trie,
                                             prefix::NodeId node_id) {
  return trie.get_children(node_id);
}

std::optional<std::uint32_t> get_payload_impl(const prefix::SearchTrie& trie,
                                              prefix::NodeId node_id) {
  return trie.get_payload(node_id);
}

// A match as Python sees it: (text, payload, distance). The text is borrowed
// from its record, which outlives the conversion.
using Match = std::tuple<std::string_view, std::optional<std::uint32_t>, std::uint64_t>;

Match to_match(const prefix::SearchTrie& trie, const prefix::MatchRecord& record) {
  return {record.text, trie.payload_of(record), record.distance};
}

std::vector<prefix::MatchRecord> fuzzy_match_impl(const prefix::SearchTrie& trie,
                                                  std::string_view prefix_text,
                                                  std::uint64_t max_dist,
                                                  std::optional<std::uint64_t> limit) {
  return trie.fuzzy_match(prefix::decode_utf8(prefix_text), max_dist, limit);
}

std::optional<prefix::MatchRecord> exact_match_impl(const prefix::SearchTrie& trie,
                                                    std::string_view prefix_text) {
  return trie.exact_match(prefix::decode_utf8(prefix_text));
}

// ---------------------------------------------------------------------------
// The PrefixSearch type and its instances.

constexpr std::string_view CLASS_NAME = "PrefixSearch";

constinit binding::OnceCell prefix_search_type_cell;

PyObject* refuse_new(PyTypeObject* type, PyObject* /*args*/, PyObject* /*kwargs*/) noexcept;
void dealloc_prefix_search(PyObject* self) noexcept;
extern PyMethodDef prefix_search_methods[];

// The PrefixSearch type object, created on first use. A failed creation is
// thrown as RuntimeError "An error occurred while initializing class
// PrefixSearch" caused by the interpreter's error; the next use tries again.
PyTypeObject* prefix_search_type_or_error() {
  return reinterpret_cast<PyTypeObject*>(prefix_search_type_cell.get_or_init([] {
    // Static: the type keeps pointers into the slot list and the PyType_Spec.
    static PyType_Slot slots[] = {
        {Py_tp_methods, static_cast<void*>(prefix_search_methods)},
        {Py_tp_base, static_cast<void*>(&PyBaseObject_Type)},
        {Py_tp_new, reinterpret_cast<void*>(refuse_new)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_prefix_search)},
        {0, nullptr},
    };
    static PyType_Spec spec = {"builtins.PrefixSearch", sizeof(PrefixSearchObject), 0,
                               Py_TPFLAGS_DEFAULT, slots};
    Ref type = Ref::steal(PyType_FromSpec(&spec));
    if (!type) {
      Error cause = Error::fetch();
      Error error =
          Error::pending(PyExc_RuntimeError,
                         "An error occurred while initializing class " + std::string(CLASS_NAME));
      binding::set_cause(error, Ref::borrow(cause.exception()));
      throw error;
    }
    return type;
  }));
}

// The PrefixSearch type object for the entry points, where a failed creation
// is printed and becomes the internal failure "failed to create type object
// for PrefixSearch".
PyTypeObject* prefix_search_type() {
  if (PyObject* type = prefix_search_type_cell.get()) return reinterpret_cast<PyTypeObject*>(type);
  try {
    return prefix_search_type_or_error();
  } catch (Error& error) {
    error.restore();
    PyErr_Print();
    throw prefix::InternalFailure("failed to create type object for " + std::string(CLASS_NAME));
  }
}

// A new PrefixSearch that owns `kept`.
Ref new_prefix_search(prefix::SearchTrie&& kept) {
  return new_prefix_search_of(prefix_search_type(), std::move(kept));
}

// A new PrefixSearch that owns `trie`, in the form SearchTrie picks (one
// pass over the nodes; nothing is refused).
Ref new_prefix_search(prefix::Trie&& trie) {
  return new_prefix_search(prefix::SearchTrie(std::move(trie)));
}

using Borrowed = binding::SharedBorrow<PrefixSearchObject>;

Borrowed borrow_self(PyObject* self) {
  return {self, prefix_search_type(), CLASS_NAME};
}

PyObject* refuse_new(PyTypeObject* type, PyObject* /*args*/, PyObject* /*kwargs*/) noexcept {
  return binding::run_entry_point([type]() -> Ref {
    const Ref name = Ref::steal(PyType_GetName(type));
    if (!name) {
      PyErr_Clear();
      throw Error::pending(PyExc_TypeError, "No constructor defined for <unknown>");
    }
    throw Error::pending(PyExc_TypeError, Ref::steal(PyUnicode_FromFormat(
                                              "No constructor defined for %U", name.get())));
  });
}

void dealloc_prefix_search(PyObject* self) noexcept {
  binding::run_unraisable([self] {
    auto* const instance = reinterpret_cast<PrefixSearchObject*>(self);
    std::destroy_at(&instance->borrow_count);
    std::destroy_at(&instance->trie);
    PyTypeObject* const type = Py_TYPE(self);
    if (type->tp_free == nullptr) {
      throw prefix::InternalFailure("type of a PrefixSearch instance has no tp_free slot");
    }
    type->tp_free(self);
    // Every instance of a heap type holds a reference to its type.
    Py_DECREF(type);
  });
}

// ---------------------------------------------------------------------------
// Entry points: bind, borrow, convert in parameter order, run the logic,
// convert the result. Every one runs inside binding::run_entry_point.

constexpr binding::FunctionDescription<3> FUZZY_MATCH{
    CLASS_NAME, "fuzzy_match", {"prefix", "max_dist", "limit"}, 3};
constexpr binding::FunctionDescription<1> EXACT_MATCH{CLASS_NAME, "exact_match", {"prefix"}, 1};
constexpr binding::FunctionDescription<1> GET_CHILDREN{CLASS_NAME, "get_children", {"node_id"}, 1};
constexpr binding::FunctionDescription<1> GET_PAYLOAD{CLASS_NAME, "get_payload", {"node_id"}, 1};
constexpr binding::FunctionDescription<4> FROM_INTERNAL_DATA{
    std::nullopt,
    "from_internal_data",
    {"node_shifts", "node_strings", "node_payloads", "child_indices"},
    4};
constexpr binding::FunctionDescription<1> FROM_BYTES{std::nullopt, "from_bytes", {"bs"}, 1};

PyObject* fuzzy_match(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(FUZZY_MATCH, args, nargs, kwnames);
    const Borrowed instance = borrow_self(self);
    const auto prefix_text = bound.convert<binding::Text>(0);
    const auto max_dist = bound.convert<binding::MachineWord>(1);
    const auto limit = bound.convert<binding::Optional<binding::MachineWord>>(2);
    // One pass from the records into a list made at its final length.
    const prefix::SearchTrie& trie = instance->trie;
    return binding::list_into_py(
        fuzzy_match_impl(trie, prefix_text, max_dist, limit),
        [&trie](const prefix::MatchRecord& record) { return to_match(trie, record); });
  });
}

PyObject* exact_match(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(EXACT_MATCH, args, nargs, kwnames);
    const Borrowed instance = borrow_self(self);
    const auto prefix_text = bound.convert<binding::Text>(0);
    const std::optional<prefix::MatchRecord> record = exact_match_impl(instance->trie, prefix_text);
    if (!record) return binding::into_py(std::nullopt);
    return binding::into_py(to_match(instance->trie, *record));
  });
}

PyObject* get_children(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(GET_CHILDREN, args, nargs, kwnames);
    const Borrowed instance = borrow_self(self);
    const auto node_id = bound.convert<binding::U32>(0);
    return binding::list_into_py(get_children_impl(instance->trie, node_id),
                                 [](const prefix::Child& child) {
                                   return std::pair{child.code_point, child.id};
                                 });
  });
}

PyObject* get_payload(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(GET_PAYLOAD, args, nargs, kwnames);
    const Borrowed instance = borrow_self(self);
    const auto node_id = bound.convert<binding::U32>(0);
    return binding::into_py(get_payload_impl(instance->trie, node_id));
  });
}

PyObject* from_internal_data(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    using binding::Optional;
    using binding::SequenceOf;
    using binding::U32;
    const auto bound = binding::bind(FROM_INTERNAL_DATA, args, nargs, kwnames);
    auto node_shifts = bound.convert<SequenceOf<U32>>(0);
    auto node_strings = bound.convert<SequenceOf<binding::Text>>(1);
    auto node_payloads = bound.convert<SequenceOf<Optional<U32>>>(2);
    auto child_indices = bound.convert<SequenceOf<U32>>(3);
    return new_prefix_search(from_internal_data_impl(
        std::move(node_shifts), node_strings, std::move(node_payloads), std::move(child_indices)));
  });
}

PyObject* to_bytes(PyObject* self, PyObject* /*unused*/) noexcept {
  return binding::run_entry_point([&] {
    const Borrowed instance = borrow_self(self);
    // The bytes object is created at the exact size and written in place.
    Ref bytes;
    instance->trie.encode_with([&bytes](std::size_t size) {
      bytes = binding::checked(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size)));
      return reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(bytes.get()));
    });
    return bytes;
  });
}

PyObject* from_bytes(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(FROM_BYTES, args, nargs, kwnames);
    // Exactly bytes or bytearray: decoded from the object's own buffer, which
    // cannot change meanwhile, since decoding runs no Python code. Any other
    // sequence is converted item by item first.
    if (const auto buffer = binding::detail::exact_byte_items(bound[0])) {
      return new_prefix_search(prefix::SearchTrie::from_bytes(*buffer));
    }
    const auto bytes = bound.convert<binding::SequenceOf<binding::U8>>(0);
    return new_prefix_search(prefix::SearchTrie::from_bytes(bytes));
  });
}

// ---------------------------------------------------------------------------
// Method and function tables. A documentation string is a signature line
// followed by "\n--\n\n": the interpreter takes it as __text_signature__ and
// leaves __doc__ None.

constexpr int FASTCALL_KEYWORDS = METH_FASTCALL | METH_KEYWORDS;

template <class Function>
PyCFunction as_cfunction(Function* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef prefix_search_methods[] = {
    {"fuzzy_match", as_cfunction(fuzzy_match), FASTCALL_KEYWORDS,
     "fuzzy_match($self, prefix, max_dist, limit)\n--\n\n"},
    {"exact_match", as_cfunction(exact_match), FASTCALL_KEYWORDS,
     "exact_match($self, prefix)\n--\n\n"},
    {"get_children", as_cfunction(get_children), FASTCALL_KEYWORDS,
     "get_children($self, node_id)\n--\n\n"},
    {"get_payload", as_cfunction(get_payload), FASTCALL_KEYWORDS,
     "get_payload($self, node_id)\n--\n\n"},
    {"to_bytes", as_cfunction(to_bytes), METH_NOARGS, "to_bytes($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// Static: each function object keeps a pointer to its definition for the
// life of the process.
PyMethodDef module_functions[] = {
    {"from_internal_data", as_cfunction(from_internal_data), FASTCALL_KEYWORDS,
     "from_internal_data(node_shifts, node_strings, node_payloads, child_indices)\n--\n\n"},
    {"from_bytes", as_cfunction(from_bytes), FASTCALL_KEYWORDS, "from_bytes(bs)\n--\n\n"},
};

// ---------------------------------------------------------------------------
// Module initialisation.

constexpr int C_API_VERSION = 1013;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_quorvatine", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// -1 until the first initialisation, then the id of the interpreter that ran it.
std::atomic<std::int64_t> interpreter_id{-1};
constinit binding::OnceCell cached_module;
constinit binding::OnceCell name_attribute;
constinit binding::OnceCell all_attribute;

constexpr const char* SECOND_INTERPRETER_MESSAGE =
    "_quorvatine cannot be loaded in a second interpreter of the same process: it is "
    "bound to the first interpreter that imported it. See \"One interpreter per process\" "
    "in the README.";

PyObject* interned(binding::OnceCell& cell, const char* text) {
  return cell.get_or_init([text] {
    Ref name = Ref::steal(PyUnicode_InternFromString(text));
    if (!name) binding::throw_fetched();
    return name;
  });
}

// Appends `name` to the module's __all__ (creating the list when the
// attribute is missing), then sets the attribute `name` to `object`.
void add_object(PyObject* module, PyObject* name, PyObject* object) {
  PyObject* const all_name = interned(all_attribute, "__all__");
  Ref all = Ref::steal(PyObject_GetAttr(module, all_name));
  if (!all) {
    Error error = Error::fetch();
    if (!error.is_instance_of(PyExc_AttributeError)) throw error;
    all = Ref::steal(PyList_New(0));
    if (!all) binding::throw_fetched();
    if (PyObject_SetAttr(module, all_name, all.get()) < 0) binding::throw_fetched();
  } else if (!PyList_Check(all.get())) {
    throw binding::type_mismatch(all.get(), "PyList");
  }
  if (PyList_Append(all.get(), name) < 0) {
    PyErr_Clear();
    throw prefix::InternalFailure("could not append __name__ to __all__");
  }
  if (PyObject_SetAttr(module, name, object) < 0) binding::throw_fetched();
}

void add_function(PyObject* module, PyMethodDef& definition) {
  const Ref module_name = Ref::steal(PyModule_GetNameObject(module));
  if (!module_name) binding::throw_fetched();
  const Ref function = Ref::steal(PyCMethod_New(&definition, module, module_name.get(), nullptr));
  if (!function) binding::throw_fetched();
  const Ref name =
      Ref::steal(PyObject_GetAttr(function.get(), interned(name_attribute, "__name__")));
  if (!name) binding::throw_fetched();
  if (!PyUnicode_Check(name.get())) throw binding::type_mismatch(name.get(), "PyString");
  add_object(module, name.get(), function.get());
}

void fill_module(PyObject* module) {
  for (PyMethodDef& definition : module_functions) add_function(module, definition);
  const Ref class_name = Ref::steal(
      PyUnicode_FromStringAndSize(CLASS_NAME.data(), static_cast<Py_ssize_t>(CLASS_NAME.size())));
  if (!class_name) binding::throw_fetched();
  add_object(module, class_name.get(), reinterpret_cast<PyObject*>(prefix_search_type_or_error()));
}

Ref initialise_module() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1) binding::throw_fetched();
  std::int64_t expected = -1;
  if (!interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
    throw Error::pending(PyExc_ImportError, SECOND_INTERPRETER_MESSAGE);
  }
  if (PyObject* module = cached_module.get()) return Ref::borrow(module);
  Ref module = Ref::steal(PyModule_Create2(&module_definition, C_API_VERSION));
  if (!module) binding::throw_fetched();
  fill_module(module.get());
  return Ref::borrow(cached_module.set_if_empty(std::move(module)));
}

}  // namespace

PyMODINIT_FUNC PyInit__quorvatine() {
  return binding::run_entry_point(initialise_module);
}
