// How the tree walks read a tree and hand a node's children over: views of
// a Trie with its TreeShape, of a CompactTree and of a SharedTree, and the
// visiting order of children (the one continuing the query first, then the
// others as stored).
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
#include "prefix/store/shared_tree.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::walk {

constexpr std::uint32_t HAS_PAYLOAD = TreeShape::HAS_PAYLOAD;

// A saturated height byte is the rows' height that bounds nothing.
static_assert(CompactTree::MANY_LEVELS == distance::UNBOUNDED_HEIGHT);

// What the walk reads of a tree, through one of the views below: per node
// its child range, per child position the child's node, code point and
// whether it carries a payload, and the id a sink is given for a node.
//
// Starts fetching the children from position `next` on, which the walk
// reads soon.
template <class View>
inline void prefetch_from(const View& tree, std::size_t next) {
  tree.prefetch_children(next);
  __builtin_prefetch(tree.child_ids + next);
}

// The child ranges of node arrays, which every node of a tree lists once:
// a node is reached over one position, and the id a sink gets is its own.
struct TreeRanges {
  TreeRanges(const std::vector<std::uint32_t>& node_shifts,
             const std::vector<std::uint32_t>& child_indices)
      : shifts(node_shifts.data()),
        node_count(node_shifts.size()),
        child_ids(child_indices.data()),
        child_count(child_indices.size()) {}

  // Key numbers are not counted: a node is reported by its id.
  static constexpr bool NUMBERS_KEYS = false;
  [[nodiscard]] static constexpr NodeId root() noexcept { return 0; }
  // The node the child at position k is.
  [[nodiscard]] NodeId target(std::size_t k) const noexcept { return child_ids[k]; }
  // The child range of `node`, reached over position `from` at `depth`
  // (neither matters in a tree).
  [[nodiscard]] std::pair<std::size_t, std::size_t> range_below(
      NodeId node, std::size_t /*from*/, std::uint32_t /*depth*/) const noexcept {
    return prefix::child_range(std::span(shifts, node_count), child_count, node);
  }
  [[nodiscard]] static constexpr std::uint32_t rank_of(std::uint32_t /*base*/,
                                                       std::size_t /*k*/) noexcept {
    return 0;
  }
  [[nodiscard]] static constexpr NodeId reported(NodeId node, std::uint32_t /*rank*/) noexcept {
    return node;
  }
  const std::uint32_t* shifts;
  std::size_t node_count;
  const NodeId* child_ids;
  std::size_t child_count;
};

// A Trie with its TreeShape: child_keys holds code point and payload bit.
struct ShapeView : TreeRanges {
  explicit ShapeView(const Trie& trie, const TreeShape& shape)
      : TreeRanges(trie.node_shifts, trie.child_indices),
        keys(shape.child_keys.data()),
        height(shape.height),
        sorted_children(shape.sorted_children) {}

  // The child's code point, with HAS_PAYLOAD set when it carries a payload.
  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept { return keys[k]; }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept { return keys[k] & ~HAS_PAYLOAD; }
  // Heights are not kept for these arrays: any child may have deep keys.
  static constexpr bool KEEPS_HEIGHTS = false;
  void prefetch_children(std::size_t k) const noexcept { __builtin_prefetch(keys + k); }
  // Starts fetching the child range of `node`, which the walk reads soon.
  void prefetch_node(NodeId node) const noexcept { prefetch_from(*this, shifts[node]); }

  const std::uint32_t* keys;
  std::uint32_t height;
  bool sorted_children;
};

// A CompactTree whose child code points are held in T.
template <class T>
struct CompactView : TreeRanges {
  CompactView(const CompactTree& tree, const CodePointsOf<T>& points)
      : TreeRanges(tree.node_shifts(), tree.child_indices()),
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
  void prefetch_node(NodeId node) const noexcept { prefetch_from(*this, shifts[node]); }

  const T* code_points;
  const std::uint64_t* payload_bits;
  const std::uint8_t* heights;
  std::uint32_t height;
  bool sorted_children;
};

// A SharedTree whose code points are T (code_point_width bytes). A node is
// a state, reached over a transition; the id a sink gets is the key number
// (rank), counted along the path: the parent's plus the keys before the
// child within it. What the sections hold is bounded where it is read.
template <class T>
struct SharedView {
  explicit SharedView(const SharedTree& tree)
      : shifts(tree.firsts()),
        child_ids(tree.targets()),
        child_count(tree.transition_count()),
        code_points(static_cast<const T*>(tree.code_points())),
        payload_bits(tree.final_bits()),
        heights(tree.heights()),
        keys_before(tree.keys_before()),
        last_state(tree.root()),
        height(tree.header().height),
        key_count(tree.header().key_count) {}

  static constexpr bool NUMBERS_KEYS = true;
  static constexpr bool KEEPS_HEIGHTS = true;
  static constexpr bool sorted_children = true;

  [[nodiscard]] NodeId root() const noexcept { return last_state; }
  [[nodiscard]] NodeId target(std::size_t k) const noexcept { return child_ids[k]; }
  // As SharedTree::range_below.
  [[nodiscard]] std::pair<std::size_t, std::size_t> range_below(
      NodeId node, std::size_t from, std::uint32_t depth) const noexcept {
    const std::size_t state = std::min<std::size_t>(node, last_state);
    const std::size_t last = std::min<std::size_t>(shifts[state + 1], from);
    return {depth >= height ? last : std::min<std::size_t>(shifts[state], last), last};
  }
  [[nodiscard]] std::uint32_t rank_of(std::uint32_t base, std::size_t k) const noexcept {
    return base + keys_before[k];
  }
  [[nodiscard]] static constexpr NodeId reported(NodeId /*node*/, std::uint32_t rank) noexcept {
    return rank;
  }
  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept {
    const auto bit = static_cast<std::uint32_t>((payload_bits[k / 64] >> (k % 64)) & 1);
    return std::uint32_t{code_points[k]} | (bit << 31);
  }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept { return code_points[k]; }
  [[nodiscard]] std::size_t child_height(std::size_t k) const noexcept { return heights[k]; }
  void prefetch_children(std::size_t k) const noexcept {
    __builtin_prefetch(code_points + k);
    __builtin_prefetch(heights + k);
    __builtin_prefetch(payload_bits + k / 64);
  }
  void prefetch_node(NodeId node) const noexcept {
    prefetch_from(*this, shifts[std::min<std::size_t>(node, last_state)]);
  }

  const std::uint32_t* shifts;
  const NodeId* child_ids;
  std::size_t child_count;
  const T* code_points;
  const std::uint64_t* payload_bits;
  const std::uint8_t* heights;
  const std::uint32_t* keys_before;
  std::uint32_t last_state;
  std::uint32_t height;
  std::uint32_t key_count;  // keys below the root: their numbers end here
};

// Calls use(SharedView<T>(tree)) with T the width of its code points.
template <class Use>
decltype(auto) with_shared_view(const SharedTree& tree, Use use) {
  switch (tree.header().code_point_width) {
    case 1:
      return use(SharedView<std::uint8_t>(tree));
    case 2:
      return use(SharedView<std::uint16_t>(tree));
    default:
      return use(SharedView<std::uint32_t>(tree));
  }
}

static_assert(HAS_PAYLOAD == std::uint32_t{1} << 31);

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

}  // namespace prefix::walk
