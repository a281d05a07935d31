// The walks of the fuzzy and exact queries over a tree, with an explicit
// stack of pending children and the node's text as a code-point stack by
// depth. Up to max_dist 3 a row is one word, stacked with its child; beyond,
// banded rows of bit sets or saturating cells share one flat buffer.
#include "prefix/walk/fast_matcher.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <utility>
#include <variant>

#include "prefix/distance/band_sets.hpp"
#include "prefix/distance/cell_rows.hpp"
#include "prefix/distance/packed_band.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix {
namespace {

using walk::BandSets;
using walk::CellRows;
using walk::ChildScratch;
using walk::HAS_PAYLOAD;
using walk::NO_CODE_POINT;
using walk::PackedBand;
using walk::RowSummary;

// The walk's view of the query and of the path to the node it visits: the
// code point that continues the query below each depth (the query itself,
// then no code point), and the code points from the root down.
class PathText {
 public:
  PathText(std::u32string_view query, std::uint64_t max_dist, std::uint64_t height) {
    wanted_.reserve(query.size() + 1);
    wanted_.append(query).push_back(NO_CODE_POINT);
    // No node deeper than n + max_dist + 1 is visited.
    const std::uint64_t reach = max_dist < height ? query.size() + max_dist + 1 : height;
    text_.resize(std::min(height, reach));
  }

  // The code point that continues the query below a node at `depth`.
  [[nodiscard]] char32_t wanted(std::size_t depth) const noexcept {
    return wanted_[std::min(depth, wanted_.size() - 1)];
  }

  // Moves to a node at `depth` >= 1 with edge `code_point`, whose parent's
  // path is the one held up to depth - 1 (pre-order guarantees it). No
  // visited node is deeper than the tree or than n + max_dist + 1.
  void enter(std::uint32_t depth, char32_t code_point) noexcept { text_[depth - 1] = code_point; }

  // The text of the node entered last, at `depth`, as UTF-8.
  [[nodiscard]] std::string utf8(std::uint32_t depth) const {
    return encode_utf8(std::u32string_view(text_.data(), depth));
  }

 private:
  std::u32string wanted_;
  std::u32string text_;  // text_[d - 1]: code point at depth d on the path
};

// One fuzzy query over a tree, with rows of kind `Rows`. Each stacked child's
// row is computed when it is visited; with SCREENS_CHILDREN it is also
// worked out, into scratch space, while its parent stacks the children, and
// only those that are open or reported are stacked. Rows live in `slots`,
// one flat buffer: a node that is its parent's last pending child
// overwrites the parent's row in place, any other child takes the slot just
// above the parent's. So a slot is held only by an ancestor
// with siblings still pending (and a chain of single children uses one
// slot), and entries of one parent are told apart by their parent's slot:
// stacked groups have strictly increasing parent slots.
template <class Rows, class View>
class TreeWalk {
 public:
  using Word = typename Rows::Word;

  TreeWalk(const View& tree, std::u32string_view query, std::uint64_t max_dist,
           std::optional<std::uint64_t> limit, Rows rows)
      : tree_(tree),
        rows_(std::move(rows)),
        limit_(limit.value_or(std::numeric_limits<std::uint64_t>::max())),
        path_(query, max_dist, tree.height) {}

  std::vector<MatchRecord> run() && {
    // The root is never reported, and its row (cell 0 is 0) keeps it open.
    if (limit_ == 0) return {};
    const std::size_t stride = rows_.stride();
    slots_.assign(stride, rows_.fill());
    if constexpr (Rows::SCREENS_CHILDREN) scratch_.assign(stride, rows_.fill());
    rows_.root(slots_.data());
    open(0, 0, 0);
    while (!pending_.empty()) {
      const Pending entry = pending_.back();
      pending_.pop_back();
      const bool last_sibling =
          pending_.empty() || pending_.back().parent_slot != entry.parent_slot;
      if (!pending_.empty()) walk::prefetch_range(tree_, pending_.back().node);
      const std::uint32_t slot = last_sibling ? entry.parent_slot : entry.parent_slot + 1;
      if ((std::size_t{slot} + 1) * stride > slots_.size()) {
        slots_.resize((std::size_t{slot} + 1) * stride, rows_.fill());
      }
      Word* const row = slots_.data() + std::size_t{slot} * stride;
      const Word* const parent = slots_.data() + std::size_t{entry.parent_slot} * stride;
      const char32_t code_point = entry.key & ~HAS_PAYLOAD;
      path_.enter(entry.depth, code_point);
      const RowSummary summary = rows_.step(parent, row, entry.depth, code_point);
      if ((entry.key & HAS_PAYLOAD) != 0 && summary.in_reach) {
        results_.push_back(MatchRecord{path_.utf8(entry.depth), entry.node, summary.distance});
        // Nothing more can be recorded, and a tree cannot fail the query.
        if (results_.size() >= limit_) break;
      }
      if (summary.open) open(entry.node, entry.depth, slot);
    }
    return std::move(results_);
  }

