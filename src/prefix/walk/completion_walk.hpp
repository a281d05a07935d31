// The completion walk over a tree: the keys that begin with some text within
// the radius of the query, each at the distance of its nearest beginning.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/row_kind.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/walk/sinks.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix::walk {

// Offers `sink` every node with a payload whose text has a beginning (the
// node's own text or an ancestor's, the root's empty text included) within
// sink.radius() of the whole query, with the least such distance. A node
// whose row is in reach fixes an upper bound for its whole subtree; below
// it rows are worked out only while they are open and the bound is above
// 0, since only then can a deeper beginning be nearer. A subtree whose
// bound is settled is listed without rows, one that is closed with no bound
// within the radius is skipped. Rows live one per depth (pre-order: a
// node's parent row is the one at the depth above). Cost: a step of `rows`
// per node with a row, a read per listed node; memory: the pending siblings,
// a row per depth that has rows (at most 2n + 1 of them, and n + max_dist +
// 1: below, no beginning can be nearer, see is_too_deep) and a code point per
// depth reached, the text of the deepest node visited; not the tree's height.
template <class View, distance::RowKind Rows, ResultSink Sink>
class CompletionWalk {
 public:
  using Word = typename Rows::Word;

  CompletionWalk(const View& tree, Rows&& rows, std::u32string_view query, std::uint64_t max_dist,
                 Sink& sink)
      : tree_(tree), rows_(std::move(rows)), query_(query), sink_(sink), radius_(max_dist) {}

  void run() && {
    if (sink_.is_done()) return;
    follow_radius();
    row_depths_ = 1;
    rows_by_depth_.assign(rows_.stride(), rows_.fill());
    Word* const root = rows_by_depth_.data();
    rows_.root(root);
    const std::uint64_t best = rows_.in_reach(root, 0) ? rows_.distance(root, 0) : NONE;
    const bool settled =
        best <= radius_ && (best == 0 || !rows_.is_open(root, 0) || is_too_deep(0, best));
    if (!settled && !rows_.is_open(root, 0)) return;
    push_children(tree_.root(), tree_.child_count, 0, 0, best, settled);
    while (!pending_.empty()) {
      const Pending entry = pending_.back();
      pending_.pop_back();
      if (!visit(entry)) return;
    }
  }

 private:
  static constexpr std::uint64_t NONE = std::numeric_limits<std::uint64_t>::max();

  struct Pending {
    std::size_t position;       // in child_indices
    std::uint64_t best;         // the least distance of a beginning above it, or NONE
    std::uint32_t depth;        // the child's, >= 1
    std::uint32_t parent_rank;  // the parent's key number (views that number keys)
    bool settled;               // no beginning below can be nearer than `best`
  };

  // Returns false once the sink is done.
  bool visit(const Pending& entry) {
    const std::uint32_t depth = entry.depth;
    const NodeId node = tree_.target(entry.position);
    const std::uint32_t rank = tree_.rank_of(entry.parent_rank, entry.position);
    const std::uint32_t key = tree_.key(entry.position);
    if (depth > text_.size()) [[unlikely]] {
      grow_text(depth);
    }
    text_[depth - 1] = key & ~HAS_PAYLOAD;
    std::uint64_t best = entry.best;
    bool settled = entry.settled;
    if (!settled) {
      if (depth >= row_depths_) [[unlikely]] {
        grow_rows(depth);
      }
      const std::size_t stride = rows_.stride();
      const Word* const parent = rows_by_depth_.data() + std::size_t{depth - 1} * stride;
      Word* const row = rows_by_depth_.data() + std::size_t{depth} * stride;
      const bool open =
          rows_.step(rows_.parent(parent, depth - 1), row, tree_.code_point(entry.position));
      if (rows_.in_reach(row, depth)) best = std::min(best, rows_.distance(row, depth));
      if (!open && best > radius_) return true;
      settled = !open || best == 0 || is_too_deep(depth, best);
    }
    if (best > radius_) {
      // The radius dropped below the bound: only a nearer beginning counts.
      if (settled) return true;
    } else if ((key & HAS_PAYLOAD) != 0) {
      sink_.accept(tree_.reported(node, rank), std::u32string_view(text_.data(), depth), best);
      if (sink_.is_done()) return false;
      follow_radius();
    }
    push_children(node, entry.position, rank, depth, best, settled);
    return true;
  }

  // Room for rows down to `depth`, and for the text of a node at `depth`:
  // grown as the walk goes deeper, geometrically, as vectors grow.
  [[gnu::noinline, gnu::cold]] void grow_rows(std::size_t depth) {
    row_depths_ = std::max(depth + 1, 2 * row_depths_);
    rows_by_depth_.resize(row_depths_ * rows_.stride(), rows_.fill());
  }
  [[gnu::noinline, gnu::cold]] void grow_text(std::size_t depth) {
    text_.resize(std::max(depth, 2 * text_.size()));
  }

  // Whether no text below a node at `depth`, whose nearest beginning is at
  // `best` (NONE: none yet), can be nearer than `best` and within the radius:
  // each is longer than the query by more than depth - n, and the distance is
  // at least that difference. So no row is deeper than 2n + 1, whatever the
  // radius (at a radius of n or more the root's n bounds `best`).
  [[nodiscard]] bool is_too_deep(std::size_t depth, std::uint64_t best) const noexcept {
    return depth >= query_.size() && depth - query_.size() >= std::min(best, radius_);
  }

  // Stacks the children of `node`, reached over position `from`, whose key
  // number is `rank`.
  void push_children(NodeId node, std::size_t from, std::uint32_t rank, std::uint32_t depth,
                     std::uint64_t best, bool settled) {
    const char32_t wanted = depth < query_.size() ? query_[depth] : NO_CODE_POINT;
    push_in_visiting_order(tree_, tree_.range_below(node, from, depth), wanted, false, front_,
                           [&](std::size_t k) {
                             pending_.push_back(Pending{k, best, depth + 1, rank, settled});
                           });
  }

  void follow_radius() {
    const std::uint64_t radius = sink_.radius();
    if (radius < radius_) {
      radius_ = radius;
      rows_.narrow(radius);
    }
  }

  const View tree_;
  Rows rows_;
  std::u32string_view query_;
  Sink& sink_;
  std::uint64_t radius_;
  std::vector<Word> rows_by_depth_;  // a row for each of the first row_depths_ depths
  std::size_t row_depths_ = 0;
  std::u32string text_;
  std::vector<Pending> pending_;
  std::vector<std::size_t> front_;
};

// Runs the completion walk of `query` over the tree `tree` (read without
// checks: it must be one) with `rows` made for query and max_dist.
template <class View, class Rows, ResultSink Sink>
requires distance::RowKind<Rows>
void complete_tree(const View& tree, Rows&& rows, std::u32string_view query, std::uint64_t max_dist,
                   Sink& sink) {
  CompletionWalk<View, Rows, Sink>(tree, std::forward<Rows>(rows), query, max_dist, sink).run();
}

}  // namespace prefix::walk
