// The words of a text, as the package's text module's regular expressions
// find them, read in place from the str and looked up as written.
#include "native/text_words.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "native/instance.hpp"
#include "prefix/match_record.hpp"
#include "prefix/search_trie.hpp"

namespace native {
namespace {

// Characters classified as the re module classifies them for str patterns.
bool is_word(Py_UCS4 c) {
  return Py_UNICODE_ISALNUM(c) || c == U'_';
}
bool is_letter(Py_UCS4 c) {
  return c != U'_' && !Py_UNICODE_ISDECIMAL(c) && Py_UNICODE_ISALNUM(c);
}
bool joins(Py_UCS4 c) {
  return c == U'\'' || c == U'\u2019' || c == U'.';
}

// Calls take(start, end, word) for each word of `text`, in order: its
// offsets and its code points.
template <class Take>
void for_each_word(PyObject* text, Take take) {
  const int kind = PyUnicode_KIND(text);
  const void* const data = PyUnicode_DATA(text);
  const std::size_t n = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text));
  const auto at = [&](std::size_t k) { return PyUnicode_READ(kind, data, k); };
  std::u32string word;
  std::size_t k = 0;
  while (k < n) {
    if (!is_word(at(k))) {
      ++k;
      continue;
    }
    // A chunk: word characters, and joiners each between two of them.
    const std::size_t start = k;
    bool letters = true;
    word.clear();
    while (true) {
      for (; k < n && is_word(at(k)); ++k) {
        const Py_UCS4 c = at(k);
        letters = letters && is_letter(c);
        word.push_back(static_cast<char32_t>(c));
      }
      if (k + 1 < n && joins(at(k)) && is_word(at(k + 1))) {
        letters = letters && at(k) != U'.';
        word.push_back(static_cast<char32_t>(at(k)));
        ++k;
        continue;
      }
      break;
    }
    if (letters) take(start, k, std::u32string_view(word));
  }
}

// The offsets of the words of `text` the trie does not hold as written.
std::vector<std::tuple<std::size_t, std::size_t>> unwritten_in(const prefix::SearchTrie& trie,
                                                               PyObject* text) {
  std::vector<std::tuple<std::size_t, std::size_t>> found;
  for_each_word(text, [&](std::size_t start, std::size_t end, std::u32string_view word) {
    if (!trie.exact_match(word)) found.emplace_back(start, end);
  });
  return found;
}

// The offsets of every word of `text`, with the payload it has as written.
std::vector<std::tuple<std::size_t, std::size_t, std::optional<std::uint32_t>>> words_in(
    const prefix::SearchTrie& trie, PyObject* text) {
  std::vector<std::tuple<std::size_t, std::size_t, std::optional<std::uint32_t>>> found;
  for_each_word(text, [&](std::size_t start, std::size_t end, std::u32string_view word) {
    const std::optional<prefix::MatchRecord> record = trie.exact_match(word);
    found.emplace_back(start, end, record ? trie.payload_of(*record) : std::nullopt);
  });
  return found;
}

// Each text of the list `texts` converted by `scan(trie, text)`, in a list.
template <class Scan>
binding::Ref each_text(const prefix::SearchTrie& trie, PyObject* texts, Scan scan) {
  if (!PyList_Check(texts)) {
    throw binding::Error::pending(PyExc_TypeError, "texts must be a list of str");
  }
  const Py_ssize_t count = PyList_GET_SIZE(texts);
  binding::Ref out = binding::checked(PyList_New(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* const text = PyList_GET_ITEM(texts, i);
    if (!PyUnicode_Check(text)) {
      throw binding::Error::pending(PyExc_TypeError, "texts must be a list of str");
    }
    PyList_SET_ITEM(out.get(), i, binding::into_py(scan(trie, text)).release());
  }
  return out;
}

constexpr binding::FunctionDescription<2> UNWRITTEN_WORDS{
    std::nullopt, "unwritten_words", {"trie", "texts"}, 2};
constexpr binding::FunctionDescription<2> TEXT_WORDS{
    std::nullopt, "text_words", {"trie", "texts"}, 2};

}  // namespace

PyObject* unwritten_words(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(UNWRITTEN_WORDS, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    return each_text(borrowed.trie(), bound[1], unwritten_in);
  });
}

PyObject* text_words(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(TEXT_WORDS, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    return each_text(borrowed.trie(), bound[1], words_in);
  });
}

}  // namespace native
