// How the ranked queries walk: the walks at growing radii and the first
// radius, shared by the unit of the walks as stored (ranked_search.cpp) and
// the unit of the case-folded walks (ranked_folded.cpp), so that each
// compiles its own instantiations.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/ranked_search.hpp"
#include "prefix/walk/completion_walk.hpp"
#include "prefix/walk/top_sink.hpp"
#include "prefix/walk/tree_walk.hpp"

namespace prefix::ranked_walks {

// Radii tried before max_dist itself: each walk costs several times the one
// before, so when n keys lie within a small radius, the walks up to it cost
// less than one at max_dist; when they do not, the smaller walks add a
// fraction of the last one.
constexpr std::uint64_t DEEPEN_UP_TO = 3;

// Walks `text` (the query's, folded for folded views) at radius `first`,
// first + 1, ... DEEPEN_UP_TO, then max_dist, each with a fresh sink, until
// one holds n keys: every key within that radius was offered to it, so its
// n best are the n best within max_dist. A walk after one that found nothing
// knows that no key lies nearer than the radius it walked at, plus one.
// `on_tree(use)` calls use(view, payload_of) (walk/tree_of.hpp),
// `with_rows(text, radius, use)` calls use(rows) with the row kind for the
// radius, `walk(view, rows, text, radius, sink)` is one walk. `minima`
// (null: none) are the trie's payload minima, for walks whose sinks pass
// over ranges of keys (top_sink.hpp).
template <class OnTree, class WithRows, class Walk>
std::vector<RankedMatch> ranked(const RankedQuery& query, std::u32string_view text,
                                std::uint64_t first, const PayloadMinima* minima, OnTree on_tree,
                                WithRows with_rows, Walk walk) {
  return on_tree([&](const auto& view, auto payload_of) {
    std::uint64_t radius = std::min(query.max_dist, first);
    walk::RankedBounds bounds{0, minima};
    while (true) {
      walk::TopSink sink(query.n, radius, payload_of, query.score_of, bounds);
      with_rows(text, radius, [&](auto&& rows) {
        walk(view, std::forward<decltype(rows)>(rows), text, radius, sink);
      });
      if (radius == query.max_dist || sink.size() >= query.n) return std::move(sink).take();
      if (sink.size() == 0) bounds.floor = radius + 1;
      radius = radius < DEEPEN_UP_TO ? radius + 1 : query.max_dist;
    }
  });
}

// The payload minima suggest's walks pass over keys with: the trie's, when
// the query ranks by payload (no scores).
inline const PayloadMinima* suggest_minima(const SearchTrie& trie, const RankedQuery& query) {
  return query.score_of ? nullptr : trie.payload_minima();
}

// Words of this many code points or more rarely have several keys one edit
// away (in an English word list, 4% of 1,000 misspellings of 9 code points
// on average have 5), so suggest's walks start at radius 2 for them, unless
// one key is asked for: the walk at radius 1 would cost a tenth of the one at
// 2 and seldom spare it.
constexpr std::size_t LONG_WORD = 6;

// The first radius of suggest's walks. The best key alone (n = 1) is often
// the word itself (a third of a column of messy data is spelled right), and
// the walk at radius 0 follows one path: trying it first costs little and
// spares the walk at 1 for those words (6% fewer instructions on words with
// 0 to 2 random edits against a word list of 663,473). Going from 0 straight
// to max_dist, the query's continuation first so that the radius drops as
// soon as a near key is found, costs more than the walk at 1 it spares.
inline std::uint64_t first_radius(const RankedQuery& query) {
  if (query.n == 1) return 0;
  return query.text.size() >= LONG_WORD ? 2 : 1;
}

// The first radius of complete's walks.
constexpr std::uint64_t FIRST_COMPLETION_RADIUS = 1;

inline constexpr auto SUGGEST_WALK = [](const auto& view, auto&& rows, auto text, auto max_dist,
                                        auto& sink) {
  walk::walk_tree(view, std::forward<decltype(rows)>(rows), text, max_dist, sink);
};
inline constexpr auto COMPLETE_WALK = [](const auto& view, auto&& rows, auto text, auto max_dist,
                                         auto& sink) {
  walk::complete_tree(view, std::forward<decltype(rows)>(rows), text, max_dist, sink);
};

// suggest and complete with case ignored (ranked_folded.cpp).
[[nodiscard]] std::vector<RankedMatch> suggest_folded(const SearchTrie& trie,
                                                      const RankedQuery& query);
[[nodiscard]] std::vector<RankedMatch> complete_folded(const SearchTrie& trie,
                                                       const RankedQuery& query);

}  // namespace prefix::ranked_walks
