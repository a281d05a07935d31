// What every kind of Levenshtein row offers the tree walk: a root row, a
// child's row from its parent's and the child's code point, and the reads
// the walk takes from a row, at a radius the walk can narrow.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>

#include "prefix/distance/kept_code_points.hpp"

namespace prefix::distance {

// A row kind is made for one query and one max_dist; a row stands for the
// cells of the Levenshtein table row of one node (cell j: the edit distance
// between the node's text and the query's first j code points), but a kind
// need hold only what decides the reads below for every radius up to
// max_dist. A row is `stride()` Words in storage the walk owns, made by
// root() or step() and read in place; new storage holds `fill()`.
//
// The radius is the largest distance the reads answer for: max_dist when the
// kind is made, lowered by narrow(radius) as the walk's sink asks for less
// (see the sinks), never raised. A depth is a node's number of code points;
// the walk never steps from a row that is not open, so no row is deeper than
// n + max_dist + 1 (n: the query's length). The rows themselves do not
// depend on the radius: a row made before a narrow() reads right after it.
//
// - root(row): the root's row, cell j = j.
// - parent(row, depth): what the children of a node at `depth` with row
//   `row` share, worked out once per node; the parent's row must stay
//   unchanged until the last step() from it, unless that step writes it.
// - step(parent, row, edge): the row of a child whose edge code point is
//   `edge`, written to `row`, which may be the parent's own storage; returns
//   is_open of the child at the radius parent() saw. Wrong: records lost or
//   invented.
// - is_open(row, depth): whether some cell is within the radius; a closed
//   node has no descendant within it. Wrong one way (closed too early):
//   records lost; the other way: only work wasted.
// - in_reach(row, depth): whether the last cell (column n) is within the
//   radius; implies is_open. Wrong: records lost or invented.
// - distance(row, depth): that last cell, for a row in reach. Wrong: wrong
//   distances reported.
// - exhausted(row, depth, keep): whether no cell is below the radius; then a
//   child can stay open only by keeping the query code point of a column the
//   row has at the radius, and `keep` receives those code points, ascending
//   and distinct. A kind may always answer false (the walk then screens every
//   child). Wrong (true when a cell is below the radius, or a code point
//   missing from `keep`): records lost.
// - narrow(radius): the reads answer at `radius` from now on; `radius` is at
//   most the current one. Costs at most what making the kind cost, which is
//   why it is not a parameter of every read.
//
// SCREENS_CHILDREN: a step is cheap enough to work out for every child while
// its parent is opened, so that only open children are stacked.
// ONE_WORD: a row is a single Word, stacked with its child (stride() is 1);
// such a kind also answers is_exhausted(row), exhausted()'s test alone, at
// the cost of a few word operations. The walk uses it to pick how it screens
// children (few of them stay open below an exhausted row), so either answer
// is safe.
template <class R>
concept RowKind = requires(const R& rows, R& narrowed, typename R::Word* row,
                           const typename R::Word* const_row, const typename R::Parent& parent,
                           std::size_t depth, std::uint64_t radius, char32_t edge,
                           KeptCodePoints& keep) {
  { rows.stride() } -> std::same_as<std::size_t>;
  { rows.fill() } -> std::same_as<typename R::Word>;
  rows.root(row);
  { rows.parent(const_row, depth) } -> std::same_as<typename R::Parent>;
  { rows.step(parent, row, edge) } -> std::same_as<bool>;
  { rows.is_open(const_row, depth) } -> std::same_as<bool>;
  { rows.in_reach(const_row, depth) } -> std::same_as<bool>;
  { rows.distance(const_row, depth) } -> std::same_as<std::uint64_t>;
  { rows.exhausted(const_row, depth, keep) } -> std::same_as<bool>;
  narrowed.narrow(radius);
  { R::SCREENS_CHILDREN } -> std::convertible_to<bool>;
  { R::ONE_WORD } -> std::convertible_to<bool>;
};

// The height that bounds nothing: subtrees this deep or deeper.
constexpr std::size_t UNBOUNDED_HEIGHT = 255;

// A row kind that also bounds the keys below a node by their depth:
// may_reach(row, depth, height) is false only when no key at most `height`
// code points below the node (the node included) can be within the radius,
// because the query code points left over would cost more; `height` is at
// most UNBOUNDED_HEIGHT, which bounds nothing. Wrong when false too soon:
// records lost; when true too often, only work wasted.
template <class R>
concept HeightBoundRows = RowKind<R> &&
    requires(const R& rows, const typename R::Word* row, std::size_t depth, std::size_t height) {
  { rows.may_reach(row, depth, height) } -> std::same_as<bool>;
};

// A row kind that also lists every end of the query a row reaches:
// for_each_end(row, depth, f) calls f(j, cell) for each column j (0 to n,
// ascending) whose cell is within the radius, so that a walk can match keys
// against every beginning of a long text at once. Wrong: pieces of the text
// lost or invented.
template <class R>
concept EndRows = RowKind<R> &&
    requires(const R& rows, const typename R::Word* row, std::size_t depth) {
  rows.for_each_end(row, depth, [](std::size_t, std::uint64_t) {});
};

}  // namespace prefix::distance
