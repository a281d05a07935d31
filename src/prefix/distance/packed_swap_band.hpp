// Optimal-string-alignment rows for max_dist 0 to 3: the packed Levenshtein
// rows of PackedBand with the swap of two adjacent code points added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "prefix/distance/kept_code_points.hpp"
#include "prefix/distance/packed_band.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) of the optimal-string-alignment distance for
// max_dist K fixed at 0 to 3 (see PlainSwapRows for the distance). A node's
// Word is its PackedBand row, its parent's row and its edge code point.
//
// A swap reaches column j of a child at depth d from column j - 2 of its
// grandparent, when the child's edge is query code point j - 2 and its
// parent's edge is code point j - 1. In the band both columns have the same
// bit (the band moves one column per depth), so the swap term of lane e is
//   G[e - 1] & Mp & (Mc << 1)
// with G the grandparent's row, Mp the matches of the parent's edge at the
// child's depth (column j is code point j - 1) and Mc the child's (column
// j - 1 is code point j - 2). G & Mp is the same for all children of a
// node, so a step costs PackedBand's plus three word operations. The term
// joins the parent's part of the recurrence before insertions spread it.
template <std::size_t K>
class PackedSwapBand {
 public:
  struct Word {
    std::uint64_t row = 0;  // the PackedBand row
    std::uint64_t up = 0;   // the parent's, 0 at the root: no swap reaches a child of it
    char32_t edge = NO_CODE_POINT;
  };
  static constexpr bool SCREENS_CHILDREN = true;
  static constexpr bool ONE_WORD = true;

  struct Parent {
    typename PackedBand<K>::Parent band;
    std::uint64_t swaps;  // lane e - 1 of G & Mp, moved to lane e
    char32_t edge;        // the parent's
  };

  explicit PackedSwapBand(std::u32string_view query) : band_(query) {}

  void narrow(std::uint64_t radius) noexcept { band_.narrow(radius); }

  [[nodiscard]] static std::size_t stride() noexcept { return 1; }
  [[nodiscard]] static Word fill() noexcept { return {}; }

  static void root(Word* row) noexcept {
    *row = Word{};
    PackedBand<K>::root(&row->row);
  }

  [[nodiscard, gnu::always_inline]] Parent parent(const Word* row,
                                                  std::size_t depth) const noexcept {
    const typename PackedBand<K>::Parent band = band_.parent(&row->row, depth);
    const std::uint64_t parent_matches =
        band_.matches().at(band.by_symbol, band.child_depth, row->edge);
    return {band, ((row->up & parent_matches) & ROW) << LANE, row->edge};
  }

  [[gnu::always_inline]] bool step(const Parent& parent, Word* row, char32_t edge) const noexcept {
    const typename PackedBand<K>::Parent& band = parent.band;
    const std::uint64_t matches = band_.matches().at(band.by_symbol, band.child_depth, edge);
    std::uint64_t child = (band.row & matches) | band.carried | (parent.swaps & (matches << 1));
    if constexpr (K >= 1) child |= child << (LANE + 1);
    if constexpr (K >= 2) child |= child << (2 * (LANE + 1));
    child &= ROW;
    *row = Word{child, band.row, edge};
    return (child & band.open_mask) != 0;
  }

  [[nodiscard]] bool is_open(const Word* row, std::size_t depth) const noexcept {
    return band_.is_open(&row->row, depth);
  }
  [[nodiscard]] bool in_reach(const Word* row, std::size_t depth) const noexcept {
    return band_.in_reach(&row->row, depth);
  }
  [[nodiscard]] std::uint64_t distance(const Word* row, std::size_t depth) const noexcept {
    return band_.distance(&row->row, depth);
  }
  // As PackedBand's: a swap takes one code point of each text, so the ones
  // left over still cost one edit each.
  [[nodiscard]] bool may_reach(const Word* row, std::size_t depth,
                               std::size_t height) const noexcept {
    return band_.may_reach(&row->row, depth, height);
  }

  template <class F>
  void for_each_end(const Word* row, std::size_t depth, F&& f) const {
    band_.for_each_end(&row->row, depth, f);
  }

  [[nodiscard]] bool is_exhausted(const Word* row) const noexcept {
    return band_.is_exhausted(&row->row);
  }

  // As PackedBand::exhausted: a swap adds no code point. A swap brings a
  // child's column j within the radius r from its grandparent's column
  // j - 2 within r - 1; then this node's column j - 2 is within r (one
  // more code point than the grandparent's text), and its code point,
  // the one the swap keeps, is kept already.
  [[gnu::always_inline]] bool exhausted(const Word* row, std::size_t depth,
                                        KeptCodePoints& keep) const {
    return band_.exhausted(&row->row, depth, keep);
  }

 private:
  static constexpr unsigned LANE = 16;
  static constexpr std::uint64_t BAND = (std::uint64_t{1} << (2 * K + 1)) - 1;
  static constexpr std::uint64_t ROW = [] {
    std::uint64_t row = 0;
    for (std::size_t e = 0; e <= K; ++e) row |= BAND << (LANE * e);
    return row;
  }();

  PackedBand<K> band_;
};

}  // namespace prefix::distance