 private:
  struct Pending {
    NodeId node;
    std::uint32_t depth;        // the node's depth, >= 1
    std::uint32_t parent_slot;  // where the parent's row is
    std::uint32_t key;          // the node's code point and payload bit
  };

  // Stacks the children of an open node at `depth` whose row is in `slot`.
  // A screened-out child would be visited without effect: its row closes it
  // and it is not reported.
  void open(NodeId node, std::uint32_t depth, std::uint32_t slot) {
    const char32_t wanted = path_.wanted(depth);
    const auto stack =
        [ this, depth, slot ](std::size_t k, std::uint32_t key) __attribute__((always_inline)) {
      const NodeId child = tree_.child_ids[k];
      __builtin_prefetch(tree_.shifts + child);
      pending_.push_back(Pending{child, depth + 1, slot, key});
    };
    if constexpr (Rows::SCREENS_CHILDREN) {
      const Word* const row = slots_.data() + std::size_t{slot} * rows_.stride();
      const auto screen = [ this, depth, row, &stack ](std::size_t k, std::uint32_t key)
          __attribute__((always_inline)) {
        const RowSummary summary = rows_.step(row, scratch_.data(), depth + 1, key & ~HAS_PAYLOAD);
        if (summary.open || ((key & HAS_PAYLOAD) != 0 && summary.in_reach)) stack(k, key);
      };
      walk::screen_children(
          tree_, node, wanted, children_,
          [this, depth, row](walk::KeptCodePoints& keep) {
            return rows_.exhausted(row, depth, keep);
          },
          screen);
    } else {
      walk::push_in_visiting_order(tree_, node, wanted, false, children_.front, stack);
    }
  }

  const View tree_;  // a few pointers, copied to save an indirection
  Rows rows_;
  std::uint64_t limit_;
  std::vector<Word> slots_;
  PathText path_;
  std::vector<Pending> pending_;
  ChildScratch children_;
  std::vector<Word> scratch_;  // one row, for screening children
  std::vector<MatchRecord> results_;
};

// One fuzzy query over a tree with PackedBand rows, which are cheap enough
// to work out for every child while its parent is opened. A child is
// stacked only if its row keeps it open (a child in reach is open too), and
// its row is stacked with it: a node's row is never computed twice. The
// pending stack grows to the range of the node being opened before its
// children are screened, so each child is written in place and kept by
// moving the top up.
template <std::size_t K, class View>
class PackedWalk {
 public:
  using Rows = PackedBand<K>;
  using Row = typename Rows::Row;

  PackedWalk(const View& tree, std::u32string_view query, std::uint64_t max_dist,
             std::optional<std::uint64_t> limit)
      : tree_(tree),
        rows_(query),
        limit_(limit.value_or(std::numeric_limits<std::uint64_t>::max())),
        path_(query, max_dist, tree.height) {}

  std::vector<MatchRecord> run() && {
    // The root is never reported, and its row (cell 0 is 0) keeps it open.
    if (limit_ == 0) return {};
    open(0, 0, Rows::root(), walk::child_range(tree_, 0));
    while (top_ > 0) {
      --top_;
      if (top_ > 0) walk::prefetch_range(tree_, tree_.child_ids[pending_[top_ - 1].position]);
      // Its children are written from this entry's place on: it is copied out.
      if (!visit(pending_[top_])) break;
    }
    return std::move(results_);
  }

