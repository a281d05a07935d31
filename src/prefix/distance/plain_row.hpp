// The plain Levenshtein row: every cell of the table row, computed by the
// textbook recurrence. The reference every other row kind is tested against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "prefix/distance/kept_code_points.hpp"
#include "prefix/distance/row_kind.hpp"

namespace prefix::distance {

// The row of a node with edge code point `edge` below a node whose row is
// `parent`, both of query.size() + 1 cells: cell 0 is the parent's plus one,
// cell j the least of a deletion (parent[j] + 1), an insertion (row[j - 1] +
// 1) and keeping or substituting the code point (parent[j - 1], plus 1 unless
// query[j - 1] is `edge`). `row` may be `parent`. Cells are bounded by depth
// + n, far below 2^64: the additions cannot wrap.
inline void plain_step(std::u32string_view query, const std::uint64_t* parent, std::uint64_t* row,
                       char32_t edge) noexcept {
  std::uint64_t diagonal = parent[0];
  row[0] = parent[0] + 1;
  for (std::size_t j = 1; j <= query.size(); ++j) {
    const std::uint64_t up = parent[j];
    row[j] = std::min({up + 1, row[j - 1] + 1, diagonal + (query[j - 1] == edge ? 0 : 1)});
    diagonal = up;
  }
}

// The row kind of plain rows (see row_kind.hpp), for any max_dist and query:
// n + 1 cells of 64 bits per row, O(n) per step and per read, no band and no
// saturation. Too slow for the walk; it is what tests and fuzzers compare the
// other kinds with, so it does nothing clever.
class PlainRows {
 public:
  using Word = std::uint64_t;
  static constexpr bool SCREENS_CHILDREN = false;
  static constexpr bool ONE_WORD = false;

  struct Parent {
    const Word* row;
  };

  // Reads answer at `radius` until narrowed.
  PlainRows(std::u32string_view query, std::uint64_t radius) : query_(query), radius_(radius) {}

  void narrow(std::uint64_t radius) noexcept { radius_ = radius; }

  [[nodiscard]] std::size_t stride() const noexcept { return query_.size() + 1; }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  void root(Word* row) const noexcept {
    for (std::size_t j = 0; j <= query_.size(); ++j) row[j] = j;
  }

  [[nodiscard]] static Parent parent(const Word* row, std::size_t /*depth*/) noexcept {
    return {row};
  }

  bool step(const Parent& parent, Word* row, char32_t edge) const noexcept {
    plain_step(query_, parent.row, row, edge);
    return is_open(row, 0);
  }

  [[nodiscard]] bool is_open(const Word* row, std::size_t /*depth*/) const noexcept {
    return *std::min_element(row, row + stride()) <= radius_;
  }
  [[nodiscard]] bool in_reach(const Word* row, std::size_t /*depth*/) const noexcept {
    return row[query_.size()] <= radius_;
  }
  [[nodiscard]] std::uint64_t distance(const Word* row, std::size_t /*depth*/) const noexcept {
    return row[query_.size()];
  }
  // Calls f(j, cell) for every column j whose cell is within the radius.
  template <class F>
  void for_each_end(const Word* row, std::size_t /*depth*/, F&& f) const {
    for (std::size_t j = 0; j < stride(); ++j) {
      if (row[j] <= radius_) f(j, std::uint64_t{row[j]});
    }
  }
  // Never tells: every child is screened.
  [[nodiscard]] static bool exhausted(const Word* /*row*/, std::size_t /*depth*/,
                                      KeptCodePoints& /*keep*/) noexcept {
    return false;
  }

 private:
  std::u32string_view query_;
  std::uint64_t radius_;
};

static_assert(RowKind<PlainRows>);

}  // namespace prefix::distance
