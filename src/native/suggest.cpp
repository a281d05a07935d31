// Binding of the ranked queries: arguments to a prefix::RankedQuery, the
// matches back as tuples; one query with its scores read lazily under the
// lock, or a batch on native threads with its scores read once up front.
#include "native/suggest.hpp"

#include <cstddef>
#include <cstdint>
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
#include "native/scores.hpp"
#include "prefix/ranked_search.hpp"
#include "prefix/utf8.hpp"

namespace native {
namespace {

using Matches = std::vector<prefix::RankedMatch>;

// A match as the calls return it, the key borrowed from the match.
std::tuple<std::string_view, std::uint32_t, std::uint64_t> as_tuple(
    const prefix::RankedMatch& match) {
  return {match.key, match.payload, match.distance};
}

// n, max_dist and transpositions, the arguments after the query text, and
// fold, the last one.
struct RankedOptions {
  std::uint64_t n;
  std::uint64_t max_dist;
  bool swaps;
  bool fold;

  template <class Bound>
  static RankedOptions from(Bound& bound) {
    const std::uint64_t n = binding::MachineWord::convert(bound[2]);
    const std::uint64_t max_dist = binding::MachineWord::convert(bound[3]);
    const bool swaps = binding::Truth::convert(bound[4]);
    return {n, max_dist, swaps, binding::Truth::convert(bound.slots().back())};
  }

  [[nodiscard]] prefix::RankedQuery query(std::u32string_view text,
                                          const prefix::ScoreOf& score_of) const {
    return {text, n, max_dist, swaps, fold, score_of};
  }
};

constexpr binding::FunctionDescription<7> SUGGEST{
    std::nullopt,
    "suggest",
    {"trie", "word", "n", "max_dist", "transpositions", "scores", "fold"},
    7};
constexpr binding::FunctionDescription<7> COMPLETE{
    std::nullopt,
    "complete",
    {"trie", "prefix", "n", "max_dist", "transpositions", "scores", "fold"},
    7};
constexpr binding::FunctionDescription<9> SUGGEST_MANY{
    std::nullopt,
    "suggest_many",
    {"trie", "words", "n", "max_dist", "transpositions", "scores", "threads", "progress", "fold"},
    9};
constexpr binding::FunctionDescription<9> COMPLETE_MANY{
    std::nullopt,
    "complete_many",
    {"trie", "prefixes", "n", "max_dist", "transpositions", "scores", "threads", "progress",
     "fold"},
    9};

template <std::size_t N, class Query>
PyObject* ranked_entry(const binding::FunctionDescription<N>& description, Query query,
                       PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    auto bound = binding::bind(description, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const std::u32string text = prefix::decode_utf8(binding::Text::convert(bound[1]));
    const RankedOptions options = RankedOptions::from(bound);
    const prefix::ScoreOf score_of = lazy_scores(bound[5]);
    return binding::list_into_py(query(borrowed.trie(), options.query(text, score_of)), as_tuple);
  });
}

// The batch: every query converted and the scores read with the lock held,
// the walks on native threads without it, the lists built with it again.
template <std::size_t N, class Query>
PyObject* ranked_batch_entry(const binding::FunctionDescription<N>& description, Query query,
                             PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    auto bound = binding::bind(description, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    Queries queries = code_points_of(bound[1]);
    const RankedOptions options = RankedOptions::from(bound);
    const std::size_t threads = thread_count(bound.template convert<binding::MachineWord>(6));
    const prefix::SearchTrie& trie = borrowed.trie();
    // No query reads a score of an empty batch, so it reads none.
    const bool reads_scores = !queries.texts.empty() && bound[5] != Py_None;
    ScoreTable scores(reads_scores ? bound[5] : Py_None,
                      reads_scores ? trie.largest_payload() : std::nullopt);
    const std::vector<std::u32string>& texts = queries.texts;
    BatchProgress progress(bound[7], texts.size());
    binding::Ref answers;
    try {
      answers = answers_into_list<Matches>(
          texts.size(), threads,
          [&](std::size_t i) { return query(trie, options.query(texts[i], scores.score_of())); },
          as_tuple, progress);
    } catch (const UnusableScore& refused) {
      throw scores.error_for(refused);
    }
    // Every query before the refused one was answered without failing.
    if (queries.refused) throw std::move(*queries.refused);
    return answers;
  });
}

constexpr auto SUGGEST_QUERY = [](const prefix::SearchTrie& trie,
                                  const prefix::RankedQuery& query) {
  return prefix::suggest(trie, query);
};
constexpr auto COMPLETE_QUERY = [](const prefix::SearchTrie& trie,
                                   const prefix::RankedQuery& query) {
  return prefix::complete(trie, query);
};

}  // namespace

PyObject* suggest(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
  return ranked_entry(SUGGEST, SUGGEST_QUERY, args, nargs, kwnames);
}

PyObject* complete(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
  return ranked_entry(COMPLETE, COMPLETE_QUERY, args, nargs, kwnames);
}

PyObject* suggest_many(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return ranked_batch_entry(SUGGEST_MANY, SUGGEST_QUERY, args, nargs, kwnames);
}

PyObject* complete_many(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
  return ranked_batch_entry(COMPLETE_MANY, COMPLETE_QUERY, args, nargs, kwnames);
}

}  // namespace native
