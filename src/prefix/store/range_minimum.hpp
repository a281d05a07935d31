// The smallest of any range of a fixed array of numbers: block minima with
// a sparse table over the blocks, and the values themselves for the ends.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <utility>
#include <vector>

namespace prefix {

template <class T>
class RangeMinimum {
 public:
  // Values per block: the ends of a range are scanned within their blocks.
  static constexpr std::size_t BLOCK = 32;

  RangeMinimum() = default;

  // Over `values`. Costs O(v) time and v + (v / BLOCK) log2(v / BLOCK)
  // values of memory.
  explicit RangeMinimum(std::vector<T> values) : values_(std::move(values)) {
    const std::size_t blocks = (values_.size() + BLOCK - 1) / BLOCK;
    if (blocks == 0) return;
    std::vector<T>& minima = levels_.emplace_back(blocks);
    for (std::size_t b = 0; b < blocks; ++b) {
      const auto first = values_.begin() + static_cast<std::ptrdiff_t>(b * BLOCK);
      const auto last =
          values_.begin() + static_cast<std::ptrdiff_t>(std::min(values_.size(), (b + 1) * BLOCK));
      minima[b] = *std::min_element(first, last);
    }
    for (std::size_t width = 2; width <= blocks; width *= 2) {
      const std::vector<T>& below = levels_.back();
      std::vector<T> level(blocks - width + 1);
      for (std::size_t b = 0; b < level.size(); ++b) {
        level[b] = std::min(below[b], below[b + width / 2]);
      }
      levels_.push_back(std::move(level));
    }
  }

  [[nodiscard]] std::size_t size() const noexcept { return values_.size(); }
  // Bytes held.
  [[nodiscard]] std::size_t memory() const noexcept {
    std::size_t values = values_.size();
    for (const std::vector<T>& level : levels_) values += level.size();
    return values * sizeof(T);
  }
  [[nodiscard]] T operator[](std::size_t i) const noexcept { return values_[i]; }

  // The smallest of values [first, last]; requires first <= last < size().
  // At most 2 BLOCK values and two table entries are read.
  [[nodiscard]] T min_of(std::size_t first, std::size_t last) const noexcept {
    const std::size_t first_block = first / BLOCK;
    const std::size_t last_block = last / BLOCK;
    if (first_block == last_block) return scan(first, last + 1);
    T least = std::min(scan(first, (first_block + 1) * BLOCK), scan(last_block * BLOCK, last + 1));
    if (last_block - first_block > 1) {
      const std::size_t from = first_block + 1;
      const std::size_t count = last_block - from;
      const auto level = static_cast<std::size_t>(std::bit_width(count) - 1);
      const std::vector<T>& minima = levels_[level];
      least = std::min({least, minima[from], minima[last_block - (std::size_t{1} << level)]});
    }
    return least;
  }

 private:
  [[nodiscard]] T scan(std::size_t first, std::size_t end) const noexcept {
    return *std::min_element(values_.begin() + static_cast<std::ptrdiff_t>(first),
                             values_.begin() + static_cast<std::ptrdiff_t>(end));
  }

  std::vector<T> values_;
  std::vector<std::vector<T>> levels_;  // levels_[l][b]: least of blocks b to b + 2^l - 1
};

}  // namespace prefix
