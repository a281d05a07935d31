// What a key costs a text that uses it: the one place where a payload is
// read as how common its key is.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace prefix {

// Payloads are read as frequency ranks, 0 for the most common key (the
// bundled dictionary's, and a word list ordered by frequency). By Zipf's law
// the key of rank r stands for about 1 / ((r + 2) H) of the words of a text,
// H ~ 12 for a vocabulary of 10^5; its cost is the negative natural log of
// that: 3.2 for rank 0, 9.4 for rank 1,000, 14 for rank 100,000.
[[nodiscard]] inline double word_cost(std::uint32_t payload) noexcept {
  constexpr double LOG_H = 2.49;
  return std::log(static_cast<double>(payload) + 2.0) + LOG_H;
}

// The most edits a key of `length` code points may take to explain a piece
// of text, whatever max_dist allows: none up to 2 code points, one up to 4,
// two up to 8, three beyond. A short key within two edits of a piece would
// explain almost any text.
[[nodiscard]] constexpr std::uint64_t edits_allowed(std::size_t length) noexcept {
  return length <= 2 ? 0 : length <= 4 ? 1 : length <= 8 ? 2 : 3;
}

}  // namespace prefix
