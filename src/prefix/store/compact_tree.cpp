// The compact form of a complete tree: building it from a Trie, node queries
// on it, and the Trie back.
#include "prefix/store/compact_tree.hpp"

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

// What check_tree and the compact form's constructor work out, for arrays
// whose child ranges follow each other in node order from position 0 (shifts
// never decreasing, the last at most the entry count), so that position k
// belongs to the last node whose range starts at or before k. One pass over
// the nodes and one over the positions, with no branch on the shape of the
// tree. A child's depth is its parent's plus one: the parent, having a lower
// id than its child, was listed in an earlier range. Fills the code point and
// payload bit of every position, the height and whether ranges are sorted;
// false on other ranges, at the first child id out of range, not above its
// parent's or listed twice, and below depth 255, which leaves the arrays to
// check_tree.
template <class T>
bool CompactTree::lay_children(const FlatArrays& arrays, CompactTree& tree) {
  const std::vector<std::uint32_t>& shifts = arrays.node_shifts;
  const std::vector<std::uint32_t>& chars = arrays.node_chars;
  const std::vector<std::uint32_t>& child_ids = arrays.child_indices;
  const std::size_t nodes = shifts.size();
  const std::size_t entries = child_ids.size();
  // starts[k]: how many nodes other than the root have their range start at
  // position k; a running sum of them is the parent of position k.
  std::vector<std::uint32_t> starts(entries + 1);
  bool in_order = shifts[0] == 0 && shifts[nodes - 1] <= entries;
  for (std::size_t node = 1; node < nodes; ++node) {
    in_order &= shifts[node - 1] <= shifts[node];
    ++starts[std::min<std::size_t>(shifts[node], entries)];
  }
  if (!in_order) return false;
  // The depth of each node in a byte, which word lists never outgrow; 0 for
  // the root and for nodes not listed yet, which the root can never be.
  constexpr std::uint8_t DEEPEST = 0xFF;
  std::vector<std::uint8_t> depths(nodes);
  CodePointsOf<T> code_points(entries);
  bool sorted = true;
  std::uint8_t height = 0;
  std::uint32_t parent = 0;
  std::uint32_t previous = 0;
  for (std::size_t k = 0; k < entries; ++k) {
    parent += starts[k];
    const NodeId child = child_ids[k];
    // The root is reached already, and no child id is below 1.
    if (child <= parent || child >= nodes || depths[child] != 0 || depths[parent] == DEEPEST) {
      return false;
    }
    const auto depth = static_cast<std::uint8_t>(depths[parent] + 1);
    depths[child] = depth;
    height = std::max(height, depth);
    const std::uint32_t code_point = chars[child];
    sorted &= k == 0 || starts[k] != 0 || code_point > previous;
    previous = code_point;
    code_points[k] = static_cast<T>(code_point);
    tree.child_has_payload_.set_if(k, arrays.has_payload.test(child));
  }
  // N - 1 distinct child ids from 1 to N - 1: every node is reached once.
  tree.child_code_points_ = std::move(code_points);
  tree.height_ = height;
  tree.sorted_children_ = sorted;
  return true;
}

Trie FlatArrays::to_trie() && {
  Trie trie;
  trie.node_shifts = std::move(node_shifts);
  trie.node_chars.resize(node_chars.size());
  for (std::size_t i = 0; i < node_chars.size(); ++i) {
    if (node_chars[i] != NO_CODE_POINT) trie.node_chars[i] = node_chars[i];
  }
  node_chars = {};
  trie.node_payloads.resize(payload_count);
  std::size_t next = 0;
  for (std::size_t i = 0; i < payload_count; ++i) {
    if (has_payload.test(i)) trie.node_payloads[i] = payloads[next++];
  }
  payloads = {};
  has_payload = {};
  trie.child_indices = std::move(child_indices);
  return trie;
}

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
  rank_payloads();
  // A tree in any id order: its nodes as the walk from the root meets them.
  std::vector<NodeId> order;
  order.reserve(node_shifts_.size());
  order.push_back(0);
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto [start, end] = prefix::child_range(node_shifts_, child_indices_.size(), order[i]);
    for (std::size_t k = start; k < end; ++k) order.push_back(child_indices_[k]);
  }
  measure_heights(&order);
}

void CompactTree::rank_payloads() {
  // Node ids are u32 and every rank is below the node count, which is at
  // most 2^32 since child ids are distinct and below it.
  rank_before_.reserve(has_payload_.words().size());
  std::uint32_t rank = 0;
  for (const std::uint64_t word : has_payload_.words()) {
    rank_before_.push_back(rank);
    rank += static_cast<std::uint32_t>(std::popcount(word));
  }
}

std::optional<CompactTree> CompactTree::from_flat(FlatArrays& arrays) {
  const std::size_t nodes = arrays.node_shifts.size();
  // The sizes of a complete tree: every array one entry per node, and one
  // child entry per node but the root.
  if (nodes == 0 || arrays.node_chars.size() != nodes || arrays.payload_count != nodes ||
      arrays.child_indices.size() + 1 != nodes) {
    return std::nullopt;
  }
  // Every node but the root is someone's child, so needs a code point the
  // child keys can hold (NO_CODE_POINT cannot); the widest of them sets the
  // width of the code point array.
  std::uint32_t widest = 0;
  for (std::size_t node = 1; node < nodes; ++node) {
    widest = std::max(widest, arrays.node_chars[node]);
  }
  if (widest >= TreeShape::HAS_PAYLOAD) return std::nullopt;
  CompactTree tree;
  tree.child_has_payload_ = BitRow(arrays.child_indices.size());
  bool laid = false;
  if (widest <= 0xFF) {
    laid = lay_children<std::uint8_t>(arrays, tree);
  } else if (widest <= 0xFFFF) {
    laid = lay_children<std::uint16_t>(arrays, tree);
  } else {
    laid = lay_children<std::uint32_t>(arrays, tree);
  }
  if (!laid) return std::nullopt;
  tree.node_shifts_ = std::move(arrays.node_shifts);
  tree.child_indices_ = std::move(arrays.child_indices);
  const std::uint32_t root = arrays.node_chars.front();
  if (root != NO_CODE_POINT) tree.root_code_point_ = root;
  tree.has_payload_ = std::move(arrays.has_payload);
  tree.payloads_ = std::move(arrays.payloads);
  tree.rank_payloads();
  // Every child id is above its parent's: id order lists parents first.
  tree.measure_heights(nullptr);
  return tree;
}

void CompactTree::measure_heights(const std::vector<NodeId>* parents_first) {
  const std::size_t nodes = node_shifts_.size();
  std::vector<std::uint8_t> heights(nodes);
  child_heights_.assign(child_indices_.size(), 0);
  // Children before parents: a node's height is known before its parent's.
  for (std::size_t i = nodes; i-- > 0;) {
    const NodeId node = parents_first != nullptr ? (*parents_first)[i] : static_cast<NodeId>(i);
    const auto [start, end] = prefix::child_range(node_shifts_, child_indices_.size(), node);
    std::uint8_t height = 0;
    for (std::size_t k = start; k < end; ++k) {
      const std::uint8_t below = heights[child_indices_[k]];
      child_heights_[k] = below;
      height = std::max<std::uint8_t>(height, below == MANY_LEVELS ? below : below + 1);
    }
    heights[node] = height;
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
         code_points + has_payload_.bytes() + child_has_payload_.bytes() +
         child_heights_.capacity();
}

}  // namespace prefix
