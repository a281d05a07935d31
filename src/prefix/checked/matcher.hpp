// The fuzzy matcher: the Agent that finds every stored key within a Levenshtein
// distance of a query, and the fuzzy and exact queries built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/checked/shared_text.hpp"
#include "prefix/checked/state.hpp"
#include "prefix/checked/traversal.hpp"
#include "prefix/match_record.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

// Every key within `max_dist` unit-cost edits (insert, delete, substitute) of
// `query`, in the order a depth-first walk finds them: at each node the
// children whose code point continues the query go first, then the others, each
// group in stored order. At most `limit` records when a limit is given. The
// root is never reported. Costs O(n) per visited node, n = query length, plus
// the key's length per record, and O(depth x n) memory. Throws InternalFailure
// on inconsistent node arrays, including a child relation that is not a tree
// (a node reached twice, or more nodes reached than node_payloads holds).
[[nodiscard]] std::vector<MatchRecord> fuzzy_match(const Trie& trie, std::u32string_view query,
                                                   std::uint64_t max_dist,
                                                   std::optional<std::uint64_t> limit);

// The first record of fuzzy_match with distance 0 and no limit: the node that
// spells `query` and carries a payload, or nullopt. Walks the query's path and
// the children of its nodes. Throws as fuzzy_match does.
[[nodiscard]] std::optional<MatchRecord> exact_match(const Trie& trie, std::u32string_view query);

// A row of the checked walk, immutable once built and shared by the States of
// the node's pending children.
using SharedRow = std::shared_ptr<const std::vector<std::uint64_t>>;

// The Agent behind fuzzy_match. Each node's State holds its text ("CUR_PREFIX",
// a SharedText), its parent's row ("PREV_ROW", a SharedRow) and, once visited,
// its own row ("CUR_ROW", a SharedRow): cell j is the edit distance between the
// node's text and the first j code points of the query. A node's children share
// its row and text, so the walk costs O(n) time per visited node and O(1) per
// pending child, and holds rows for the nodes on the current path only:
// O(depth x n) memory.
class Matcher {
 public:
  // `node_budget` is the number of nodes a tree can have (node_payloads'
  // length): the walk may reach no more nodes than that, root included.
  Matcher(std::u32string query, std::uint64_t max_dist, std::optional<std::uint64_t> limit,
          std::size_t node_budget);

  // A State whose text is empty: the root's.
  [[nodiscard]] State initial_state() const;

  // Puts the node's row into `state` and records the node when it carries a
  // payload, lies within max_dist, is not the root and the limit is not met.
  // Throws InternalFailure when `state` lacks what get_children_to_visit put.
  void visit_node(NodeId node_id, std::optional<std::uint32_t> payload, State& state);

  // The children to descend into with their new States: none when the limit is
  // met or no cell of the node's row is within max_dist. Throws InternalFailure
  // when `state` was not visited, or when handing out the children would make
  // the walk reach more than node_budget nodes (the child relation is then no
  // tree). Not const: it counts the nodes handed out.
  [[nodiscard]] std::vector<PendingEntry> get_children_to_visit(NodeId node_id, const State& state,
                                                                std::vector<Child> children);

  // The records in the order found.
  [[nodiscard]] const std::vector<MatchRecord>& results() const noexcept { return results_; }
  [[nodiscard]] std::vector<MatchRecord> take_results() && { return std::move(results_); }

 private:
  [[nodiscard]] bool is_full() const noexcept;
  // The row of a node with edge code point `edge` below a node with row `parent_row`.
  [[nodiscard]] std::vector<std::uint64_t> next_row(std::span<const std::uint64_t> parent_row,
                                                    char32_t edge) const;
  // The children of an open node at `depth` in visiting order; none when closed.
  [[nodiscard]] std::vector<Child> children_to_open(std::span<const std::uint64_t> row,
                                                    std::size_t depth,
                                                    std::vector<Child> children) const;

  std::u32string query_;
  std::uint64_t max_dist_;
  std::optional<std::uint64_t> limit_;
  std::size_t node_budget_;
  std::size_t nodes_reached_ = 1;  // the root
  std::vector<bool> reached_;      // node ids handed out so far, the root included
  std::vector<MatchRecord> results_;
};

}  // namespace prefix
