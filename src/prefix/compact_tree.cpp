// The compact form of a complete tree: building it from a Trie, node queries
// on it, and the Trie back.
#include "prefix/compact_tree.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace prefix {
namespace {

template <class T>
CodePointsOf<T> narrowed(const std::vector<std::uint32_t>& child_keys) {
  CodePointsOf<T> code_points;
  code_points.reserve(child_keys.size());
  for (const std::uint32_t key : child_keys) {
    code_points.push_back(static_cast<T>(key & ~TreeShape::HAS_PAYLOAD));
  }
  return code_points;
}

}  // namespace

bool is_complete_tree(const Trie& trie, const TreeShape& shape) {
  const std::size_t nodes = trie.node_shifts.size();
  if (!shape.is_tree || trie.node_chars.size() != nodes || trie.node_payloads.size() != nodes ||
      trie.child_indices.size() + 1 != nodes) {
    return false;
  }
  // A tree reaches each node once, so all are reached when the count is N.
  return shape.reached == nodes;
}

CompactTree::CompactTree(Trie&& trie, const TreeShape& shape)
    : node_shifts_(std::move(trie.node_shifts)),
      child_indices_(std::move(trie.child_indices)),
      root_code_point_(trie.node_chars.front()),
      has_payload_(trie.node_payloads.size()),
      child_has_payload_(shape.child_keys.size()),
      height_(shape.height),
      sorted_children_(shape.sorted_children) {
  // Every entry lies in a reached range, so shape.child_keys holds every
  // child's code point and payload presence.
  std::uint32_t widest = 0;
  for (std::size_t k = 0; k < shape.child_keys.size(); ++k) {
    const std::uint32_t key = shape.child_keys[k];
    widest = std::max(widest, key & ~TreeShape::HAS_PAYLOAD);
    if ((key & TreeShape::HAS_PAYLOAD) != 0) child_has_payload_.set(k);
  }
  if (widest <= 0xFF) {
    child_code_points_ = narrowed<std::uint8_t>(shape.child_keys);
  } else if (widest <= 0xFFFF) {
    child_code_points_ = narrowed<std::uint16_t>(shape.child_keys);
  } else {
    child_code_points_ = narrowed<std::uint32_t>(shape.child_keys);
  }
  std::size_t present = 0;
  for (const auto& payload : trie.node_payloads) present += payload ? 1 : 0;
  payloads_.reserve(present);
  for (std::size_t node = 0; node < trie.node_payloads.size(); ++node) {
    if (trie.node_payloads[node]) {
      has_payload_.set(node);
      payloads_.push_back(*trie.node_payloads[node]);
    }
  }
  // Node ids are u32 and every rank is below the node count, which is at
  // most 2^32 since child ids are distinct and below it.
  rank_before_.reserve(has_payload_.words().size());
  std::uint32_t rank = 0;
  for (const std::uint64_t word : has_payload_.words()) {
    rank_before_.push_back(rank);
    rank += static_cast<std::uint32_t>(std::popcount(word));
  }
}

char32_t CompactTree::child_code_point(std::size_t k) const {
  return std::visit([k](const auto& code_points) { return char32_t{code_points[k]}; },
                    child_code_points_);
}

std::vector<Child> CompactTree::get_children(NodeId node_id) const {
  if (node_id >= node_shifts_.size()) {
    fail_node_id(node_id, "node_shifts", node_shifts_.size());
  }
  const auto [start, end] = child_range(node_shifts_, child_indices_.size(), node_id);
  if (start >= end) return {};
  std::vector<Child> children;
  children.reserve(end - start);
  for (std::size_t k = start; k < end; ++k) {
    children.push_back(Child{child_code_point(k), child_indices_[k]});
  }
  return children;
}

std::optional<std::uint32_t> CompactTree::get_payload(NodeId node_id) const {
  if (node_id >= node_shifts_.size()) {
    // Every array holds one entry per node, so node_payloads' length is the node count.
    fail_node_id(node_id, "node_payloads", node_shifts_.size());
  }
  if (!has_payload_.test(node_id)) return std::nullopt;
  const std::size_t word = node_id / 64;
  const std::uint64_t below = (std::uint64_t{1} << (node_id % 64)) - 1;
  return payloads_[rank_before_[word] +
                   static_cast<std::size_t>(std::popcount(has_payload_.words()[word] & below))];
}

Trie CompactTree::to_trie() const {
  const std::size_t nodes = node_shifts_.size();
  Trie trie;
  trie.node_shifts = node_shifts_;
  trie.child_indices = child_indices_;
  trie.node_chars.resize(nodes);
  trie.node_chars[0] = root_code_point_;
  for (std::size_t k = 0; k < child_indices_.size(); ++k) {
    trie.node_chars[child_indices_[k]] = child_code_point(k);
  }
  trie.node_payloads.resize(nodes);
  std::size_t next = 0;
  for (std::size_t node = 0; node < nodes; ++node) {
    if (has_payload_.test(node)) trie.node_payloads[node] = payloads_[next++];
  }
  return trie;
}

std::size_t CompactTree::memory_bytes() const {
  const std::size_t code_points =
      std::visit([](const auto& v) { return v.capacity() * sizeof(v[0]); }, child_code_points_);
  return (node_shifts_.capacity() + child_indices_.capacity() + rank_before_.capacity() +
          payloads_.capacity()) *
             sizeof(std::uint32_t) +
         code_points + has_payload_.bytes() + child_has_payload_.bytes();
}

}  // namespace prefix
