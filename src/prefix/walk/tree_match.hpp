// The fuzzy and exact queries on a trie that check_tree found to be a tree,
// and on a complete tree in its compact form: the records, their order and
// their distances of the checked Matcher walk, computed without its checks,
// State maps and per-node allocations.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "prefix/match_record.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/shared_tree.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

// What fuzzy_match returns, for a trie whose `shape` (check_tree's result)
// says it is a tree; the arrays are read without checks, so anything else is
// undefined behaviour. One TreeWalk with the row kind distance::with_rows
// picks and a LimitSink: per visited node O(min(n, 2 max_dist + 1)) with n
// the query length, a few word operations up to max_dist 31; per query a few
// buffers are allocated and reused from node to node. Memory is bounded by
// the pending siblings: up to max_dist 3 each holds its own row in one word;
// beyond, each ancestor that still has siblings pending holds one row of the
// width above. Stops as soon as `limit` records are found.
[[nodiscard]] std::vector<MatchRecord> fuzzy_match_tree(const Trie& trie, const TreeShape& shape,
                                                        std::u32string_view query,
                                                        std::uint64_t max_dist,
                                                        std::optional<std::uint64_t> limit);

// What exact_match returns, for a tree as above: a descent along the query's
// code points, backtracking only where siblings repeat a code point.
[[nodiscard]] std::optional<MatchRecord> exact_match_tree(const Trie& trie, const TreeShape& shape,
                                                          std::u32string_view query);

// The same two queries on a complete tree in its compact form, with the
// results, order and costs they have on the Trie it was made from.
[[nodiscard]] std::vector<MatchRecord> fuzzy_match_tree(const CompactTree& tree,
                                                        std::u32string_view query,
                                                        std::uint64_t max_dist,
                                                        std::optional<std::uint64_t> limit);
[[nodiscard]] std::optional<MatchRecord> exact_match_tree(const CompactTree& tree,
                                                          std::u32string_view query);

// The same on a shared tree, whose records carry key numbers in place of
// node ids (SharedTree::payload_of_key gives their payloads).
[[nodiscard]] std::vector<MatchRecord> fuzzy_match_tree(const SharedTree& tree,
                                                        std::u32string_view query,
                                                        std::uint64_t max_dist,
                                                        std::optional<std::uint64_t> limit);
[[nodiscard]] std::optional<MatchRecord> exact_match_tree(const SharedTree& tree,
                                                          std::u32string_view query);

}  // namespace prefix
