// A view of a tree whose child code points read lower-cased (case_fold.hpp),
// for walks that ignore case: the rows compare folded code points, while the
// keys handed to the sink keep their own letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "prefix/spell/case_fold.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::walk {

// Wraps a tree view (tree_view.hpp): everything but the code points is the
// wrapped view's, key numbers included. Folding makes siblings share a code
// point and breaks the code-point order of a child range, so the walk takes
// each range as unsorted and visits every child that matches.
template <class View>
struct FoldedView {
  explicit FoldedView(const View& tree)
      : inner(tree),
        shifts(tree.shifts),
        child_ids(tree.child_ids),
        child_count(tree.child_count),
        height(tree.height),
        key_count(key_count_of(tree)) {}

  static constexpr bool NUMBERS_KEYS = View::NUMBERS_KEYS;
  static constexpr bool KEEPS_HEIGHTS = View::KEEPS_HEIGHTS;
  // Known at compile time, so that the walks leave out their lookups by
  // binary search.
  static constexpr bool sorted_children = false;

  [[nodiscard]] NodeId root() const noexcept { return inner.root(); }
  [[nodiscard]] NodeId target(std::size_t k) const noexcept { return inner.target(k); }
  [[nodiscard]] std::pair<std::size_t, std::size_t> range_below(
      NodeId node, std::size_t from, std::uint32_t depth) const noexcept {
    return inner.range_below(node, from, depth);
  }
  [[nodiscard]] std::uint32_t rank_of(std::uint32_t base, std::size_t k) const noexcept {
    return inner.rank_of(base, k);
  }
  [[nodiscard]] static constexpr NodeId reported(NodeId node, std::uint32_t rank) noexcept {
    return View::reported(node, rank);
  }

  // The key as stored: its own code point, with the payload bit.
  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept { return inner.key(k); }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept {
    return fold_case(inner.code_point(k));
  }
  [[nodiscard]] std::size_t child_height(
      std::size_t k) const noexcept requires View::KEEPS_HEIGHTS {
    return inner.child_height(k);
  }
  void prefetch_children(std::size_t k) const noexcept { inner.prefetch_children(k); }
  void prefetch_node(NodeId node) const noexcept { inner.prefetch_node(node); }

  View inner;
  const std::uint32_t* shifts;
  const NodeId* child_ids;
  std::size_t child_count;
  std::uint32_t height;
  std::uint32_t key_count;  // as the wrapped view's, where it numbers keys (else 0)

 private:
  static std::uint32_t key_count_of(const View& tree) noexcept {
    if constexpr (requires { tree.key_count; }) {
      return tree.key_count;
    } else {
      return 0;
    }
  }
};

}  // namespace prefix::walk
