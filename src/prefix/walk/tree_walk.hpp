// The fuzzy walk over a tree: one depth-first walk, generic over the form
// the tree is read in (tree_view.hpp), the kind of Levenshtein rows
// (distance/) and the sink that takes the nodes in reach (sinks.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "prefix/distance/row_kind.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/walk/sinks.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix::walk {

// The walk's view of the query and of the path to the node it visits: the
// code point that continues the query below each depth (the query itself,
// then no code point), and the code points from the root down.
class PathText {
 public:
  PathText(std::u32string_view query, std::uint64_t max_dist, std::uint64_t height) {
    // No node deeper than n + max_dist + 1 is visited.
    const std::uint64_t reach = max_dist < height ? query.size() + max_dist + 1 : height;
    text_.resize(std::min(height, reach));
    wanted_.assign(std::max(query.size(), text_.size()) + 1, NO_CODE_POINT);
    std::copy(query.begin(), query.end(), wanted_.begin());
  }

  // The code point that continues the query below a visited node at
  // `depth`.
  [[nodiscard]] char32_t wanted(std::size_t depth) const noexcept { return wanted_[depth]; }

  // Moves to a node at `depth` >= 1 with edge `code_point`, whose parent's
  // path is the one held up to depth - 1 (pre-order guarantees it). No
  // visited node is deeper than the tree or than n + max_dist + 1.
  void enter(std::uint32_t depth, char32_t code_point) noexcept { text_[depth - 1] = code_point; }

  // The text of the node entered last, at `depth`.
  [[nodiscard]] std::u32string_view text(std::uint32_t depth) const noexcept {
    return {text_.data(), depth};
  }

 private:
  std::u32string wanted_;
  std::u32string text_;  // text_[d - 1]: code point at depth d on the path
};

// One fuzzy query over a tree. A node's children are handed over in
// visiting order (the ones continuing the query first, unless the sink
// takes any order); with SCREENS_CHILDREN each child's row is worked out
// while its parent is opened and only open children are stacked (a child in
// reach is open too).
// A node with a single child (most nodes deep in a trie) is followed
// straight down instead of stacking that child. With a sink that settles
// ranges of key numbers (settles_key_ranges) and a view that numbers keys,
// each stacked child carries where its keys end, and a child whose keys the
// sink has settled is not visited. With rows that bound keys
// by depth (HeightBoundRows) and a tree that keeps subtree heights, a child
// whose keys all lie too few code points below it to use up the query is
// neither stacked nor followed.
//
// Where rows live: a ONE_WORD row is stacked with its child, so no row is
// computed twice. Wider rows live in `slots_`, one flat buffer, and are
// computed when their node is visited (screening, if any, works them out
// into scratch space): a node that is its parent's last pending child
// overwrites the parent's row in place, any other child takes the slot just
// above the parent's. So a slot is held only by an ancestor with siblings
// still pending (and a chain of single children uses one slot), and entries
// of one parent are told apart by their parent's slot: stacked groups have
// strictly increasing parent slots.
template <class View, distance::RowKind Rows, WalkSink Sink>
class TreeWalk {
 public:
  using Word = typename Rows::Word;

  // `sink.radius()` must not exceed `max_dist`, the one `rows` was made for.
  TreeWalk(const View& tree, Rows&& rows, std::u32string_view query, std::uint64_t max_dist,
           Sink& sink)
      : tree_(tree),
        rows_(std::move(rows)),
        sink_(sink),
        radius_(max_dist),
        path_(query, max_dist, tree.height) {}

  void run() && {
    if (sink_.is_done()) return;
    follow_radius();
    // The root is never reported, and its row (cell 0 is 0) keeps it open.
    if constexpr (ONE_WORD) {
      Word root{};
      rows_.root(&root);
      open(root_range(), 0, &root, 0, Rank{}, root_end());
    } else {
      const std::size_t stride = rows_.stride();
      slots_.assign(stride, rows_.fill());
      if constexpr (Rows::SCREENS_CHILDREN) scratch_.assign(stride, rows_.fill());
      rows_.root(slots_.data());
      open(root_range(), 0, slots_.data(), 0, Rank{}, root_end());
    }
    while (top_ > 0) {
      --top_;
      if (top_ > 0) tree_.prefetch_node(tree_.target(pending_[top_ - 1].position));
      // Its children are written from this entry's place on: it is copied out.
      if (!visit(pending_[top_])) break;
    }
  }

 private:
  static constexpr bool ONE_WORD = Rows::ONE_WORD;
  static constexpr bool NUMBERS_KEYS = View::NUMBERS_KEYS;
  static constexpr bool SETTLES = NUMBERS_KEYS && settles_key_ranges<Sink>;

  // The key number of a node, in views that report keys by number; nothing
  // (and no room on the stack) in the others. The end of a child's keys
  // (one past the last key number below it), for sinks that settle ranges.
  struct NoRank {};
  struct NoEnd {};
  using Rank = std::conditional_t<NUMBERS_KEYS, std::uint32_t, NoRank>;
  using End = std::conditional_t<SETTLES, std::uint32_t, NoEnd>;

