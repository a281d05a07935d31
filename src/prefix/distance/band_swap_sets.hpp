// Optimal-string-alignment rows for max_dist 4 to 31: the bit-set rows of
// BandSets with the swap of two adjacent code points added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "prefix/distance/band_matches.hpp"
#include "prefix/distance/band_sets.hpp"
#include "prefix/distance/kept_code_points.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) of the optimal-string-alignment distance (see
// PlainSwapRows) for max_dist k from 4 to 31 and any query length. A row is
// 2(k + 1) + 1 words: the node's BandSets words, its parent's BandSets words
// (zero at the root: no swap reaches a child of it) and its edge code point,
// so that a child finds its grandparent's words and its parent's edge in its
// parent's row, whichever slot the walk keeps it in.
//
// As in PackedSwapBand, a swap reaches column j of a child at depth d from
// column j - 2 of its grandparent, and in the band both columns have the
// same bit. With G the grandparent's words, Mp the matches of the parent's
// edge at the child's depth and Mc the child's, BandSets' recurrence gains
//   C[e] |= G[e - 1] & Mp & (Mc << 1)
// joining the parent's part before the insertions (C[e - 1] << 1) spread it.
// A swapped bit stands for a cell within e of column j with |j - d| <= e, so
// the band's bounds (nothing below column 0 or past bit 2k) still hold.
//
// Cost: a step is BandSets' (about 4(k + 1) word operations) and k + 1 more
// stores (the parent's words move up into the child's row) whatever n; a
// child that a swap can reach (Mp & (Mc << 1) not empty, which is rare) pays
// two operations more per word. Mp is worked out once per parent and the
// reads are BandSets'. A row is twice as wide as BandSets'.
// A wrong answer breaks the queries that count swaps with max_dist 4 to 31
// (suggest and complete at those radii): records lost or invented, or wrong
// distances.
class BandSwapSets {
 public:
  using Word = std::uint64_t;
  static constexpr std::uint64_t MAX_DIST = BandSets::MAX_DIST;
  static constexpr bool SCREENS_CHILDREN = BandSets::SCREENS_CHILDREN;
  static constexpr bool ONE_WORD = false;

  struct Parent {
    BandSets::Parent band;
    Word edge_matches;  // Mp: the matches of the parent's edge at the children's depth
  };

  BandSwapSets(std::u32string_view query, std::uint64_t max_dist)
      : k_(static_cast<std::size_t>(max_dist)), radius_(k_), band_(query, max_dist) {}

  void narrow(std::uint64_t radius) noexcept {
    band_.narrow(radius);
    radius_ = static_cast<std::size_t>(radius);
  }

  [[nodiscard]] std::size_t stride() const noexcept { return 2 * (k_ + 1) + 1; }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  void root(Word* row) const noexcept {
    band_.root(row);
    for (std::size_t e = 0; e <= k_; ++e) row[k_ + 1 + e] = 0;
    row[edge_word()] = NO_CODE_POINT;
  }

  [[nodiscard, gnu::always_inline]] Parent parent(const Word* row,
                                                  std::size_t depth) const noexcept {
    const BandSets::Parent band = band_.parent(row, depth);
    return {band, edge_matches(band, row)};
  }

  [[gnu::always_inline]] bool step(const Parent& parent, Word* row, char32_t edge) const noexcept {
    const BandSets::Parent& band = parent.band;
    const Word matches = band_.matches().at(band.by_symbol, band.child_depth, edge);
    const Word swapped = parent.edge_matches & (matches << 1);
    // Most children swap nothing: their words are BandSets' then.
    if (swapped == 0) [[likely]] {
      step_words<false>(band.row, row, matches, 0);
    } else {
      step_words<true>(band.row, row, matches, swapped);
    }
    row[edge_word()] = edge;
    return (row[radius_] & band.up_to_n) != 0;
  }

  [[nodiscard]] bool is_open(const Word* row, std::size_t depth) const noexcept {
    return band_.is_open(row, depth);
  }
  [[nodiscard]] bool in_reach(const Word* row, std::size_t depth) const noexcept {
    return band_.in_reach(row, depth);
  }
  [[nodiscard]] std::uint64_t distance(const Word* row, std::size_t depth) const noexcept {
    return band_.distance(row, depth);
  }

  // BandSets::exhausted as it stands: a swap adds no code point to `keep`. A
  // swap brings a child to the radius r at column j from its grandparent's
  // (this node's parent's) column j - 2 at r - 1, keeping query code point
  // j - 2; but then this node's column j - 2 is within r (delete its edge
  // from the parent's alignment), so that code point is kept already. Nor
  // can a swap fill a child's word below r: the parent's words below r - 1
  // lie within this node's words below r, which are empty.
  bool exhausted(const Word* row, std::size_t depth, KeptCodePoints& keep) const {
    return band_.exhausted(row, depth, keep);
  }

 private:
  [[nodiscard]] std::size_t edge_word() const noexcept { return 2 * (k_ + 1); }

  // A child's words from its parent's `up` (its own, then its parent's), and
  // the parent's moved up. `row` may be `up`: both words e of the parent are
  // read before they are overwritten.
  template <bool SWAPS>
  [[gnu::always_inline]] void step_words(const Word* up, Word* row, Word matches,
                                         Word swapped) const noexcept {
    Word* const moved_up = row + k_ + 1;
    Word before = up[0];
    Word grand = 0;
    if constexpr (SWAPS) grand = up[k_ + 1];
    Word sets = before & matches;
    row[0] = sets;
    moved_up[0] = before;
    for (std::size_t e = 1; e <= k_; ++e) {
      const Word old = up[e];
      Word next = (old & matches) | before | (before >> 1) | (sets << 1);
      if constexpr (SWAPS) {
        next |= grand & swapped;
        grand = up[k_ + 1 + e];
      }
      sets = next;
      row[e] = sets;
      moved_up[e] = old;
      before = old;
    }
  }

  // Mp for the children of the node with row `row`.
  [[nodiscard]] Word edge_matches(const BandSets::Parent& band, const Word* row) const noexcept {
    return band_.matches().at(band.by_symbol, band.child_depth,
                              static_cast<char32_t>(row[edge_word()]));
  }

  std::size_t k_;
  std::size_t radius_;  // the word the reads look at
  BandSets band_;
};

}  // namespace prefix::distance
