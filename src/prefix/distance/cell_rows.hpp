// Levenshtein rows of saturating cells, for a max_dist too large for rows of
// bit sets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "prefix/distance/kept_code_points.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) of cells, for any max_dist and query length;
// the walk takes it from max_dist 32 on. A cell is the true distance when
// that is at most max_dist and `cap` (max_dist + 1, or a value no cell
// reaches) otherwise: a cell above max_dist can neither be reported nor keep
// a node open, and every cell derived from it is at least as large, so
// clamping changes no read at any radius up to max_dist.
//
// When the band of columns d - max_dist .. d + max_dist is narrower than the
// whole row (2 max_dist < n), a row stores just it, as 2 max_dist + 1 cells
// starting at column d - max_dist; columns outside 0..n hold `cap`. Otherwise
// a row stores all n + 1 columns. Each stored row is followed by one more
// cell that is always `cap`: the parent's column just past its band, read
// without a bounds test.
//
// Cost: a step and is_open are a pass over min(n + 1, 2 max_dist + 1) cells
// of the narrowest Cell that holds the cap; the other reads are O(1) (and
// exhausted never tells). A wrong answer breaks the queries with max_dist 32
// and up, and the ones with huge max_dist that list a whole trie.
template <class Cell>
class CellRows {
 public:
  using Word = Cell;
  // A row costs a pass over its width, and with a large max_dist few children
  // close: each is stacked and its row computed once, when it is visited.
  static constexpr bool SCREENS_CHILDREN = false;
  static constexpr bool ONE_WORD = false;

  struct Parent {
    const Cell* row;
    std::size_t child_depth;  // the node's depth + 1
  };

  CellRows(std::u32string_view query, std::uint64_t max_dist, Cell cap)
      : query_(query),
        banded_(max_dist < (query.size() + 1) / 2),
        half_(banded_ ? static_cast<std::size_t>(max_dist) : 0),
        width_(banded_ ? 2 * half_ + 1 : query.size() + 1),
        cap_(cap),
        radius_(static_cast<Cell>(std::min<std::uint64_t>(max_dist, cap))) {}

  void narrow(std::uint64_t radius) noexcept { radius_ = static_cast<Cell>(radius); }

  // Cells per stored row, the trailing `cap` cell included.
  [[nodiscard]] std::size_t stride() const noexcept { return width_ + 1; }
  [[nodiscard]] Cell fill() const noexcept { return cap_; }

  // The root's row: column j is j.
  void root(Cell* row) const noexcept {
    const std::ptrdiff_t low = first_column(0);
    for (std::size_t i = 0; i < width_; ++i) {
      row[i] = clamp_column(low + static_cast<std::ptrdiff_t>(i));
    }
    row[width_] = cap_;
  }

  [[nodiscard]] static Parent parent(const Cell* row, std::size_t depth) noexcept {
    return {row, depth + 1};
  }

  // `row` may be the parent's: each step reads the parent's cells at and
  // after the one it writes, keeping the one before.
  [[gnu::always_inline]] bool step(const Parent& parent_row, Cell* row,
                                   char32_t edge) const noexcept {
    const Cell* const parent = parent_row.row;
    const std::size_t depth = parent_row.child_depth;
    const std::size_t n = query_.size();
    const std::ptrdiff_t low = first_column(depth);
    // The parent's column j sits at parent[j - low + shift].
    const std::size_t shift = banded_ ? 1 : 0;
    // Stored positions [begin, end) hold the columns 1..n; before them lie
    // column 0 and columns below it, after them columns above n.
    const std::size_t begin = low >= 1 ? 0 : std::min(width_, static_cast<std::size_t>(1 - low));
    const std::ptrdiff_t past_n = static_cast<std::ptrdiff_t>(n) + 1 - low;
    const std::size_t end = past_n <= 0 ? 0 : std::min(width_, static_cast<std::size_t>(past_n));
    // The parent's cell diagonally up-left of position `begin`.
    Cell diagonal = begin + shift >= 1 ? parent[begin + shift - 1] : cap_;
    Cell least = cap_;
    Cell left = cap_;
    for (std::size_t i = 0; i < begin; ++i) {
      // Column 0 costs `depth` deletions; columns below 0 do not exist.
      left = low + static_cast<std::ptrdiff_t>(i) == 0 ? clamp(depth) : cap_;
      row[i] = left;
      least = std::min(least, left);
    }
    const char32_t* query = query_.data() + (low + static_cast<std::ptrdiff_t>(begin) - 1);
    for (std::size_t i = begin; i < end; ++i, ++query) {
      const Cell up = parent[i + shift];
      const Cell substitute = static_cast<Cell>(diagonal + (*query == edge ? 0 : 1));
      const Cell cell =
          std::min({static_cast<Cell>(up + 1), static_cast<Cell>(left + 1), substitute, cap_});
      row[i] = cell;
      left = cell;
      diagonal = up;
      least = std::min(least, cell);
    }
    for (std::size_t i = end; i < width_; ++i) row[i] = cap_;
    return least <= radius_;
  }

  [[nodiscard]] bool is_open(const Cell* row, std::size_t /*depth*/) const noexcept {
    return *std::min_element(row, row + width_) <= radius_;
  }

  [[nodiscard]] bool in_reach(const Cell* row, std::size_t depth) const noexcept {
    const Cell* const last = last_cell(row, depth);
    return last != nullptr && *last <= radius_;
  }

  [[nodiscard]] std::uint64_t distance(const Cell* row, std::size_t depth) const noexcept {
    return std::uint64_t{*last_cell(row, depth)};
  }

  // Never tells: with a large max_dist few children close anyway.
  [[nodiscard]] static bool exhausted(const Cell* /*row*/, std::size_t /*depth*/,
                                      KeptCodePoints& /*keep*/) noexcept {
    return false;
  }

 private:
  // The column held at position 0 of a row at `depth`.
  [[nodiscard]] std::ptrdiff_t first_column(std::size_t depth) const noexcept {
    return banded_ ? static_cast<std::ptrdiff_t>(depth) - static_cast<std::ptrdiff_t>(half_) : 0;
  }
  // Column n of a row at `depth`, or null when it lies outside the band.
  [[nodiscard]] const Cell* last_cell(const Cell* row, std::size_t depth) const noexcept {
    const std::ptrdiff_t at_n = static_cast<std::ptrdiff_t>(query_.size()) - first_column(depth);
    return at_n >= 0 && static_cast<std::size_t>(at_n) < width_ ? row + at_n : nullptr;
  }
  [[nodiscard]] Cell clamp(std::size_t value) const noexcept {
    return value < cap_ ? static_cast<Cell>(value) : cap_;
  }
  [[nodiscard]] Cell clamp_column(std::ptrdiff_t column) const noexcept {
    if (column < 0 || column > static_cast<std::ptrdiff_t>(query_.size())) return cap_;
    return clamp(static_cast<std::size_t>(column));
  }

  std::u32string_view query_;
  bool banded_;
  std::size_t half_;   // max_dist when banded
  std::size_t width_;  // stored cells per row, without the trailing one
  Cell cap_;
  Cell radius_;  // below the cap, unless no cell reaches the cap
};

}  // namespace prefix::distance
