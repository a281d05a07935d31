// How the tree walks read a tree and hand a node's children over: views of
// a Trie with its TreeShape and of a CompactTree, and the visiting order of
// children (the one continuing the query first, then the others as stored).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/kept_code_points.hpp"
#include "prefix/distance/row_kind.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::walk {

constexpr std::uint32_t HAS_PAYLOAD = TreeShape::HAS_PAYLOAD;

// A saturated height byte is the rows' height that bounds nothing.
static_assert(CompactTree::MANY_LEVELS == distance::UNBOUNDED_HEIGHT);

// What the walk reads of a tree, through one of the views below: per node
// its child range, per child position the child's id, code point and
// whether it carries a payload.
//
// A Trie with its TreeShape: child_keys holds code point and payload bit.
struct ShapeView {
  explicit ShapeView(const Trie& trie, const TreeShape& shape)
      : shifts(trie.node_shifts.data()),
        node_count(trie.node_shifts.size()),
        child_ids(trie.child_indices.data()),
        child_count(trie.child_indices.size()),
        keys(shape.child_keys.data()),
        height(shape.height),
        sorted_children(shape.sorted_children) {}

  // The child's code point, with HAS_PAYLOAD set when it carries a payload.
  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept { return keys[k]; }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept { return keys[k] & ~HAS_PAYLOAD; }
  // Heights are not kept for these arrays: any child may have deep keys.
  static constexpr bool KEEPS_HEIGHTS = false;
  void prefetch_children(std::size_t k) const noexcept { __builtin_prefetch(keys + k); }

  const std::uint32_t* shifts;
  std::size_t node_count;
  const NodeId* child_ids;
  std::size_t child_count;
  const std::uint32_t* keys;
  std::uint32_t height;
  bool sorted_children;
};

// A CompactTree whose child code points are held in T.
template <class T>
struct CompactView {
  CompactView(const CompactTree& tree, const CodePointsOf<T>& points)
      : shifts(tree.node_shifts().data()),
        node_count(tree.node_shifts().size()),
        child_ids(tree.child_indices().data()),
        child_count(tree.child_indices().size()),
        code_points(points.data()),
        payload_bits(tree.child_has_payload().words().data()),
        heights(tree.child_heights().data()),
        height(tree.height()),
        sorted_children(tree.sorted_children()) {}

  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept {
    const auto bit = static_cast<std::uint32_t>((payload_bits[k / 64] >> (k % 64)) & 1);
    return std::uint32_t{code_points[k]} | (bit << 31);
  }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept { return code_points[k]; }
  static constexpr bool KEEPS_HEIGHTS = true;
  // The height of the child's subtree, or UNBOUNDED_HEIGHT.
  [[nodiscard]] std::size_t child_height(std::size_t k) const noexcept { return heights[k]; }
  void prefetch_children(std::size_t k) const noexcept {
    __builtin_prefetch(code_points + k);
    __builtin_prefetch(heights + k);
    __builtin_prefetch(payload_bits + k / 64);
  }

  const std::uint32_t* shifts;
  std::size_t node_count;
  const NodeId* child_ids;
  std::size_t child_count;
  const T* code_points;
  const std::uint64_t* payload_bits;
  const std::uint8_t* heights;
  std::uint32_t height;
  bool sorted_children;
};

static_assert(HAS_PAYLOAD == std::uint32_t{1} << 31);

// The first entry of `node`'s child range and one past its last.
template <class View>
inline std::pair<std::size_t, std::size_t> child_range(const View& tree, NodeId node) {
  return prefix::child_range(std::span(tree.shifts, tree.node_count), tree.child_count, node);
}

