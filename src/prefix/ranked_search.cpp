// The ranked queries: the walk and row kind for each, on the form the trie
// is kept in. Case-folded queries go to ranked_folded.cpp.
#include "prefix/ranked_search.hpp"

#include <cstdint>
#include <string_view>
#include <utility>

#include "prefix/distance/swap_choice.hpp"
#include "prefix/ranked_walks.hpp"
#include "prefix/walk/tree_of.hpp"

namespace prefix {
namespace {

template <class Walk>
std::vector<RankedMatch> ranked_as_stored(const SearchTrie& trie, const RankedQuery& query,
                                          std::uint64_t first, const PayloadMinima* minima,
                                          Walk walk) {
  return ranked_walks::ranked(
      query, query.text, first, minima, [&](auto use) { return walk::on_tree(trie, use); },
      [&](std::u32string_view text, std::uint64_t radius, auto&& use) {
        distance::with_rows_of(query.swaps, text, radius, std::forward<decltype(use)>(use));
      },
      walk);
}

}  // namespace

std::vector<RankedMatch> suggest(const SearchTrie& trie, const RankedQuery& query) {
  if (query.fold) return ranked_walks::suggest_folded(trie, query);
  return ranked_as_stored(trie, query, ranked_walks::first_radius(query),
                          ranked_walks::suggest_minima(trie, query), ranked_walks::SUGGEST_WALK);
}

std::vector<RankedMatch> complete(const SearchTrie& trie, const RankedQuery& query) {
  if (query.fold) return ranked_walks::complete_folded(trie, query);
  return ranked_as_stored(trie, query, ranked_walks::FIRST_COMPLETION_RADIUS, nullptr,
                          ranked_walks::COMPLETE_WALK);
}

}  // namespace prefix
