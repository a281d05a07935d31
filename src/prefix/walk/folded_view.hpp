// A view of a tree whose child code points read lower-cased (case_fold.hpp),
// for walks that ignore case: the rows compare folded code points, while the
// keys handed to the sink keep their own letters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "prefix/spell/case_fold.hpp"

namespace prefix::walk {

// Wraps a tree view (tree_view.hpp). Folding makes siblings share a code
// point and breaks the code-point order of a child range, so the walk takes
// each range as unsorted and visits every child that matches.
template <class View>
struct FoldedView {
  explicit FoldedView(const View& tree)
      : inner(tree),
        shifts(tree.shifts),
        node_count(tree.node_count),
        child_ids(tree.child_ids),
        child_count(tree.child_count),
        height(tree.height) {}

  // The key as stored: its own code point, with the payload bit.
  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept { return inner.key(k); }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept {
    return fold_case(inner.code_point(k));
  }
  static constexpr bool KEEPS_HEIGHTS = View::KEEPS_HEIGHTS;
  [[nodiscard]] std::size_t child_height(
      std::size_t k) const noexcept requires View::KEEPS_HEIGHTS {
    return inner.child_height(k);
  }
  void prefetch_children(std::size_t k) const noexcept { inner.prefetch_children(k); }

  View inner;
  const std::uint32_t* shifts;
  std::size_t node_count;
  const std::uint32_t* child_ids;
  std::size_t child_count;
  std::uint32_t height;
  bool sorted_children = false;
};

}  // namespace prefix::walk
