// Ranked queries on a SearchTrie: the n nearest keys to a word, and the n
// best completions of a prefix that may hold typos.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "prefix/search_trie.hpp"
#include "prefix/walk/top_sink.hpp"

namespace prefix {

struct RankedQuery {
  std::u32string_view text;
  std::uint64_t n;         // at most this many keys
  std::uint64_t max_dist;  // none further
  bool swaps;              // an adjacent swap is one edit (else: Levenshtein)
  bool fold;               // case ignored: text and keys compared folded (fold_case)
  const ScoreOf& score_of;
};

// The at most n keys within max_dist of the query text, best first (see
// walk::TopSink for the order). Tree walks at radius 1 (for n = 1, or
// max_dist 0, a descent along the text at radius 0 first), 2, 3, then
// max_dist, until one finds n keys, each with a sink that lowers its
// radius to the worst kept distance once it holds n: per visited node a step
// of the row kind distance::with_rows or with_swap_rows picks (with_near_rows_of
// with `fold`), per key in reach a payload read, a score and O(log n). With
// `fold`, the distance is that of the folded query and folded keys, and keys
// are reported as stored. Throws InternalFailure when the trie's arrays are
// not a tree, whatever the query.
[[nodiscard]] std::vector<RankedMatch> suggest(const SearchTrie& trie, const RankedQuery& query);

// The at most n keys that begin with some text within max_dist of the query
// text, best first by the distance of their nearest beginning, then as
// suggest. Completion walks (walk/completion_walk.hpp) at growing radii as
// suggest's, with the same sink: a subtree whose nearest beginning is
// settled is listed without rows. Throws as suggest.
[[nodiscard]] std::vector<RankedMatch> complete(const SearchTrie& trie, const RankedQuery& query);

}  // namespace prefix