 private:
  // A child kept open. Whether it is reported is settled when it is visited:
  // a child whose last cell is in reach is open too, so no other is kept.
  struct Pending {
    Row row;
    std::size_t position;  // the child's position in child_indices
    std::uint32_t depth;   // the child's depth, >= 1
  };

  // Visits a kept child and stacks its open children. A node with a single
  // child (most nodes deep in a trie) is followed straight down instead: that
  // child would be stacked and visited next anyway. Returns false once
  // `limit` records are found: nothing more can be recorded, and a tree
  // cannot fail the query.
  bool visit(Pending entry) {
    while (true) {
      const NodeId node = tree_.child_ids[entry.position];
      const std::uint32_t key = tree_.key(entry.position);
      path_.enter(entry.depth, key & ~HAS_PAYLOAD);
      // One test of both, as bits: whether a visited node has a payload is
      // close to a coin toss, whether it is in reach is not.
      if (((key >> 31) & static_cast<std::uint32_t>(rows_.in_reach(entry.row, entry.depth))) != 0) {
        results_.push_back(
            MatchRecord{path_.utf8(entry.depth), node, rows_.distance(entry.row, entry.depth)});
        if (results_.size() >= limit_) return false;
      }
      const auto range = walk::child_range(tree_, node);
      if (range.first >= range.second || range.second - range.first > 1) {
        open(node, entry.depth, entry.row, range);
        return true;
      }
      const typename Rows::Child child =
          rows_.step(rows_.parent(entry.row, entry.depth), tree_.code_point(range.first));
      if (!child.open) return true;
      entry = Pending{child.row, range.first, entry.depth + 1};
    }
  }

  // Screens the children of the open node at `depth`, whose row is `row`,
  // and stacks those that are open, in visiting order.
  void open(NodeId node, std::uint32_t depth, Row row, std::pair<std::size_t, std::size_t> range) {
    const auto [start, end] = range;
    if (start >= end) return;
    const std::size_t room = top_ + (end - start);
    // Grows geometrically, like any vector.
    if (room > pending_.size()) pending_.resize(room);
    const typename Rows::Parent parent = rows_.parent(row, depth);
    // Local copies: the stores below cannot then be taken to change them.
    Pending* const stack = pending_.data();
    std::size_t top = top_;
    const NodeId* const child_ids = tree_.child_ids;
    const std::uint32_t* const shifts = tree_.shifts;
    const auto screen = [ this, depth, &parent, stack, &top, child_ids, shifts ](
        std::size_t k, std::uint32_t key) __attribute__((always_inline)) {
      const typename Rows::Child child = rows_.step(parent, key & ~HAS_PAYLOAD);
      stack[top] = Pending{child.row, k, depth + 1};
      // Kept or not, without a branch: whether a child is kept is close to
      // a coin toss.
      __builtin_prefetch(shifts + child_ids[k]);
      top += static_cast<std::size_t>(child.open);
    };
    walk::screen_children(
        tree_, node, path_.wanted(depth), children_,
        [this, depth, row](walk::KeptCodePoints& keep) {
          return rows_.exhausted(row, depth, keep);
        },
        screen);
    top_ = top;
  }

