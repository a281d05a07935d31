// The module root of quorvatine._native, the helper package's compiled part:
// initialisation and the table of entry points. Tries it builds are
// _quorvatine.PrefixSearch instances, made here in that type's layout. Each entry point binds and
// converts its arguments, then calls logic that takes and returns C++ values.
#include <Python.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "binding/compat.hpp"
#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/panic.hpp"
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "native/column_calls.hpp"
#include "native/index_calls.hpp"
#include "native/instance.hpp"
#include "native/python_words.hpp"
#include "native/released_lock.hpp"
#include "native/search_calls.hpp"
#include "native/segment.hpp"
#include "native/spell.hpp"
#include "native/suggest.hpp"
#include "native/text_words.hpp"
#include "native/trie_results.hpp"
#include "native/word_file_source.hpp"
#include "prefix/failure.hpp"
#include "prefix/store/layout.hpp"
#include "prefix/store/word_list.hpp"
#include "prefix_search_object.hpp"

namespace {

using binding::Ref;

// The layout of gathered words, with the lock released; the words are
// released before the arrays are returned.
prefix::FlatArrays lay_out_released(prefix::WordList words, std::vector<std::uint32_t> order) {
  return native::without_lock([&] {
    prefix::FlatArrays arrays = prefix::lay_out(words, order);
    words = {};
    order = {};
    return arrays;
  });
}

// A PrefixSearch holding the trie of gathered words, kept as a shared tree
// built straight from the sorted words, with the lock released; the words
// are released before the instance is made.
Ref into_prefix_search(prefix::WordList words, std::vector<std::uint32_t> order) {
  prefix::SearchTrie trie = native::without_lock([&] {
    prefix::SearchTrie built = prefix::SearchTrie::from_words(words, order);
    words = {};
    order = {};
    return built;
  });
  return new_prefix_search_of(native::prefix_search_type(), std::move(trie));
}

// A path argument as the bytes the file system takes (os.fsencode's result).
PyObject* checked_path(PyObject* path) {
  if (!PyBytes_Check(path)) throw binding::type_mismatch(path, "PyBytes");
  return path;
}

PyObject* checked_name(PyObject* name) {
  if (!PyUnicode_Check(name)) throw binding::type_mismatch(name, "PyString");
  return name;
}

constexpr binding::FunctionDescription<2> LAY_OUT{
    std::nullopt, "lay_out", {"words", "is_mapping"}, 2};
constexpr binding::FunctionDescription<2> BUILD{std::nullopt, "build", {"words", "is_mapping"}, 2};
constexpr binding::FunctionDescription<2> BUILD_WORD_FILE{
    std::nullopt, "build_word_file", {"path", "name"}, 2};
constexpr binding::FunctionDescription<2> ENCODE_WORD_FILE{
    std::nullopt, "encode_word_file", {"path", "name"}, 2};
constexpr binding::FunctionDescription<2> READ_WORD_FILE{
    std::nullopt, "read_word_file", {"path", "name"}, 2};

PyObject* lay_out(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(LAY_OUT, args, nargs, kwnames);
    native::SortedWords sorted = native::gather_words(bound[0], binding::Truth::convert(bound[1]));
    return native::arrays_into_py(
        lay_out_released(std::move(sorted.words), std::move(sorted.order)));
  });
}

PyObject* build(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(BUILD, args, nargs, kwnames);
    native::SortedWords sorted = native::gather_words(bound[0], binding::Truth::convert(bound[1]));
    return into_prefix_search(std::move(sorted.words), std::move(sorted.order));
  });
}

PyObject* build_word_file(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(BUILD_WORD_FILE, args, nargs, kwnames);
    prefix::WordFile file = native::read_word_file(checked_path(bound[0]), checked_name(bound[1]));
    return into_prefix_search(std::move(file.words), std::move(file.order));
  });
}

PyObject* encode_word_file(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(ENCODE_WORD_FILE, args, nargs, kwnames);
    prefix::WordFile file = native::read_word_file(checked_path(bound[0]), checked_name(bound[1]));
    return native::bytes_into_py(lay_out_released(std::move(file.words), std::move(file.order)));
  });
}

// The words of a file as Python reads them: a list in file order, or a dict
// of word to payload when the file has a payload column.
Ref word_file_into_py(const prefix::WordFile& file) {
  const auto word = [&file](std::size_t i) {
    const std::string_view text = file.words.word(i);
    return binding::checked(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
  };
  if (!file.with_payloads) {
    Ref list = binding::checked(PyList_New(static_cast<Py_ssize_t>(file.words.size())));
    for (std::size_t i = 0; i < file.words.size(); ++i) {
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), word(i).release());
    }
    return list;
  }
  Ref dict = binding::checked(PyDict_New());
  for (std::size_t i = 0; i < file.words.size(); ++i) {
    const Ref payload = binding::into_py(file.words.payload(i));
    if (PyDict_SetItem(dict.get(), word(i).get(), payload.get()) < 0) binding::throw_fetched();
  }
  return dict;
}

