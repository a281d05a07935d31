// The ranked queries with case ignored: the query folded, the walks over a
// folded view of the trie's tree, with the row kinds of near walks
// (distance::with_near_rows_of), a unit apart from the walks as stored.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "prefix/distance/swap_choice.hpp"
#include "prefix/ranked_walks.hpp"
#include "prefix/spell/case_fold.hpp"
#include "prefix/walk/tree_of.hpp"

namespace prefix::ranked_walks {
namespace {

template <class Walk>
std::vector<RankedMatch> ranked_folded(const SearchTrie& trie, const RankedQuery& query,
                                       std::uint64_t first, const PayloadMinima* minima,
                                       Walk walk) {
  const std::u32string folded = fold_case(query.text);
  return ranked(
      query, folded, first, minima, [&](auto use) { return walk::on_folded_tree(trie, use); },
      [&](std::u32string_view text, std::uint64_t radius, auto&& use) {
        distance::with_near_rows_of(query.swaps, text, radius, std::forward<decltype(use)>(use));
      },
      walk);
}

}  // namespace

std::vector<RankedMatch> suggest_folded(const SearchTrie& trie, const RankedQuery& query) {
  return ranked_folded(trie, query, first_radius(query), suggest_minima(trie, query), SUGGEST_WALK);
}

std::vector<RankedMatch> complete_folded(const SearchTrie& trie, const RankedQuery& query) {
  return ranked_folded(trie, query, FIRST_COMPLETION_RADIUS, nullptr, COMPLETE_WALK);
}

}  // namespace prefix::ranked_walks
