// Levenshtein rows for max_dist 0 to 3, each packed into one machine word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/distance/band_matches.hpp"
#include "prefix/distance/kept_code_points.hpp"
#include "prefix/distance/row_kind.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) for max_dist K fixed at 0 to 3, any query
// length: the rows of BandSets packed, word e of the K + 1 (2K + 1 bits
// each) in the 16-bit lane at bit 16e of one 64-bit Row. The recurrence
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
// stand for cells above K. Lane e holds the columns whose cell is at most e,
// so the reads at radius r look at lane r.
//
// Cost: a step is about ten word operations whatever K and n, a read one or
// two; the query is prepared once in O((n + K) * distinct code points) (see
// BandMatches). A row is small enough to stack beside each pending child.
// This is the kind of the common queries, so a wrong answer here breaks
// most lookups.
template <std::size_t K>
class PackedBand {
  static_assert(K <= 3);

 public:
  using Word = std::uint64_t;
  static constexpr bool SCREENS_CHILDREN = true;
  static constexpr bool ONE_WORD = true;

  // What every child of one node shares.
  struct Parent {
    Word row;                 // the node's row
    Word carried;             // lane e - 1 of the row and its shift, moved to lane e
    const Word* by_symbol;    // BandMatches::at_depth of the children's depth
    std::size_t child_depth;  // the node's depth + 1
    Word open_mask;           // lane `radius`, the columns up to n
  };

  explicit PackedBand(std::u32string_view query)
      : query_(query), n_(query.size()), matches_(query, K, LANES) {
    // Children of open nodes are at depth n + K + 1 at most.
    levels_.resize(n_ + K + 2);
    for (std::size_t depth = 0; depth < levels_.size(); ++depth) {
      levels_[depth].by_symbol = matches_.at_depth(depth);
    }
    narrow(K);
  }

  // Moves the masks of every level to lane `radius`: O(n + K).
  void narrow(std::uint64_t radius) noexcept {
    below_ = LANE * static_cast<unsigned>(radius);
    for (std::size_t depth = 0; depth < levels_.size(); ++depth) {
      Level& level = levels_[depth];
      level.open_mask = 0;
      level.at_n = 0;
      // Column n is bit n + K - depth; bits above it are past the query.
      const auto top = static_cast<std::ptrdiff_t>(n_ + K) - static_cast<std::ptrdiff_t>(depth);
      if (top < 0) continue;
      const Word up_to_n = top >= static_cast<std::ptrdiff_t>(2 * K) ? BAND : (Word{2} << top) - 1;
      level.open_mask = up_to_n << below_;
      if (top <= static_cast<std::ptrdiff_t>(2 * K)) level.at_n = (Word{1} << top) << below_;
    }
    // A key h code points below a node at depth d is at least its cell j
    // plus n - j - h (the query code points left over) away: lane e counts
    // for columns j >= n - h - (radius - e), bits T + e and up with T = n +
    // K - radius - (d + h). From d + h = n + K on every bit counts. The
    // table runs past the deepest visited depth by UNBOUNDED_HEIGHT, so
    // may_reach reads it unchecked; that height bounds nothing, which the
    // table says only when n + K <= UNBOUNDED_HEIGHT + 1 (children are at
    // depth 1 or more), so longer queries go without the bound.
    const std::size_t sums = n_ + K;
    const bool bounded = sums <= UNBOUNDED_HEIGHT + 1;
    reach_.assign(levels_.size() + UNBOUNDED_HEIGHT, ROW);
    for (std::size_t sum = 0; bounded && sum < sums; ++sum) {
      const std::ptrdiff_t first =
          static_cast<std::ptrdiff_t>(sums) - static_cast<std::ptrdiff_t>(radius + sum);
      reach_[sum] = 0;
      for (std::size_t e = 0; e <= radius; ++e) {
        const std::ptrdiff_t from = first + static_cast<std::ptrdiff_t>(e);
        if (from > static_cast<std::ptrdiff_t>(2 * K)) continue;
        const Word lane = from <= 0 ? BAND : BAND & ~((Word{1} << from) - 1);
        reach_[sum] |= lane << (LANE * e);
      }
    }
  }

  [[nodiscard]] static std::size_t stride() noexcept { return 1; }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  // The root's cell j is j: column j is in lane e for j <= e.
  static void root(Word* row) noexcept {
    Word packed = 0;
    for (std::size_t e = 0; e <= K; ++e) packed |= (((Word{2} << e) - 1) << K) << (LANE * e);
    *row = packed;
  }

