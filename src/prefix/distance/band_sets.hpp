// Levenshtein rows as bit sets over the band of columns a node can still
// reach, for max_dist 4 to 31.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "prefix/distance/band_matches.hpp"
#include "prefix/distance/kept_code_points.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) of sets, for max_dist k up to 31 and any query
// length. Cell j of a node at depth d is at least |j - d|, so only the band
// of columns d - k .. d + k can be within reach; bit i of a row word stands
// for column d - k + i. A row is k + 1 words: word e holds the columns whose
// cell is at most e, so the reads at radius r look at word r. From the
// parent's words P to the child's words C, with M the columns j whose query
// code point j - 1 equals the child's edge code point:
//   C[0] = P[0] & M
//   C[e] = (P[e] & M) | P[e - 1] | (P[e - 1] >> 1) | (C[e - 1] << 1)
// (keep a code point, substitute one, insert one into the text, delete one
// from it). Columns past n are computed as if the query went on with code
// points that match nothing; they only ever feed columns further right, so
// the reads just mask them out. No column below 0 is ever set, and no bit
// past 2k, since no such cell can be within k.
//
// Cost: a step is about 4(k + 1) word operations whatever n, a read one or
// two (distance up to k + 1); the query is prepared once as BandMatches. A
// wrong answer breaks the queries with max_dist 4 to 31 (PackedBand serves
// the smaller ones with the same recurrence).
class BandSets {
 public:
  using Word = std::uint64_t;
  static constexpr std::uint64_t MAX_DIST = 31;
  // A row costs a few word operations: worth computing for every child while
  // stacking them, so that children that are closed (most of them) never
  // reach the stack.
  static constexpr bool SCREENS_CHILDREN = true;
  static constexpr bool ONE_WORD = false;

  struct Parent {
    const Word* row;
    const Word* by_symbol;    // BandMatches::at_depth of the children's depth
    std::size_t child_depth;  // the node's depth + 1
    Word up_to_n;             // the children's columns up to n
  };

  BandSets(std::u32string_view query, std::uint64_t max_dist)
      : query_(query),
        n_(query.size()),
        k_(static_cast<std::size_t>(max_dist)),
        radius_(k_),
        matches_(query, k_, 1) {}

  void narrow(std::uint64_t radius) noexcept { radius_ = static_cast<std::size_t>(radius); }

  [[nodiscard]] std::size_t stride() const noexcept { return k_ + 1; }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  // The root's cell j is j: column j is in word e for j <= e.
  void root(Word* row) const noexcept {
    for (std::size_t e = 0; e <= k_; ++e) row[e] = ((Word{2} << e) - 1) << k_;
  }

  [[nodiscard]] Parent parent(const Word* row, std::size_t depth) const noexcept {
    return {row, matches_.at_depth(depth + 1), depth + 1, up_to_n(depth + 1)};
  }

  // `row` may be the parent's: word e of the parent is read before it is
  // overwritten.
  [[gnu::always_inline]] bool step(const Parent& parent, Word* row, char32_t edge) const noexcept {
    const Word matches = matches_.at(parent.by_symbol, parent.child_depth, edge);
    Word before = parent.row[0];
    Word sets = before & matches;
    row[0] = sets;
    for (std::size_t e = 1; e <= k_; ++e) {
      const Word old = parent.row[e];
      sets = (old & matches) | before | (before >> 1) | (sets << 1);
      row[e] = sets;
      before = old;
    }
    return (row[radius_] & parent.up_to_n) != 0;
  }

  [[nodiscard]] bool is_open(const Word* row, std::size_t depth) const noexcept {
    return (row[radius_] & up_to_n(depth)) != 0;
  }

  [[nodiscard]] bool in_reach(const Word* row, std::size_t depth) const noexcept {
    const std::ptrdiff_t top = column_n(depth);
    if (top < 0 || top > static_cast<std::ptrdiff_t>(2 * k_)) return false;
    return ((row[radius_] >> top) & 1) != 0;
  }

  // Words grow with e; the distance is the first one that holds column n.
  [[nodiscard]] std::uint64_t distance(const Word* row, std::size_t depth) const noexcept {
    const auto top = static_cast<std::size_t>(column_n(depth));
    std::uint64_t e = 0;
    while (((row[e] >> top) & 1) == 0) ++e;
    return e;
  }

  // Whether no cell of `row`, the row of a node at `depth`, is below the
  // radius r. A child can then stay within it only by keeping the query code
  // point of a column its parent reaches at r (its words 0 .. r - 1 stay
  // empty and word r is row[r] & matches), so only
  // children whose code point is one of those can be open or reported. When
  // exhausted, `keep` receives those code points, ascending and distinct
  // (none at all past the query's end).
  bool exhausted(const Word* row, std::size_t depth, KeptCodePoints& keep) const {
    for (std::size_t e = 0; e < radius_; ++e) {
      if (row[e] != 0) return false;
    }
    live_code_points(query_, k_, row[radius_], depth, keep);
    return true;
  }

  // The match words of the query, for kinds built on these rows.
  [[nodiscard]] const BandMatches& matches() const noexcept { return matches_; }

 private:
  // The bit of column n in a row at `depth`; bits above it are past the query.
  [[nodiscard]] std::ptrdiff_t column_n(std::size_t depth) const noexcept {
    return static_cast<std::ptrdiff_t>(n_ + k_) - static_cast<std::ptrdiff_t>(depth);
  }
  [[nodiscard]] Word up_to_n(std::size_t depth) const noexcept {
    const std::ptrdiff_t top = column_n(depth);
    if (top < 0) return 0;
    return top >= 63 ? ~Word{0} : (Word{2} << top) - 1;
  }

  std::u32string_view query_;
  std::size_t n_;
  std::size_t k_;
  std::size_t radius_;  // the word the reads look at
  BandMatches matches_;
};

}  // namespace prefix::distance
