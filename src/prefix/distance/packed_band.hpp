// Levenshtein rows for max_dist 0 to 3, each packed into one machine word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/distance/band_matches.hpp"

namespace prefix::walk {

// The rows of BandSets for max_dist K fixed at 0 to 3, packed: word e of
// the K + 1 (2K + 1 bits each) sits in the 16-bit lane at bit 16e of one
// 64-bit Row. The recurrence
//   C[0] = P[0] & M
//   C[e] = (P[e] & M) | P[e - 1] | (P[e - 1] >> 1) | (C[e - 1] << 1)
// then runs on all lanes at once: with X[e] = (P[e] & M) | P[e - 1] |
// (P[e - 1] >> 1), C[e] is X[e] | X[e - 1] << 1 | X[e - 2] << 2 | ..., a
// prefix that two shift-and-or steps across lanes build (each moves lanes
// up by 1 or 2 and bits up by as many). The part of X that comes from the
// parent alone is the same for all its children and is worked out once per
// parent. The parent's shifted copy is masked back into its lanes before it
// moves up a lane; after that a bit never leaves its lane (at most 2K + 3 <
// 16 bits are touched), and the bits past 2K are cleared at the end: they
// stand for cells above K.
//
// A step is then about ten word operations whatever K, and a row is small
// enough to stack beside each pending child.
template <std::size_t K>
class PackedBand {
  static_assert(K <= 3);

 public:
  using Row = std::uint64_t;

  // A child's row and whether it keeps the child open: some cell is within
  // K. Its last cell (column n) can be within K only if it is open.
  struct Child {
    Row row;
    bool open;
  };

  // What every child of one node shares.
  struct Parent {
    Row row;                  // the node's row
    Row carried;              // lane e - 1 of the row and its shift, moved to lane e
    const Row* by_symbol;     // BandMatches::at_depth of the children's depth
    std::size_t child_depth;  // the node's depth + 1
    Row open_mask;            // lane K, the columns up to n
  };

  explicit PackedBand(std::u32string_view query)
      : query_(query), n_(query.size()), matches_(query, K, LANES) {
    // Children of open nodes are at depth n + K + 1 at most.
    levels_.resize(n_ + K + 2);
    for (std::size_t depth = 0; depth < levels_.size(); ++depth) {
      Level& level = levels_[depth];
      level.by_symbol = matches_.at_depth(depth);
      // Column n is bit n + K - depth; bits above it are past the query.
      const auto top = static_cast<std::ptrdiff_t>(n_ + K) - static_cast<std::ptrdiff_t>(depth);
      if (top < 0) continue;
      const Row up_to_n = top >= static_cast<std::ptrdiff_t>(2 * K) ? BAND : (Row{2} << top) - 1;
      level.open_mask = up_to_n << LAST;
      if (top <= static_cast<std::ptrdiff_t>(2 * K)) level.at_n = Row{1} << (top + LAST);
    }
  }

  // The root's cell j is j: column j is in lane e for j <= e.
  [[nodiscard]] static Row root() noexcept {
    Row row = 0;
    for (std::size_t e = 0; e <= K; ++e) row |= (((Row{2} << e) - 1) << K) << (LANE * e);
    return row;
  }

  // What the children of an open node at `depth` with row `row` share.
  [[nodiscard]] Parent parent(Row row, std::size_t depth) const noexcept {
    const Level& level = levels_[depth + 1];
    return {row, ((row | (row >> 1)) & ROW) << LANE, level.by_symbol, depth + 1, level.open_mask};
  }

  [[nodiscard, gnu::always_inline]] Child step(const Parent& parent, char32_t edge) const noexcept {
    Row row =
        (parent.row & matches_.at(parent.by_symbol, parent.child_depth, edge)) | parent.carried;
    if constexpr (K >= 1) row |= row << (LANE + 1);
    if constexpr (K >= 2) row |= row << (2 * (LANE + 1));
    row &= ROW;
    return {row, (row & parent.open_mask) != 0};
  }

  // Whether the last cell (column n) of `row`, the row of a node at `depth`,
  // is within K.
  [[nodiscard]] bool in_reach(Row row, std::size_t depth) const noexcept {
    return (row & levels_[depth].at_n) != 0;
  }

  // The last cell of a row that is in reach: lanes grow with e, so it is the
  // number of lanes that do not hold column n.
  [[nodiscard]] std::uint64_t distance(Row row, std::size_t depth) const noexcept {
    const std::size_t top = n_ + K - depth;
    const Row held = (row >> top) & LANES;
    // The multiplication sums the lanes' bits into lane K.
    return K + 1 - (((held * LANES) >> LAST) & 0xFFFF);
  }

  // As BandSets::exhausted: whether lanes 0 .. K - 1 of `row`, the row of a
  // node at `depth`, are empty, and if so the code points that can keep a
  // child in reach.
  bool exhausted(Row row, std::size_t depth, KeptCodePoints& keep) const {
    if ((row & ((Row{1} << LAST) - 1)) != 0) return false;
    live_code_points(query_, K, row >> LAST, depth, keep);
    return true;
  }

 private:
  static constexpr unsigned LANE = 16;
  static constexpr unsigned LAST = LANE * K;  // the first bit of lane K
  static constexpr Row BAND = (Row{1} << (2 * K + 1)) - 1;
  static constexpr Row LANES = [] {
    Row lanes = 0;
    for (std::size_t e = 0; e <= K; ++e) lanes |= Row{1} << (LANE * e);
    return lanes;
  }();
  static constexpr Row ROW = BAND * LANES;

  // What the rows of all children at one depth have in common.
  struct Level {
    const Row* by_symbol = nullptr;
    Row open_mask = 0;
    Row at_n = 0;
  };

  std::u32string_view query_;
  std::size_t n_;
  BandMatches matches_;
  std::vector<Level> levels_;  // by depth
};

}  // namespace prefix::walk