  [[nodiscard, gnu::always_inline]] Parent parent(const Word* row,
                                                  std::size_t depth) const noexcept {
    const Level& level = levels_[depth + 1];
    return {*row, ((*row | (*row >> 1)) & ROW) << LANE, level.by_symbol, depth + 1,
            level.open_mask};
  }

  [[gnu::always_inline]] bool step(const Parent& parent, Word* row, char32_t edge) const noexcept {
    Word child =
        (parent.row & matches_.at(parent.by_symbol, parent.child_depth, edge)) | parent.carried;
    if constexpr (K >= 1) child |= child << (LANE + 1);
    if constexpr (K >= 2) child |= child << (2 * (LANE + 1));
    child &= ROW;
    *row = child;
    return (child & parent.open_mask) != 0;
  }

  [[nodiscard]] bool is_open(const Word* row, std::size_t depth) const noexcept {
    return (*row & levels_[depth].open_mask) != 0;
  }

  [[nodiscard]] bool in_reach(const Word* row, std::size_t depth) const noexcept {
    return (*row & levels_[depth].at_n) != 0;
  }

  // Whether a key at most `height` code points below a node at `depth` >= 1
  // (the node itself included) can be within the radius; always true from
  // a height of n + K - depth on, and for UNBOUNDED_HEIGHT.
  [[nodiscard]] bool may_reach(const Word* row, std::size_t depth,
                               std::size_t height) const noexcept {
    return (*row & reach_[depth + height]) != 0;
  }

  // Lanes grow with e, so the last cell is the number of lanes that do not
  // hold column n.
  [[nodiscard]] std::uint64_t distance(const Word* row, std::size_t depth) const noexcept {
    const std::size_t top = n_ + K - depth;
    const Word held = (*row >> top) & LANES;
    // The multiplication sums the lanes' bits into lane K.
    return K + 1 - (((held * LANES) >> LAST) & 0xFFFF);
  }

  // Calls f(j, cell) for every column j <= n of the row whose cell is
  // within the radius, j ascending: the ends of the query that the node's
  // text reaches. At most 2K + 1 columns, each read from the lowest lane
  // that holds it.
  template <class F>
  void for_each_end(const Word* row, std::size_t depth, F&& f) const {
    const std::size_t radius = below_ / LANE;
    for (std::size_t bit = 0; bit <= 2 * K; ++bit) {
      if (depth + bit < K || depth + bit - K > n_) continue;
      for (std::size_t e = 0; e <= radius; ++e) {
        if (((*row >> (LANE * e + bit)) & 1) != 0) {
          f(depth + bit - K, std::uint64_t{e});
          break;
        }
      }
    }
  }

  // The match words of the query, for kinds built on these rows.
  [[nodiscard]] const BandMatches& matches() const noexcept { return matches_; }

  // Whether no cell of the row is below the radius (what exhausted() tests
  // before it lists code points).
  [[nodiscard]] bool is_exhausted(const Word* row) const noexcept {
    return (*row & ((Word{1} << below_) - 1)) == 0;
  }

  // As BandSets::exhausted, on the lanes below the radius and the radius's.
  [[gnu::always_inline]] bool exhausted(const Word* row, std::size_t depth,
                                        KeptCodePoints& keep) const {
    if (!is_exhausted(row)) return false;
    live_code_points(query_, K, (*row >> below_) & BAND, depth, keep);
    return true;
  }

 private:
  static constexpr unsigned LANE = 16;
  static constexpr unsigned LAST = LANE * K;  // the first bit of lane K
  static constexpr Word BAND = (Word{1} << (2 * K + 1)) - 1;
  static constexpr Word LANES = [] {
    Word lanes = 0;
    for (std::size_t e = 0; e <= K; ++e) lanes |= Word{1} << (LANE * e);
    return lanes;
  }();
  static constexpr Word ROW = BAND * LANES;

  // What the rows of all nodes at one depth have in common, in the lane of
  // the radius.
  struct Level {
    const Word* by_symbol = nullptr;
    Word open_mask = 0;  // the band's columns up to n
    Word at_n = 0;       // column n, when it is in the band
  };

  std::u32string_view query_;
  std::size_t n_;
  BandMatches matches_;
  std::vector<Level> levels_;  // by depth
  std::vector<Word> reach_;    // by depth + height, for may_reach
  unsigned below_ = 0;         // the first bit of the radius's lane
};

}  // namespace prefix::distance
