// Small tries for the search tests, laid out from per-node child lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/store/trie.hpp"

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

// Nodes in pre-order, each node's children in code-point order; a word's
// payload is its position in `words`.
inline Trie words_trie(const std::vector<std::u32string>& words) {
  std::vector<std::uint32_t> order(words.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return words[a] < words[b]; });
  Trie trie;
  trie.node_chars = {std::nullopt};
  trie.node_payloads = {std::nullopt};
  std::vector<NodeId> parents{0};
  std::vector<NodeId> path{0};
  std::u32string_view previous;
  for (const std::uint32_t position : order) {
    const std::u32string_view word = words[position];
    const std::size_t common = static_cast<std::size_t>(
        std::mismatch(previous.begin(), previous.end(), word.begin(), word.end()).first -
        previous.begin());
    path.resize(common + 1);
    for (std::size_t i = common; i < word.size(); ++i) {
      const auto id = static_cast<NodeId>(trie.node_chars.size());
      trie.node_chars.emplace_back(word[i]);
      trie.node_payloads.emplace_back();
      parents.push_back(path.back());
      path.push_back(id);
    }
    trie.node_payloads[path.back()] = position;
    previous = word;
  }
  // Children grouped by parent; ids grow in pre-order, so each group is in
  // code-point order.
  const std::size_t nodes = trie.node_chars.size();
  std::vector<std::uint32_t> counts(nodes + 1);
  for (std::size_t id = 1; id < nodes; ++id) ++counts[parents[id] + 1];
  for (std::size_t i = 0; i < nodes; ++i) counts[i + 1] += counts[i];
  trie.node_shifts.assign(counts.begin(), counts.end() - 1);
  trie.child_indices.resize(nodes - 1);
  std::vector<std::uint32_t> next = trie.node_shifts;
  for (std::size_t id = 1; id < nodes; ++id) {
    trie.child_indices[next[parents[id]]++] = static_cast<NodeId>(id);
  }
  return trie;
}

}  // namespace prefix::testing
