// Binding of the ranked queries: arguments to a prefix::RankedQuery, the
// score sequence read lazily under the lock, the matches back as tuples.
#include "native/suggest.hpp"

#include <cmath>
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
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "native/instance.hpp"
#include "prefix/ranked_search.hpp"
#include "prefix/utf8.hpp"

namespace native {
namespace {

using binding::Ref;

// scores[payload] as a float: a sequence of numbers, indexed at each
// payload of a key in reach. Errors say which payload had no usable score.
prefix::ScoreOf scores_from(PyObject* scores) {
  if (scores == Py_None) return {};
  return [scores](std::uint32_t payload) {
    const Py_ssize_t size = PySequence_Size(scores);
    if (size < 0) binding::throw_fetched();
    if (payload >= static_cast<std::size_t>(size)) {
      throw binding::Error::pending(PyExc_ValueError, "scores has " + std::to_string(size) +
                                                          " entries: none for payload " +
                                                          std::to_string(payload));
    }
    const Ref item = Ref::steal(PySequence_GetItem(scores, static_cast<Py_ssize_t>(payload)));
    if (!item) binding::throw_fetched();
    if (!PyFloat_Check(item.get()) && !PyLong_Check(item.get())) {
      throw binding::Error::pending(
          PyExc_TypeError, "scores[" + std::to_string(payload) + "] is not an int or a float");
    }
    const double score = PyFloat_AsDouble(item.get());
    if (score == -1.0 && PyErr_Occurred() != nullptr) binding::throw_fetched();
    if (std::isnan(score)) {
      throw binding::Error::pending(PyExc_ValueError,
                                    "scores[" + std::to_string(payload) + "] is NaN");
    }
    return score;
  };
}

Ref matches_into_py(std::vector<prefix::RankedMatch>&& matches) {
  return binding::list_into_py(std::move(matches), [](const prefix::RankedMatch& match) {
    return std::tuple{std::string_view(match.key), match.payload, match.distance};
  });
}

constexpr binding::FunctionDescription<6> SUGGEST{
    std::nullopt, "suggest", {"trie", "word", "n", "max_dist", "transpositions", "scores"}, 6};
constexpr binding::FunctionDescription<6> COMPLETE{
    std::nullopt, "complete", {"trie", "prefix", "n", "max_dist", "transpositions", "scores"}, 6};

template <std::size_t N, class Query>
PyObject* ranked_entry(const binding::FunctionDescription<N>& description, Query query,
                       PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(description, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::SearchTrie& trie = borrowed.trie();
    const std::u32string text = prefix::decode_utf8(binding::Text::convert(bound[1]));
    const std::uint64_t n = binding::MachineWord::convert(bound[2]);
    const std::uint64_t max_dist = binding::MachineWord::convert(bound[3]);
    const int swaps = PyObject_IsTrue(bound[4]);
    if (swaps < 0) binding::throw_fetched();
    const prefix::ScoreOf score_of = scores_from(bound[5]);
    return matches_into_py(
        query(trie, prefix::RankedQuery{text, n, max_dist, swaps != 0, score_of}));
  });
}

}  // namespace

PyObject* suggest(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
  return ranked_entry(
      SUGGEST, [](const auto& trie, const auto& query) { return prefix::suggest(trie, query); },
      args, nargs, kwnames);
}

PyObject* complete(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
  return ranked_entry(
      COMPLETE, [](const auto& trie, const auto& query) { return prefix::complete(trie, query); },
      args, nargs, kwnames);
}

}  // namespace native