PyObject* read_word_file(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(READ_WORD_FILE, args, nargs, kwnames);
    return word_file_into_py(
        native::read_word_file(checked_path(bound[0]), checked_name(bound[1])));
  });
}

template <class Function>
PyCFunction as_cfunction(Function* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int FASTCALL_KEYWORDS = METH_FASTCALL | METH_KEYWORDS;

// New entry points join this table; each documentation string is a signature
// line followed by "\n--\n\n" and one line of what the function does.
PyMethodDef module_functions[] = {
    {"lay_out", as_cfunction(lay_out), FASTCALL_KEYWORDS,
     "lay_out(words, is_mapping)\n--\n\nThe four node arrays of the trie holding `words`."},
    {"build", as_cfunction(build), FASTCALL_KEYWORDS,
     "build(words, is_mapping)\n--\n\nA PrefixSearch holding `words`."},
    {"build_word_file", as_cfunction(build_word_file), FASTCALL_KEYWORDS,
     "build_word_file(path, name)\n--\n\nA PrefixSearch holding the words of a word-list file."},
    {"encode_word_file", as_cfunction(encode_word_file), FASTCALL_KEYWORDS,
     "encode_word_file(path, name)\n--\n\nThe byte form of the trie of a word-list file."},
    {"read_word_file", as_cfunction(read_word_file), FASTCALL_KEYWORDS,
     "read_word_file(path, name)\n--\n\nThe words of a word-list file, as a list or a dict."},
    {"fuzzy_match_many", as_cfunction(native::fuzzy_match_many), FASTCALL_KEYWORDS,
     "fuzzy_match_many(trie, queries, max_dist, limit, threads, progress)\n--\n\n"
     "trie.fuzzy_match(q, max_dist, limit) for each query q, on native threads."},
    {"items", as_cfunction(native::items), FASTCALL_KEYWORDS,
     "items(trie)\n--\n\nEvery stored key with its payload, in stored pre-order."},
    {"key_count", as_cfunction(native::key_count), FASTCALL_KEYWORDS,
     "key_count(trie)\n--\n\nThe number of stored keys."},
    {"suggest", as_cfunction(native::suggest), FASTCALL_KEYWORDS,
     "suggest(trie, word, n, max_dist, transpositions, scores, fold)\n--\n\nThe n keys nearest to "
     "`word`, best first."},
    {"complete", as_cfunction(native::complete), FASTCALL_KEYWORDS,
     "complete(trie, prefix, n, max_dist, transpositions, scores, fold)\n--\n\nThe n best keys "
     "beginning within max_dist of `prefix`."},
    {"suggest_many", as_cfunction(native::suggest_many), FASTCALL_KEYWORDS,
     "suggest_many(trie, words, n, max_dist, transpositions, scores, threads, progress, "
     "fold)\n--\n\n"
     "suggest(trie, w, ...) for each word w, on native threads."},
    {"complete_many", as_cfunction(native::complete_many), FASTCALL_KEYWORDS,
     "complete_many(trie, prefixes, n, max_dist, transpositions, scores, threads, "
     "progress, fold)\n--\n\n"
     "complete(trie, p, ...) for each prefix p, on native threads."},
    {"segment_many", as_cfunction(native::segment_many), FASTCALL_KEYWORDS,
     "segment_many(trie, jobs, max_dist, transpositions, costs, threads, pairs=None)\n--\n\n"
     "The cheapest segmentation of each job's text into keys, on native threads."},
    {"unwritten_words", as_cfunction(native::unwritten_words), FASTCALL_KEYWORDS,
     "unwritten_words(trie, texts)\n--\n\nThe (start, end) of each word of each text that "
     "`trie` does not hold as written."},
    {"text_words", as_cfunction(native::text_words), FASTCALL_KEYWORDS,
     "text_words(trie, texts)\n--\n\nThe (start, end, payload as written or None) of each word "
     "of each text."},
    {"match_column", as_cfunction(native::match_column), FASTCALL_KEYWORDS,
     "match_column(trie, source, nulls, n, max_dist, transpositions, scores, threads, "
     "progress)\n--\n\nThe n best keys for each row of a column, as columns."},
    {"export_matches", as_cfunction(native::export_matches), FASTCALL_KEYWORDS,
     "export_matches(answer, column)\n--\n\nArrow schema and array capsules of a column."},
    {"export_match_stream", as_cfunction(native::export_match_stream), FASTCALL_KEYWORDS,
     "export_match_stream(answer)\n--\n\nAn Arrow stream capsule of the columns."},
    {"match_values", as_cfunction(native::match_values), FASTCALL_KEYWORDS,
     "match_values(answer, column)\n--\n\nThe bytes of a numeric column, or of the found marks."},
    {"match_keys", as_cfunction(native::match_keys), FASTCALL_KEYWORDS,
     "match_keys(answer)\n--\n\nThe keys of an answer as a list of str and None."},
    {"map_file", as_cfunction(native::map_file), FASTCALL_KEYWORDS,
     "map_file(fd, name)\n--\n\nA PrefixSearch reading the index file open on `fd` in place."},
    {"from_image", as_cfunction(native::from_image), FASTCALL_KEYWORDS,
     "from_image(data)\n--\n\nA PrefixSearch from the bytes of an index file."},
    {"image", as_cfunction(native::image), FASTCALL_KEYWORDS,
     "image(trie)\n--\n\nThe bytes of the index file of `trie`."},
    {"file_reference", as_cfunction(native::file_reference), FASTCALL_KEYWORDS,
     "file_reference(trie)\n--\n\n(path, size, checksum, counts_in_file) of the file `trie` "
     "is mapped from, or None."},
    {"form", as_cfunction(native::form), FASTCALL_KEYWORDS,
     "form(trie)\n--\n\nHow `trie` is kept: 'shared', 'compact' or 'arrays'."},
    {"key_counts", as_cfunction(native::key_counts), FASTCALL_KEYWORDS,
     "key_counts(trie)\n--\n\nThe counts per payload kept with `trie`, as a read-only "
     "memoryview, or None."},
    {"with_key_counts", as_cfunction(native::with_key_counts), FASTCALL_KEYWORDS,
     "with_key_counts(trie, counts)\n--\n\nA PrefixSearch sharing `trie`'s data, with "
     "`counts` per payload."},
    {"spell_index", as_cfunction(native::spell_index), FASTCALL_KEYWORDS,
     "spell_index(trie, counts)\n--\n\nThe spelling indexes of the trie's keys, for spell, "
     "with the counts they rank by."},
    {"sound_code", as_cfunction(native::sound_code), FASTCALL_KEYWORDS,
     "sound_code(word)\n--\n\nThe sound code of `word`, case folded."},
    {"spell", as_cfunction(native::spell), FASTCALL_KEYWORDS,
     "spell(trie, index, word, n, max_dist, fold, counts)\n--\n\nThe n likeliest corrections "
     "of `word`, best first."},
    {"spell_many", as_cfunction(native::spell_many), FASTCALL_KEYWORDS,
     "spell_many(trie, index, words, n, max_dist, fold, counts, threads, progress)\n--\n\n"
     "spell(trie, index, w, ...) for each word w, on native threads."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quorvatine._native",
    "The compiled part of the quorvatine package: layouts from words and word-list files, "
    "batches of queries on native threads, the keys of a trie.",
    0,
    module_functions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Internal failures here raise the class _quorvatine raises: it makes the class
// on first need and does not list it, so one harmless failure (a payload query
// on `empty`, a trie without nodes) hands it over.
void share_panic_exception_class(PyObject* empty) {
  const Ref answer = Ref::steal(PyObject_CallMethod(empty, "get_payload", "i", 0));
  const Ref raised = Ref::steal(binding::compat::get_raised_exception());
  if (answer || !raised) {
    throw prefix::InternalFailure("a payload query on a trie without nodes did not fail");
  }
  binding::adopt_panic_exception_class(reinterpret_cast<PyObject*>(Py_TYPE(raised.get())));
}

Ref initialise_module() {
  const Ref extension = Ref::steal(PyImport_ImportModule("_quorvatine"));
  if (!extension) binding::throw_fetched();
  const Ref empty = native::adopt_prefix_search_type(extension.get());
  share_panic_exception_class(empty.get());
  Ref module = Ref::steal(PyModule_Create(&module_definition));
  if (!module) binding::throw_fetched();
  const Ref longest = binding::checked(PyLong_FromSize_t(prefix::MAX_WORD_BYTES));
  if (PyModule_AddObjectRef(module.get(), "MAX_WORD_BYTES", longest.get()) < 0) {
    binding::throw_fetched();
  }
  return module;
}

}  // namespace

PyMODINIT_FUNC PyInit__native() {
  return binding::run_entry_point(initialise_module);
}
