// The code points that can still keep a child within reach of a row: what a
// row kind hands the walk when only a few children can stay open.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace prefix::distance {

// Code points that may keep a child in reach, ascending and distinct: those
// of the columns of one band, so at most 64.
class KeptCodePoints {
 public:
  void clear() noexcept { size_ = 0; }

  // Adds `code_point` in its place, unless it is there already.
  void add(char32_t code_point) noexcept {
    std::size_t at = size_;
    while (at > 0 && points_[at - 1] > code_point) --at;
    if (at > 0 && points_[at - 1] == code_point) return;
    std::copy_backward(points_.begin() + static_cast<std::ptrdiff_t>(at),
                       points_.begin() + static_cast<std::ptrdiff_t>(size_),
                       points_.begin() + static_cast<std::ptrdiff_t>(size_ + 1));
    points_[at] = code_point;
    ++size_;
  }

  [[nodiscard]] std::u32string_view view() const noexcept { return {points_.data(), size_}; }

 private:
  std::array<char32_t, 64> points_{};
  std::size_t size_ = 0;
};

}  // namespace prefix::distance
