// Picking the form a trie is kept in, and the walk each query takes on it:
// checked or unchecked is settled here, where the form is known.
#include "prefix/search_trie.hpp"

#include <utility>

#include "prefix/checked/matcher.hpp"
#include "prefix/walk/tree_match.hpp"

namespace prefix {

std::vector<MatchRecord> fuzzy_match(const Trie& trie, const TreeShape& shape,
                                     std::u32string_view query, std::uint64_t max_dist,
                                     std::optional<std::uint64_t> limit) {
  if (shape.is_tree) return fuzzy_match_tree(trie, shape, query, max_dist, limit);
  return fuzzy_match(trie, query, max_dist, limit);
}

std::optional<MatchRecord> exact_match(const Trie& trie, const TreeShape& shape,
                                       std::u32string_view query) {
  if (shape.is_tree) return exact_match_tree(trie, shape, query);
  return exact_match(trie, query);
}

SearchTrie::Form SearchTrie::kept_form(Trie&& trie) {
  TreeShape shape = check_tree(trie);
  if (is_complete_tree(trie, shape)) return CompactTree(std::move(trie), shape);
  return Arrays{std::move(trie), std::move(shape)};
}

SearchTrie::SearchTrie(Trie&& trie) : form_(kept_form(std::move(trie))) {}

SearchTrie::SearchTrie(CompactTree&& tree) : form_(std::move(tree)) {}

SearchTrie SearchTrie::from_bytes(std::span<const std::uint8_t> bytes) {
  return from_flat(decode_flat_or_fail(bytes));
}

SearchTrie SearchTrie::from_flat(FlatArrays&& arrays) {
  if (std::optional<CompactTree> tree = CompactTree::from_flat(arrays)) {
    return SearchTrie(std::move(*tree));
  }
  // Any other arrays, complete trees in another layout among them, take the
  // shape check of the Trie.
  return SearchTrie(std::move(arrays).to_trie());
}

std::vector<Child> SearchTrie::get_children(NodeId node_id) const {
  if (const auto* arrays = std::get_if<Arrays>(&form_)) return arrays->trie.get_children(node_id);
  return std::get<CompactTree>(form_).get_children(node_id);
}

std::optional<std::uint32_t> SearchTrie::get_payload(NodeId node_id) const {
  if (const auto* arrays = std::get_if<Arrays>(&form_)) return arrays->trie.get_payload(node_id);
  return std::get<CompactTree>(form_).get_payload(node_id);
}

std::optional<std::uint32_t> SearchTrie::largest_payload() const {
  std::optional<std::uint32_t> largest;
  const auto take = [&largest](std::uint32_t payload) {
    if (!largest || payload > *largest) largest = payload;
  };
  if (const auto* arrays = std::get_if<Arrays>(&form_)) {
    for (const std::optional<std::uint32_t>& payload : arrays->trie.node_payloads) {
      if (payload) take(*payload);
    }
  } else {
    for (const std::uint32_t payload : std::get<CompactTree>(form_).payload_values()) take(payload);
  }
  return largest;
}

std::vector<MatchRecord> SearchTrie::fuzzy_match(std::u32string_view query, std::uint64_t max_dist,
                                                 std::optional<std::uint64_t> limit) const {
  if (const auto* arrays = std::get_if<Arrays>(&form_)) {
    return prefix::fuzzy_match(arrays->trie, arrays->shape, query, max_dist, limit);
  }
  return fuzzy_match_tree(std::get<CompactTree>(form_), query, max_dist, limit);
}

std::optional<MatchRecord> SearchTrie::exact_match(std::u32string_view query) const {
  if (const auto* arrays = std::get_if<Arrays>(&form_)) {
    return prefix::exact_match(arrays->trie, arrays->shape, query);
  }
  return exact_match_tree(std::get<CompactTree>(form_), query);
}

}  // namespace prefix
