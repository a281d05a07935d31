// The shape check: a depth-first pass that stops at the first read a query
// could not make or the first node reached a second time.
#include "prefix/store/tree_check.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace prefix {

namespace {

// What check_tree keeps while it walks, and the reads of one node's children.
class Walk {
 public:
  explicit Walk(const Trie& trie)
      : trie_(trie),
        visitable_(std::min(trie.node_payloads.size(), trie.node_shifts.size())),
        reached_(visitable_),
        child_keys_(trie.child_indices.size()) {
    reached_[0] = true;
  }

  enum class Step : std::uint8_t { ok, not_a_tree, retry };

  // Reads the children of the reached `node` as a query would, marks them
  // reached and hands each to `on_child(child)`, which returns false to give
  // up this way of walking (Step::retry). Step::not_a_tree: a read a query
  // could not make, or a child reached a second time.
  template <class OnChild>
  Step open(NodeId node, OnChild on_child) {
    const auto [start, end] = child_range(trie_.node_shifts, trie_.child_indices.size(), node);
    if (start >= end) return Step::ok;
    if (end > trie_.child_indices.size()) return Step::not_a_tree;
    for (std::size_t k = start; k < end; ++k) {
      const NodeId child = trie_.child_indices[k];
      // The root has reached_[0] set, so it can never be a child either.
      if (child >= visitable_ || child >= trie_.node_chars.size() || !trie_.node_chars[child] ||
          *trie_.node_chars[child] >= TreeShape::HAS_PAYLOAD || reached_[child]) {
        return Step::not_a_tree;
      }
      if (!on_child(child)) return Step::retry;
      reached_[child] = true;
      ++reached_count_;
      const auto code_point = static_cast<std::uint32_t>(*trie_.node_chars[child]);
      if (k > start && code_point <= (child_keys_[k - 1] & ~TreeShape::HAS_PAYLOAD)) {
        sorted_ = false;
      }
      child_keys_[k] = code_point | (trie_.node_payloads[child] ? TreeShape::HAS_PAYLOAD : 0);
    }
    return Step::ok;
  }

  [[nodiscard]] std::size_t visitable() const noexcept { return visitable_; }
  [[nodiscard]] bool reached(NodeId node) const { return reached_[node]; }

  TreeShape finish(std::uint32_t height) && {
    return {true, height, std::move(child_keys_), sorted_, reached_count_};
  }

 private:
  const Trie& trie_;
  std::size_t visitable_;
  std::vector<bool> reached_;
  std::vector<std::uint32_t> child_keys_;
  bool sorted_ = true;
  std::size_t reached_count_ = 1;
};

// For arrays where every child id is above its parent's, as a pre-order
// layout gives: nodes taken in id order, each reached one after its parent,
// its depth kept by id. Empty when some child id is not above its parent's.
std::optional<TreeShape> check_in_id_order(const Trie& trie) {
  Walk walk(trie);
  std::vector<std::uint32_t> depths(walk.visitable());
  std::uint32_t height = 0;
  for (NodeId node = 0; node < walk.visitable(); ++node) {
    if (!walk.reached(node)) continue;
    const std::uint32_t depth = depths[node];
    height = std::max(height, depth);
    const Walk::Step step = walk.open(node, [&depths, node, depth](NodeId child) {
      if (child <= node) return false;
      depths[child] = depth + 1;
      return true;
    });
    if (step == Walk::Step::not_a_tree) return TreeShape{};
    if (step == Walk::Step::retry) return std::nullopt;
  }
  return std::move(walk).finish(height);
}

// Any arrays: a depth-first walk with a stack of pending nodes.
TreeShape check_depth_first(const Trie& trie) {
  Walk walk(trie);
  std::vector<std::pair<NodeId, std::uint32_t>> pending{{0, 0}};  // (node, depth)
  std::uint32_t height = 0;
  while (!pending.empty()) {
    const NodeId node = pending.back().first;
    const std::uint32_t depth = pending.back().second;
    pending.pop_back();
    height = std::max(height, depth);
    const Walk::Step step = walk.open(node, [&pending, depth](NodeId child) {
      pending.emplace_back(child, depth + 1);
      return true;
    });
    if (step != Walk::Step::ok) return {};
  }
  return std::move(walk).finish(height);
}

}  // namespace

TreeShape check_tree(const Trie& trie) {
  // A node can be visited when both its payload and its child range can be
  // read; a node that is listed as a child also needs a code point.
  if (std::min(trie.node_payloads.size(), trie.node_shifts.size()) == 0) return {};
  if (std::optional<TreeShape> shape = check_in_id_order(trie)) return std::move(*shape);
  return check_depth_first(trie);
}

}  // namespace prefix
