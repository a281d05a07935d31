// Levenshtein and optimal-string-alignment rows of saturating cells, for a
// max_dist too large for rows of bit sets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "prefix/distance/kept_code_points.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::distance {

// The row kind (row_kind.hpp) of cells, for any max_dist and query length;
// the walks take it from max_dist 32 on: Levenshtein rows, and with SWAPS
// optimal-string-alignment rows (see PlainSwapRows). A cell is the true distance when
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
// With SWAPS the stored row and its trailing cell are followed by the
// parent's (all `cap` at the root: no swap reaches a child of it) and by the
// node's edge code point, in EDGE_CELLS cells, so that a child finds its
// grandparent's cells and its parent's edge in its parent's row. A swap
// reaches column j of a child from column j - 2 of its grandparent, when the
// child's edge is query code point j - 2 and its parent's edge is code point
// j - 1 (column j ends with code point j - 1). Banded, that column lies at the
// same position of the grandparent's row as column j in the child's (the
// band moves a column per depth); unbanded, two positions before it. The
// term joins the others before the insertion from the left spreads it.
//
// Cost: a step and is_open are a pass over min(n + 1, 2 max_dist + 1) cells
// of the narrowest Cell that holds the cap, with SWAPS one more comparison
// per cell and a copy of the parent's cells (a second copy when the row is
// written in place); the other reads are O(1) (and exhausted never tells).
// A wrong answer breaks the queries with max_dist 32 and up, and the ones
// with huge max_dist that list a whole trie.
template <class Cell, bool SWAPS = false>
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
    char32_t edge;            // with SWAPS, the node's edge code point
  };

  CellRows(std::u32string_view query, std::uint64_t max_dist, Cell cap)
      : query_(query),
        banded_(max_dist < (query.size() + 1) / 2),
        half_(banded_ ? static_cast<std::size_t>(max_dist) : 0),
        width_(banded_ ? 2 * half_ + 1 : query.size() + 1),
        cap_(cap),
        radius_(static_cast<Cell>(std::min<std::uint64_t>(max_dist, cap))) {
    if constexpr (SWAPS) cells_.resize(width_);
  }

  void narrow(std::uint64_t radius) noexcept { radius_ = static_cast<Cell>(radius); }

  // Cells per stored row, the trailing `cap` cell included (with SWAPS, the
  // parent's and the edge too).
  [[nodiscard]] std::size_t stride() const noexcept {
    return SWAPS ? 2 * (width_ + 1) + EDGE_CELLS : width_ + 1;
  }
  [[nodiscard]] Cell fill() const noexcept { return cap_; }

  // The root's row: column j is j.
  void root(Cell* row) const noexcept {
    const std::ptrdiff_t low = first_column(0);
    for (std::size_t i = 0; i < width_; ++i) {
      row[i] = clamp_column(low + static_cast<std::ptrdiff_t>(i));
    }
    row[width_] = cap_;
    if constexpr (SWAPS) {
      std::fill(row + width_ + 1, row + 2 * (width_ + 1), cap_);
      store_edge(row, NO_CODE_POINT);
    }
  }

  [[nodiscard]] Parent parent(const Cell* row, std::size_t depth) const noexcept {
    if constexpr (SWAPS) {
      char32_t edge = NO_CODE_POINT;
      std::memcpy(&edge, row + edge_at(), sizeof edge);
      return {row, depth + 1, edge};
    } else {
      return {row, depth + 1, NO_CODE_POINT};
    }
  }

  // `row` may be the parent's. Without SWAPS each step reads the parent's
  // cells at and after the one it writes, keeping the one before; with
  // SWAPS the new cells go aside first, as the grandparent's cells (in the
  // parent's row) are read to the end.
  [[gnu::always_inline]] bool step(const Parent& parent_row, Cell* row,
                                   char32_t edge) const noexcept {
    if constexpr (SWAPS) {
      Cell* const cells = row == parent_row.row ? cells_.data() : row;
      const bool open = step_cells(parent_row, cells, edge);
      std::copy_n(parent_row.row, width_, row + width_ + 1);
      if (cells != row) std::copy_n(cells, width_, row);
      store_edge(row, edge);
      return open;
    } else {
      return step_cells(parent_row, row, edge);
    }
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
  // Cells that hold an edge code point.
  static constexpr std::size_t EDGE_CELLS = (sizeof(char32_t) + sizeof(Cell) - 1) / sizeof(Cell);

  // The cells of the child of the node `parent_row` with edge `edge`, into
  // `row`: the stored cells, not the trailing one nor (with SWAPS) the rest.
  [[gnu::always_inline]] bool step_cells(const Parent& parent_row, Cell* row,
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
    // With SWAPS: the grandparent's column j - 2 for column j at position i,
    // and query code point j - 2 (none below column 2).
    [[maybe_unused]] const Cell* const grand = parent + (width_ + 1) - (banded_ ? 0 : 2);
    [[maybe_unused]] char32_t earlier =
        SWAPS && low + static_cast<std::ptrdiff_t>(begin) >= 2 ? query[-1] : NO_CODE_POINT;
    for (std::size_t i = begin; i < end; ++i, ++query) {
      const Cell up = parent[i + shift];
      const Cell substitute = static_cast<Cell>(diagonal + (*query == edge ? 0 : 1));
      Cell cell =
          std::min({static_cast<Cell>(up + 1), static_cast<Cell>(left + 1), substitute, cap_});
      if constexpr (SWAPS) {
        // Below the cap, so one more cannot wrap.
        if (earlier == edge && *query == parent_row.edge) [[unlikely]] {
          cell = std::min(cell, static_cast<Cell>(grand[i] + 1));
        }
        earlier = *query;
      }
      row[i] = cell;
      left = cell;
      diagonal = up;
      least = std::min(least, cell);
    }
    for (std::size_t i = end; i < width_; ++i) row[i] = cap_;
    return least <= radius_;
  }

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
  [[nodiscard]] std::size_t edge_at() const noexcept { return 2 * (width_ + 1); }
  void store_edge(Cell* row, char32_t edge) const noexcept {
    std::memcpy(row + edge_at(), &edge, sizeof edge);
  }

  std::u32string_view query_;
  bool banded_;
  std::size_t half_;   // max_dist when banded
  std::size_t width_;  // stored cells per row, without the trailing one
  Cell cap_;
  Cell radius_;                      // below the cap, unless no cell reaches the cap
  mutable std::vector<Cell> cells_;  // with SWAPS, a step's new cells when written in place
};

}  // namespace prefix::distance
