// The batch of fuzzy queries on native threads, and the keys of a trie.
#include "native/search_calls.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/results.hpp"
#include "native/instance.hpp"
#include "native/queries.hpp"
#include "native/released_lock.hpp"
#include "prefix/checked/matcher.hpp"
#include "prefix/search_trie.hpp"

namespace native {

namespace {

// A match as fuzzy_match returns it: (text, payload, distance), the text
// borrowed from its record.
using Match = std::tuple<std::string_view, std::optional<std::uint32_t>, std::uint64_t>;

// A record of the batch with its node's payload, looked up on the thread that
// found it, so that only the Python objects are made with the lock held.
struct Found {
  prefix::MatchRecord record;
  std::optional<std::uint32_t> payload;
};

std::vector<Found> with_payloads(const prefix::SearchTrie& trie,
                                 std::vector<prefix::MatchRecord>&& records) {
  std::vector<Found> found;
  found.reserve(records.size());
  for (prefix::MatchRecord& record : records) {
    const std::optional<std::uint32_t> payload = trie.payload_of(record);
    found.push_back(Found{std::move(record), payload});
  }
  return found;
}

Match as_match(const Found& found) {
  return {found.record.text, found.payload, found.record.distance};
}

// Every key of `trie`: an empty query reaches each key at its depth, so no
// bound closes a node, and keys come in plain stored pre-order.
std::vector<prefix::MatchRecord> all_keys(const prefix::SearchTrie& trie) {
  return without_lock([&trie] {
    return trie.fuzzy_match(U"", std::numeric_limits<std::uint64_t>::max(), std::nullopt);
  });
}

constexpr binding::FunctionDescription<6> FUZZY_MATCH_MANY{
    std::nullopt,
    "fuzzy_match_many",
    {"trie", "queries", "max_dist", "limit", "threads", "progress"},
    6};
constexpr binding::FunctionDescription<1> ITEMS{std::nullopt, "items", {"trie"}, 1};
constexpr binding::FunctionDescription<1> KEY_COUNT{std::nullopt, "key_count", {"trie"}, 1};

}  // namespace

PyObject* fuzzy_match_many(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(FUZZY_MATCH_MANY, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    Queries queries = code_points_of(bound[1]);
    std::uint64_t max_dist = 0;
    std::optional<std::uint64_t> limit;
    try {
      max_dist = bound.convert<binding::MachineWord>(2);
      limit = bound.convert<binding::Optional<binding::MachineWord>>(3);
    } catch (binding::Error&) {
      // The loop converts the first query's text before the numbers.
      if (queries.texts.empty() && queries.refused) throw std::move(*queries.refused);
      throw;
    }
    const std::size_t threads = thread_count(bound.convert<binding::MachineWord>(4));

    const prefix::SearchTrie& trie = borrowed.trie();
    const std::vector<std::u32string>& texts = queries.texts;
    BatchProgress progress(bound[5], texts.size());
    binding::Ref answers = answers_into_list<std::vector<Found>>(
        texts.size(), threads,
        [&](std::size_t i) {
          return with_payloads(trie, trie.fuzzy_match(texts[i], max_dist, limit));
        },
        as_match, progress);
    // Every query before the refused one was answered without failing.
    if (queries.refused) throw std::move(*queries.refused);
    return answers;
  });
}

PyObject* items(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(ITEMS, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::SearchTrie& trie = borrowed.trie();
    return binding::list_into_py(all_keys(trie), [&trie](const prefix::MatchRecord& record) {
      return std::pair{std::string_view(record.text), trie.payload_of(record)};
    });
  });
}

PyObject* key_count(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(KEY_COUNT, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    return binding::into_py(static_cast<std::uint64_t>(all_keys(borrowed.trie()).size()));
  });
}

}  // namespace native