  // A stacked child (16 bytes with a slot, 24 with a word; with a key number
  // and the end of its keys, 24 and 32).
  struct Pending {
    std::size_t position;  // the child's position in child_indices
    // Its row, or the slot of its parent's row.
    std::conditional_t<ONE_WORD, Word, std::uint32_t> row;
    std::uint32_t depth;  // the child's depth, >= 1
    [[no_unique_address]] Rank parent_rank;
    [[no_unique_address]] End end;
  };

  [[nodiscard]] std::pair<std::size_t, std::size_t> root_range() const {
    return tree_.range_below(tree_.root(), tree_.child_count, 0);
  }

  [[nodiscard]] End root_end() const noexcept {
    if constexpr (SETTLES) {
      return tree_.key_count;
    } else {
      return {};
    }
  }

  // Whether the sink has settled the keys below the stacked child `entry`
  // (numbered from its key number to entry.end) with `row` its row, or null
  // when the row is not worked out yet: no key there can enter the sink.
  [[nodiscard]] bool is_settled(const Pending& entry, const Word* row) const {
    if constexpr (SETTLES) {
      if (!sink_.is_full()) return false;
      // A row with no cell below the radius bounds every key below it to
      // the radius or more, where the sink's worst key already is.
      bool below_radius = true;
      if constexpr (requires { rows_.is_exhausted(row); }) {
        if (row != nullptr) below_radius = !rows_.is_exhausted(row);
      }
      return sink_.settles(tree_.rank_of(entry.parent_rank, entry.position), entry.end,
                           below_radius);
    } else {
      return false;
    }
  }

  // Visits a stacked child, then its single children down to the first node
  // with none or several, whose open children it stacks. Returns false once
  // the sink is done: a tree cannot fail the query, so nothing else is left.
  bool visit(Pending entry) {
    std::size_t position = entry.position;
    std::uint32_t depth = entry.depth;
    Rank rank = entry.parent_rank;
    Word word{};
    Word* row = &word;
    std::uint32_t slot = 0;
    if constexpr (ONE_WORD) {
      word = entry.row;
      if (is_settled(entry, row)) return true;
    } else {
      if (is_settled(entry, nullptr)) return true;
      const bool last_sibling = top_ == 0 || pending_[top_ - 1].row != entry.row;
      slot = last_sibling ? entry.row : entry.row + 1;
      const std::size_t stride = rows_.stride();
      if ((std::size_t{slot} + 1) * stride > slots_.size()) {
        slots_.resize((std::size_t{slot} + 1) * stride, rows_.fill());
      }
      row = slots_.data() + std::size_t{slot} * stride;
      const Word* const parent = slots_.data() + std::size_t{entry.row} * stride;
      // A closed node is neither in reach nor opened.
      if (!rows_.step(rows_.parent(parent, depth - 1), row, tree_.code_point(position))) {
        return true;
      }
    }
    while (true) {
      const NodeId node = tree_.target(position);
      if constexpr (NUMBERS_KEYS) rank = tree_.rank_of(rank, position);
      const std::uint32_t key = tree_.key(position);
      path_.enter(depth, key & ~HAS_PAYLOAD);
      if constexpr (EndsSink<Sink>) {
        // Every visited node is open: some cell is within the radius.
        if ((key & HAS_PAYLOAD) != 0) {
          sink_.accept_ends(reported(node, rank), path_.text(depth),
                            [&](auto&& f) { rows_.for_each_end(row, depth, f); });
          if (sink_.is_done()) return false;
        }
      } else if (((key >> 31) & static_cast<std::uint32_t>(rows_.in_reach(row, depth))) != 0) {
        // One test of both, as bits: whether a visited node has a payload is
        // close to a coin toss, whether it is in reach is not.
        sink_.accept(reported(node, rank), path_.text(depth), rows_.distance(row, depth));
        if (sink_.is_done()) return false;
        follow_radius();
      }
      const auto range = tree_.range_below(node, position, depth);
      if (range.first >= range.second || range.second - range.first > 1) {
        open(range, depth, row, slot, rank, entry.end);
        return true;
      }
      // The single child's row replaces this node's, which nothing reads again.
      if (!rows_.step(rows_.parent(row, depth), row, tree_.code_point(range.first)) ||
          !may_reach(row, depth + 1, range.first)) {
        return true;
      }
      position = range.first;
      ++depth;
    }
  }

  // The id a sink is given for `node`, whose key number is `rank`.
  [[nodiscard]] NodeId reported(NodeId node, Rank rank) const noexcept {
    if constexpr (NUMBERS_KEYS) {
      return View::reported(node, rank);
    } else {
      return node;
    }
  }

