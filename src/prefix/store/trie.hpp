// The trie: four flat node arrays indexed by node id, and the node queries that read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace prefix {

using NodeId = std::uint32_t;

// Above every Unicode scalar value, so it stands for "no code point": a node
// without one in the flat arrays, a column past the query's end in the walks.
inline constexpr char32_t NO_CODE_POINT = 0xFFFF'FFFF;

// One labelled child of a node, as listed by Trie::get_children.
struct Child {
  char32_t code_point;
  NodeId id;

  friend bool operator==(const Child&, const Child&) = default;
};

// Positions [first, last) in child_indices of the children of `node`, which
// must be below shifts' length: from the node's shift to the next node's, or
// to `child_count` (child_indices' length) for the last node. first >= last
// lists no children; last may lie past child_indices, which callers check.
[[nodiscard]] inline std::pair<std::size_t, std::size_t> child_range(
    std::span<const std::uint32_t> shifts, std::size_t child_count, NodeId node) noexcept {
  const std::size_t next = std::size_t{node} + 1;
  return {shifts[node], next < shifts.size() ? std::size_t{shifts[next]} : child_count};
}

// Throws InternalFailure "node id <node_id> not below <array> length
// <length>": the failure of a node query given an id out of range, shared by
// every form a trie is kept in so that their messages cannot drift apart.
[[noreturn]] void fail_node_id(NodeId node_id, const char* array, std::size_t length);

// A read-only trie laid out by the caller. Node 0 is the root. Nothing is
// validated on construction: the queries check every index they use and throw
// InternalFailure on the first inconsistency they meet.
struct Trie {
  // Index in child_indices at which the children of node i begin. A node's
  // range ends where the next node's begins; the last one ends at the end of
  // child_indices.
  std::vector<std::uint32_t> node_shifts;
  // The code point on the edge from node i's parent; the root may have none.
  std::vector<std::optional<char32_t>> node_chars;
  // The value attached to node i, if any.
  std::vector<std::optional<std::uint32_t>> node_payloads;
  // The ids of all children, grouped by parent, in listing order.
  std::vector<std::uint32_t> child_indices;

  // The children of `node_id` in stored order, duplicates included. Costs one
  // pass over the node's child range. Throws InternalFailure when `node_id` is
  // not below node_shifts' length, when the range runs past child_indices, or
  // when a child id is not below node_chars' length or has no code point. An
  // empty or inverted range gives no children.
  [[nodiscard]] std::vector<Child> get_children(NodeId node_id) const;

  // node_payloads[node_id]; throws InternalFailure when `node_id` is out of range.
  [[nodiscard]] std::optional<std::uint32_t> get_payload(NodeId node_id) const;

  // Walks the trie depth first from node 0, handing each node to `agent` (see
  // the Agent concept in traversal.hpp, which defines this member): per node
  // visit_node, then get_children, then get_children_to_visit, whose returned
  // children are visited in the order given, each with its whole subtree
  // before the next. Uses an explicit stack, so depth never grows the call
  // stack. Throws InternalFailure on a node id not below node_payloads' length
  // and on every failure of get_children; whatever the agent throws passes
  // through. Either way everything the walk owns is released.
  template <class A>
  void dfs(A& agent) const;

  friend bool operator==(const Trie&, const Trie&) = default;
};

}  // namespace prefix
