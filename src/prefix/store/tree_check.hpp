// One pass over a trie's arrays that records whether the part reachable from
// the root is a consistent tree, so queries can take a walk without checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "prefix/store/trie.hpp"

namespace prefix {

// What check_tree found. Nothing is rejected: a trie that is no tree is still
// searched, only by the checked walk.
struct TreeShape {
  // Every node reachable from the root is reached exactly once, and for each of
  // them every read a query makes is in range: its payload and child range, the
  // range inside child_indices, each child's id and present code point.
  bool is_tree = false;
  // Depth of the deepest reachable node (0 for a lone root); 0 when not a tree.
  std::uint32_t height = 0;
  // Beside child_indices, for the walk: entry k is the code point of the child
  // child_indices[k], with HAS_PAYLOAD set when that child carries a payload,
  // so visiting a child reads nothing but its parent's range. Filled for the
  // ranges of reachable nodes; empty when not a tree.
  std::vector<std::uint32_t> child_keys;
  // Every reachable child range lists strictly ascending code points, so a
  // child with a given code point can be found by binary search. Only
  // meaningful when is_tree.
  bool sorted_children = false;
  // How many nodes the walk from the root reaches (each once); 0 when not a
  // tree.
  std::size_t reached = 0;

  static constexpr std::uint32_t HAS_PAYLOAD = std::uint32_t{1} << 31;

  friend bool operator==(const TreeShape&, const TreeShape&) = default;
};

// Walks every node reachable from the root once. Costs O(nodes) time, and for
// the walk a bit per node and a stack of pending node ids; keeps nothing.
[[nodiscard]] TreeShape check_tree(const Trie& trie);

}  // namespace prefix
