// Small tries for the search tests, laid out from per-node child lists.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "prefix/trie.hpp"

namespace prefix::testing {

// Node i lists the children `children[i]` in the order given.
inline Trie lay_out(const std::vector<std::vector<NodeId>>& children,
                    std::vector<std::optional<char32_t>> chars,
                    std::vector<std::optional<std::uint32_t>> payloads) {
  Trie trie;
  for (const auto& list : children) {
    trie.node_shifts.push_back(static_cast<std::uint32_t>(trie.child_indices.size()));
    trie.child_indices.insert(trie.child_indices.end(), list.begin(), list.end());
  }
  trie.node_chars = std::move(chars);
  trie.node_payloads = std::move(payloads);
  return trie;
}

// A path of `depth` nodes labelled 'a' below the root; only the deepest has a payload.
inline Trie path_trie(NodeId depth) {
  std::vector<std::vector<NodeId>> children(depth + 1);
  for (NodeId id = 0; id < depth; ++id) children[id] = {id + 1};
  std::vector<std::optional<std::uint32_t>> payloads(depth + 1);
  payloads[depth] = 1;
  return lay_out(children, std::vector<std::optional<char32_t>>(depth + 1, U'a'),
                 std::move(payloads));
}

}  // namespace prefix::testing
