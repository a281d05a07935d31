// Levenshtein rows as bit sets over the band of columns a node can still
// reach, for max_dist up to 31.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "prefix/distance/band_matches.hpp"
#include "prefix/distance/row_summary.hpp"

namespace prefix::walk {

// Rows as sets, for max_dist k up to 31. Cell j of a node at depth d is at
// least |j - d|, so only the band of columns d - k .. d + k can be within
// reach; bit i of a row word stands for column d - k + i. A row is k + 1
// words: word e holds the columns whose cell is at most e. From the parent's
// words P to the child's words C, with M the columns j whose query code point
// j - 1 equals the child's edge code point:
//   C[0] = P[0] & M
//   C[e] = (P[e] & M) | P[e - 1] | (P[e - 1] >> 1) | (C[e - 1] << 1)
// (keep a code point, substitute one, insert one into the text, delete one
// from it). Columns past n are computed as if the query went on with code
// points that match nothing; they only ever feed columns further right, so
// the tests below just mask them out. No column below 0 is ever set, and no
// bit past 2k, since no such cell can be within k.
class BandSets {
 public:
  using Word = std::uint64_t;
  static constexpr std::uint64_t MAX_DIST = 31;
  // A row costs a few word operations: worth computing for every child while
  // stacking them, so that children that are closed and not reported (most
  // of them) never reach the stack.
  static constexpr bool SCREENS_CHILDREN = true;

  BandSets(std::u32string_view query, std::uint64_t max_dist)
      : query_(query),
        n_(query.size()),
        k_(static_cast<std::size_t>(max_dist)),
        matches_(query, k_, 1) {}

  [[nodiscard]] std::size_t stride() const noexcept { return k_ + 1; }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  // The root's cell j is j: column j is in word e for j <= e.
  void root(Word* row) const noexcept {
    for (std::size_t e = 0; e <= k_; ++e) row[e] = ((Word{2} << e) - 1) << k_;
  }

  // The row of a child at `depth` >= 1 with edge code point `edge`. `row` may
  // be `parent`: word e of the parent is read before it is overwritten.
  RowSummary step(const Word* parent, Word* row, std::size_t depth, char32_t edge) const noexcept {
    const Word matches = matches_.at(matches_.at_depth(depth), depth, edge);
    Word before = parent[0];
    Word sets = before & matches;
    row[0] = sets;
    for (std::size_t e = 1; e <= k_; ++e) {
      const Word old = parent[e];
      sets = (old & matches) | before | (before >> 1) | (sets << 1);
      row[e] = sets;
      before = old;
    }
    // Column n is bit n + k - depth; bits above it are past the query.
    const auto top = static_cast<std::ptrdiff_t>(n_ + k_) - static_cast<std::ptrdiff_t>(depth);
    if (top < 0) return {false, false, 0};
    const Word up_to_n = top >= 63 ? ~Word{0} : (Word{2} << top) - 1;
    const bool open = (sets & up_to_n) != 0;
    if (top > static_cast<std::ptrdiff_t>(2 * k_) || ((sets >> top) & 1) == 0) {
      return {open, false, 0};
    }
    // Words grow with e; the distance is the first one that holds column n.
    std::uint64_t distance = 0;
    while (((row[distance] >> top) & 1) == 0) ++distance;
    return {open, true, distance};
  }

  // Whether no cell of `row`, the row of a node at `depth`, is below max_dist.
  // A child can then stay within reach only by keeping the query code point
  // of a column its parent reaches at max_dist (its words 0 .. k - 1 stay
  // empty and word k is row[k] & matches), so only children whose code point
  // is one of those can be open or reported. When exhausted, `keep` receives
  // those code points, ascending and distinct (none at all past the query's
  // end).
  bool exhausted(const Word* row, std::size_t depth, KeptCodePoints& keep) const {
    for (std::size_t e = 0; e < k_; ++e) {
      if (row[e] != 0) return false;
    }
    live_code_points(query_, k_, row[k_], depth, keep);
    return true;
  }

 private:
  std::u32string_view query_;
  std::size_t n_;
  std::size_t k_;
  BandMatches matches_;
};

}  // namespace prefix::walk
