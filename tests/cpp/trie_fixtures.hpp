// Small tries for the search tests: laid out from child lists, or from words.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "prefix/trie.hpp"

namespace prefix::testing {

// Lays out node i with the children `children[i]` in the order given.
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

// A trie holding `words` with their payloads, children in code-point order.
inline Trie trie_from_words(const std::vector<std::pair<std::u32string, std::uint32_t>>& words) {
  std::vector<std::vector<NodeId>> children(1);
  std::vector<std::optional<char32_t>> chars{std::nullopt};
  std::vector<std::optional<std::uint32_t>> payloads{std::nullopt};
  for (const auto& [word, payload] : words) {
    NodeId node = 0;
    for (const char32_t cp : word) {
      const auto& list = children[node];
      const auto it =
          std::find_if(list.begin(), list.end(), [&](NodeId id) { return chars[id] == cp; });
      if (it != list.end()) {
        node = *it;
        continue;
      }
      const auto id = static_cast<NodeId>(chars.size());
      children[node].push_back(id);
      children.emplace_back();
      chars.emplace_back(cp);
      payloads.emplace_back();
      node = id;
    }
    payloads[node] = payload;
  }
  for (auto& list : children) {
    std::sort(list.begin(), list.end(), [&](NodeId a, NodeId b) { return *chars[a] < *chars[b]; });
  }
  return lay_out(children, std::move(chars), std::move(payloads));
}

}  // namespace prefix::testing
