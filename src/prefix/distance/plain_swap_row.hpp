// The plain optimal-string-alignment row: every cell of the table row, by
// the textbook recurrence with adjacent swaps. The reference every swap row
// kind is tested against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "prefix/distance/kept_code_points.hpp"
#include "prefix/distance/row_kind.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) of the optimal-string-alignment distance: an
// insertion, a deletion, a substitution or a swap of two adjacent code points
// costs 1, and no part is edited twice. Cell j of a node's row is the
// distance between the node's text and the query's first j code points:
// the Levenshtein cell, or the grandparent's cell j - 2 plus one when the
// node's last two code points are the query's code points j, j - 1 swapped.
//
// A row is stored as its n + 1 cells, then its parent's n + 1 cells, then
// its edge code point, so that a child finds the grandparent's row and the
// parent's edge in the parent's storage. O(n) per step and per read: the
// reference of the swap kinds, too slow for the walk.
class PlainSwapRows {
 public:
  using Word = std::uint64_t;
  static constexpr bool SCREENS_CHILDREN = false;
  static constexpr bool ONE_WORD = false;

  struct Parent {
    const Word* row;
  };

  PlainSwapRows(std::u32string_view query, std::uint64_t radius)
      : query_(query), width_(query.size() + 1), radius_(radius) {}

  void narrow(std::uint64_t radius) noexcept { radius_ = radius; }

  [[nodiscard]] std::size_t stride() const noexcept { return 2 * width_ + 1; }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  // The root's cell j is j; above it lies no row, so no swap.
  void root(Word* row) const noexcept {
    for (std::size_t j = 0; j < width_; ++j) {
      row[j] = j;
      row[width_ + j] = NO_ROW;
    }
    row[2 * width_] = NO_CODE_POINT;
  }

  [[nodiscard]] static Parent parent(const Word* row, std::size_t /*depth*/) noexcept {
    return {row};
  }

  // `row` may be the parent's: the cells are worked out aside, then the
  // parent's row moves up and the new cells take its place.
  [[gnu::always_inline]] bool step(const Parent& parent, Word* row, char32_t edge) const {
    const Word* const up = parent.row;
    const Word* const above = parent.row + width_;
    const auto before = static_cast<char32_t>(parent.row[2 * width_]);
    cells_.resize(width_);
    cells_[0] = up[0] + 1;
    for (std::size_t j = 1; j < width_; ++j) {
      Word cell =
          std::min({up[j] + 1, cells_[j - 1] + 1, up[j - 1] + (query_[j - 1] == edge ? 0 : 1)});
      if (j >= 2 && query_[j - 2] == edge && query_[j - 1] == before) {
        cell = std::min(cell, above[j - 2] + 1);
      }
      cells_[j] = cell;
    }
    std::copy(up, up + width_, row + width_);
    std::copy(cells_.begin(), cells_.end(), row);
    row[2 * width_] = edge;
    return is_open(row, 0);
  }

  [[nodiscard]] bool is_open(const Word* row, std::size_t /*depth*/) const noexcept {
    return *std::min_element(row, row + width_) <= radius_;
  }
  [[nodiscard]] bool in_reach(const Word* row, std::size_t /*depth*/) const noexcept {
    return row[width_ - 1] <= radius_;
  }
  [[nodiscard]] std::uint64_t distance(const Word* row, std::size_t /*depth*/) const noexcept {
    return row[width_ - 1];
  }
  [[nodiscard]] static bool exhausted(const Word* /*row*/, std::size_t /*depth*/,
                                      KeptCodePoints& /*keep*/) noexcept {
    return false;
  }

 private:
  // A cell no swap can start from: far above any distance, and + 1 cannot wrap.
  static constexpr std::uint64_t NO_ROW = std::uint64_t{1} << 62;

  std::u32string_view query_;
  std::size_t width_;
  std::uint64_t radius_;
  mutable std::vector<Word> cells_;  // a step's new cells, before they are stored
};

static_assert(RowKind<PlainSwapRows>);

}  // namespace prefix::distance