  const View tree_;  // a few pointers, copied to save an indirection
  Rows rows_;
  std::uint64_t limit_;
  PathText path_;
  std::vector<Pending> pending_;  // entries below top_ are pending
  std::size_t top_ = 0;
  ChildScratch children_;
  std::vector<MatchRecord> results_;
};

template <class View, class Rows>
std::vector<MatchRecord> walk_with(const View& tree, std::u32string_view prefix,
                                   std::uint64_t max_dist, std::optional<std::uint64_t> limit,
                                   Rows rows) {
  return TreeWalk<Rows, View>(tree, prefix, max_dist, limit, std::move(rows)).run();
}

template <std::size_t K, class View>
std::vector<MatchRecord> packed_walk(const View& tree, std::u32string_view prefix,
                                     std::uint64_t max_dist, std::optional<std::uint64_t> limit) {
  return PackedWalk<K, View>(tree, prefix, max_dist, limit).run();
}

template <class View, class Cell>
std::vector<MatchRecord> walk_with_cells(const View& tree, std::u32string_view prefix,
                                         std::uint64_t max_dist, std::optional<std::uint64_t> limit,
                                         Cell cap) {
  return walk_with(tree, prefix, max_dist, limit, CellRows<Cell>(prefix, max_dist, cap));
}

template <class View>
std::vector<MatchRecord> fuzzy_walk(const View& tree, std::u32string_view prefix,
                                    std::uint64_t max_dist, std::optional<std::uint64_t> limit) {
  switch (max_dist) {
    case 0:
      return packed_walk<0>(tree, prefix, max_dist, limit);
    case 1:
      return packed_walk<1>(tree, prefix, max_dist, limit);
    case 2:
      return packed_walk<2>(tree, prefix, max_dist, limit);
    case 3:
      return packed_walk<3>(tree, prefix, max_dist, limit);
    default:
      break;
  }
  if (max_dist <= BandSets::MAX_DIST) {
    return walk_with(tree, prefix, max_dist, limit, BandSets(prefix, max_dist));
  }
  // The narrowest cell that holds max_dist + 2, so that cap + 1 cannot
  // wrap. Beyond that, no cell can reach 2^63 (cells are at most depth +
  // n), so clamping there changes nothing.
  const auto fits = [max_dist]<class Cell>(Cell /*type*/) {
    return max_dist <= std::numeric_limits<Cell>::max() - std::uint64_t{2};
  };
  if (fits(std::uint8_t{})) {
    return walk_with_cells(tree, prefix, max_dist, limit, static_cast<std::uint8_t>(max_dist + 1));
  }
  if (fits(std::uint16_t{})) {
    return walk_with_cells(tree, prefix, max_dist, limit, static_cast<std::uint16_t>(max_dist + 1));
  }
  if (fits(std::uint32_t{})) {
    return walk_with_cells(tree, prefix, max_dist, limit, static_cast<std::uint32_t>(max_dist + 1));
  }
  constexpr std::uint64_t never_reached = std::uint64_t{1} << 63;
  return walk_with_cells(tree, prefix, max_dist, limit,
                         max_dist < never_reached ? max_dist + 1 : never_reached);
}

template <class View>
std::optional<MatchRecord> exact_walk(const View& tree, std::u32string_view prefix) {
  // The root is never reported.
  if (prefix.empty()) return std::nullopt;
  struct Step {
    NodeId node;
    std::size_t depth;
    std::uint32_t key;
  };
  std::vector<Step> pending{{0, 0, 0}};
  std::vector<std::size_t> front;
  while (!pending.empty()) {
    const Step step = pending.back();
    pending.pop_back();
    if (step.depth == prefix.size()) {
      if ((step.key & HAS_PAYLOAD) != 0) return MatchRecord{encode_utf8(prefix), step.node, 0};
      continue;
    }
    walk::push_in_visiting_order(tree, step.node, prefix[step.depth], true, front,
                                 [&tree, &pending, &step](std::size_t k, std::uint32_t key) {
                                   pending.push_back(Step{tree.child_ids[k], step.depth + 1, key});
                                 });
  }
  return std::nullopt;
}

}  // namespace

std::vector<MatchRecord> fuzzy_match_tree(const Trie& trie, const TreeShape& shape,
                                          std::u32string_view prefix, std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return fuzzy_walk(walk::ShapeView(trie, shape), prefix, max_dist, limit);
}

std::optional<MatchRecord> exact_match_tree(const Trie& trie, const TreeShape& shape,
                                            std::u32string_view prefix) {
  return exact_walk(walk::ShapeView(trie, shape), prefix);
}

std::vector<MatchRecord> fuzzy_match_tree(const CompactTree& tree, std::u32string_view prefix,
                                          std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return fuzzy_walk(walk::CompactView<T>(tree, code_points), prefix, max_dist, limit);
      },
      tree.child_code_points());
}

std::optional<MatchRecord> exact_match_tree(const CompactTree& tree, std::u32string_view prefix) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return exact_walk(walk::CompactView<T>(tree, code_points), prefix);
      },
      tree.child_code_points());
}

}  // namespace prefix
