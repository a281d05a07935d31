// The shape check: a depth-first pass that stops at the first read a query
// could not make or the first node reached a second time.
#include "prefix/tree_check.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace prefix {

TreeShape check_tree(const Trie& trie) {
  // A node can be visited when both its payload and its child range can be
  // read; a node that is listed as a child also needs a code point.
  const std::size_t visitable = std::min(trie.node_payloads.size(), trie.node_shifts.size());
  if (visitable == 0) return {};
  std::vector<bool> reached(visitable);
  reached[0] = true;
  std::vector<std::pair<NodeId, std::uint32_t>> pending{{0, 0}};  // (node, depth)
  std::uint32_t height = 0;
  std::vector<std::uint32_t> child_keys(trie.child_indices.size());
  bool sorted = true;
  std::size_t reached_count = 1;
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    height = std::max(height, depth);
    const std::size_t start = trie.node_shifts[node];
    const std::size_t end = node + std::size_t{1} < trie.node_shifts.size()
                                ? std::size_t{trie.node_shifts[node + std::size_t{1}]}
                                : trie.child_indices.size();
    if (start >= end) continue;
    if (end > trie.child_indices.size()) return {};
    for (std::size_t k = start; k < end; ++k) {
      const NodeId child = trie.child_indices[k];
      // The root has reached[0] set, so it can never be a child either.
      if (child >= visitable || child >= trie.node_chars.size() || !trie.node_chars[child] ||
          *trie.node_chars[child] >= TreeShape::HAS_PAYLOAD || reached[child]) {
        return {};
      }
      reached[child] = true;
      ++reached_count;
      const auto code_point = static_cast<std::uint32_t>(*trie.node_chars[child]);
      if (k > start && code_point <= (child_keys[k - 1] & ~TreeShape::HAS_PAYLOAD)) sorted = false;
      child_keys[k] = code_point | (trie.node_payloads[child] ? TreeShape::HAS_PAYLOAD : 0);
      pending.emplace_back(child, depth + 1);
    }
  }
  return {true, height, std::move(child_keys), sorted, reached_count};
}

}  // namespace prefix