// Hands the children in `range` (a node's child_range) to `push(k)` (k: the
// child's position in child_indices) so that a stack pops them in visiting
// order: the children whose code point is `wanted` first, then (unless
// `front_only`) all others, each group in stored order. `front` is scratch
// space, empty on entry and on return. One pass over the child range, from
// its end.
template <class View, class Push>
[[gnu::always_inline]] inline void push_in_visiting_order(const View& tree,
                                                          std::pair<std::size_t, std::size_t> range,
                                                          char32_t wanted, bool front_only,
                                                          std::vector<std::size_t>& front,
                                                          Push push) {
  const auto [start, end] = range;
  if (tree.sorted_children) {
    // Code points are distinct: at most one child is `wanted`, pushed last.
    std::size_t first = end;
    for (std::size_t k = end; k-- > start;) {
      if (tree.code_point(k) == wanted) {
        first = k;
      } else if (!front_only) {
        push(k);
      }
    }
    if (first != end) push(first);
    return;
  }
  for (std::size_t k = end; k-- > start;) {
    if (tree.code_point(k) == wanted) {
      front.push_back(k);
    } else if (!front_only) {
      push(k);
    }
  }
  // Collected from the end, so the first stored one is pushed last.
  for (const std::size_t k : front) push(k);
  front.clear();
}

// With ascending child ranges (sorted_children): hands the children in
// `range` whose code point is in `keep` (ascending, distinct) to `push`, in
// the order push_in_visiting_order would, found by binary search instead of
// a pass over the whole range: from the last code point down, each search
// below the one before, so that they are pushed from the range's end.
template <class View, class Push>
[[gnu::always_inline]] inline void push_kept(const View& tree,
                                             std::pair<std::size_t, std::size_t> range,
                                             char32_t wanted, std::u32string_view keep, Push push) {
  const auto [start, end] = range;
  if (start >= end) return;  // an inverted range lists no children
  // Code points are distinct, so at most one child is `wanted`; it is pushed
  // last, to be popped first.
  std::size_t front = end;
  std::size_t below = end;
  for (auto it = keep.rbegin(); it != keep.rend() && below > start; ++it) {
    const char32_t code_point = *it;
    // The first entry at or above code_point, without a branch on the code
    // points: whether a search goes up or down is a coin toss. The answer
    // stays within [from, from + count].
    std::size_t from = start;
    std::size_t count = below - start;
    while (count > 1) {
      const std::size_t half = count / 2;
      from = tree.code_point(from + half - 1) < code_point ? from + half : from;
      count -= half;
    }
    from += static_cast<std::size_t>(count == 1 && tree.code_point(from) < code_point);
    if (from < below && tree.code_point(from) == code_point) {
      if (code_point == wanted) {
        front = from;
      } else {
        push(from);
      }
    }
    below = from;
  }
  if (front != end) push(front);
}

// Fewer children are cheaper to screen one by one than to look up (most of
// them fail a cheap test below an exhausted row).
constexpr std::size_t LOOKUP_FROM = 12;

// Whether screen_children looks up, rather than scans, the children in
// `range` of a node whose row leaves only a few code points that can keep
// a child in reach.
template <class View>
[[nodiscard]] inline bool looks_children_up(const View& tree,
                                            std::pair<std::size_t, std::size_t> range) {
  return tree.sorted_children && range.first < range.second &&
         range.second - range.first >= LOOKUP_FROM;
}

// Scratch space for handing a node's children over in visiting order.
struct ChildScratch {
  std::vector<std::size_t> front;  // children holding the wanted code point
  distance::KeptCodePoints keep;   // code points that may keep a child in reach
};

// Hands the children in `range`, an open node's, to `screen(k)` in visiting
// order: when the range is wide and ascending and `exhausted(keep)` finds
// that only children holding one of the code points it leaves in `keep` can
// stay in reach, just those, looked up; all of them otherwise.
template <class View, class Exhausted, class Screen>
[[gnu::always_inline]] inline void screen_children(const View& tree,
                                                   std::pair<std::size_t, std::size_t> range,
                                                   char32_t wanted, ChildScratch& scratch,
                                                   Exhausted exhausted, Screen screen) {
  if (looks_children_up(tree, range) && exhausted(scratch.keep)) {
    push_kept(tree, range, wanted, scratch.keep.view(), screen);
  } else {
    push_in_visiting_order(tree, range, wanted, false, scratch.front, screen);
  }
}

// Starts fetching the child range of `node`, which the walk reads soon.
template <class View>
inline void prefetch_range(const View& tree, NodeId node) {
  const std::size_t next = tree.shifts[node];
  tree.prefetch_children(next);
  __builtin_prefetch(tree.child_ids + next);
}

}  // namespace prefix::walk