  // Whether the child at position k, at `depth` with row `row`, or a key
  // below it can be within the radius, by the height of its subtree.
  [[nodiscard]] bool may_reach(const Word* row, std::uint32_t depth, std::size_t k) const {
    if constexpr (distance::HeightBoundRows<Rows> && View::KEEPS_HEIGHTS && !EndsSink<Sink>) {
      return rows_.may_reach(row, depth, tree_.child_height(k));
    } else {
      return true;
    }
  }

  // Narrows the rows' reads when the sink asks for less than before.
  void follow_radius() {
    const std::uint64_t radius = sink_.radius();
    if (radius < radius_) [[unlikely]] {
      radius_ = radius;
      rows_.narrow(radius);
    }
  }

  // Stacks the children in `range` of an open node at `depth`, whose row
  // is `row` (in `slot` for rows that live in slots), key number `rank` and
  // end of keys `end`, in visiting order.
  [[gnu::always_inline]] void open(std::pair<std::size_t, std::size_t> range, std::uint32_t depth,
                                   const Word* row, std::uint32_t slot, Rank rank, End keys_end) {
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
    Word* const scratch = scratch_.data();
    // A child's keys end where the next one's begin; the last one's where
    // the node's do.
    const auto end_of = [&](std::size_t k) __attribute__((always_inline)) {
      if constexpr (SETTLES) {
        return k + 1 < range.second ? tree_.rank_of(rank, k + 1) : keys_end;
      } else {
        return keys_end;
      }
    };
    // Captures by reference: which locals it uses depends on the row kind.
    const auto screen = [&](std::size_t k) __attribute__((always_inline)) {
      const char32_t code_point = tree_.code_point(k);
      bool keep = true;
      if constexpr (ONE_WORD) {
        Word child{};
        keep = rows_.step(parent, &child, code_point) && may_reach(&child, depth + 1, k);
        stack[top] = Pending{k, child, depth + 1, rank, end_of(k)};
      } else {
        if constexpr (Rows::SCREENS_CHILDREN) keep = rows_.step(parent, scratch, code_point);
        stack[top] = Pending{k, slot, depth + 1, rank, end_of(k)};
      }
      // Kept or not, without a branch: whether a child is kept is close to
      // a coin toss.
      __builtin_prefetch(shifts + child_ids[k]);
      top += static_cast<std::size_t>(keep);
    };
    // A one-word row is copied into the test rather than pointed at, so that
    // it can stay in a register.
    const auto exhausted = [&] {
      if constexpr (ONE_WORD) {
        return [this, depth, word = *row](distance::KeptCodePoints& keep) {
          return rows_.exhausted(&word, depth, keep);
        };
      } else {
        return [this, depth, row](distance::KeptCodePoints& keep) {
          return rows_.exhausted(row, depth, keep);
        };
      }
    }();
    const char32_t wanted = takes_any_order<Sink> ? NO_CODE_POINT : path_.wanted(depth);
    if constexpr (ONE_WORD) {
      // Below a row with no cell under the radius only children whose code
      // point matches stay in reach, most often none: each is screened with
      // a branch, which then rarely goes the other way, and stacked only if
      // kept. Wide ranges look those children up instead.
      if (rows_.is_exhausted(row) && !looks_children_up(tree_, range)) {
        push_in_visiting_order(
            tree_, range, wanted, false,
            children_.front, [&](std::size_t k) __attribute__((always_inline)) {
              Word child{};
              if (rows_.step(parent, &child, tree_.code_point(k)) &&
                  may_reach(&child, depth + 1, k)) [[unlikely]] {
                __builtin_prefetch(shifts + child_ids[k]);
                stack[top++] = Pending{k, child, depth + 1, rank, end_of(k)};
              }
            });
        top_ = top;
        return;
      }
    }
    screen_children(tree_, range, wanted, children_, exhausted, screen);
    top_ = top;
  }

  const View tree_;  // a few pointers, copied to save an indirection
  Rows rows_;
  Sink& sink_;
  std::uint64_t radius_;  // the rows' radius: the sink's, as last read
  PathText path_;
  std::vector<Pending> pending_;  // entries below top_ are pending
  std::size_t top_ = 0;
  ChildScratch children_;
  std::vector<Word> slots_;    // rows that do not fit in an entry, by slot
  std::vector<Word> scratch_;  // one row, for screening children
};

// Runs one fuzzy query over the tree `tree` with rows `rows` (moved in),
// made for `query` and `max_dist`, handing the nodes in reach to `sink`
// (whose radius must not exceed max_dist). The tree is read without checks:
// it must be one (check_tree). Per visited node the cost is a step of
// `rows`; memory is bounded by the pending siblings (see TreeWalk).
template <class View, class Rows, WalkSink Sink>
requires distance::RowKind<Rows>
void walk_tree(const View& tree, Rows&& rows, std::u32string_view query, std::uint64_t max_dist,
               Sink& sink) {
  TreeWalk<View, Rows, Sink>(tree, std::forward<Rows>(rows), query, max_dist, sink).run();
}

}  // namespace prefix::walk
