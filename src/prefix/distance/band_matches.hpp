// Which columns of a row's band a child's edge code point matches, by the
// child's depth: the input of every step of the bit-set rows.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/kept_code_points.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::distance {

// For a query of n code points and a band half-width k: bit i of the matches
// of a child at depth d is set when the query code point of column d - k + i
// (column j holds code point j - 1) equals the child's edge code point. A
// match word is stored multiplied by `spread`, so that rows packing several
// words into one (PackedBand) get it in every word at no cost per step.
//
// The words come from a table by depth and symbol, symbol 0 standing for
// every code point that is not in the query and 1 and up for those that are.
// Long queries, or queries with many distinct code points, compare code
// points one by one instead of keeping a table that grows with both.
class BandMatches {
 public:
  using Word = std::uint64_t;

  BandMatches(std::u32string_view query, std::size_t k, Word spread) : k_(k), spread_(spread) {
    // Code points below 256 are numbered as they first appear (one pass
    // over the query, not over every byte value), the others after them.
    std::uint32_t symbols = 1;
    for (const char32_t code_point : query) {
      if (code_point >= bytes_.size()) {
        others_.emplace_back(code_point, 0);
      } else if (bytes_[code_point] == 0) {
        bytes_[code_point] = symbols++;
      }
    }
    std::sort(others_.begin(), others_.end());
    others_.erase(std::unique(others_.begin(), others_.end()), others_.end());
    for (auto& other : others_) other.second = symbols++;
    symbols_ = symbols;
    // Visited depths stay below n + k + 2.
    const std::size_t n = query.size();
    const std::size_t depths = n + k_ + 2;
    if (depths * symbols_ > MAX_TABLE_ENTRIES) {
      // The query between NO_CODE_POINTs: the columns of a child at depth d
      // stand for its code points d - k - 1 and on.
      padded_.assign(k_ + 1, NO_CODE_POINT);
      padded_.append(query);
      padded_.append(2 * k_ + 2, NO_CODE_POINT);
      return;
    }
    // Query code point t is column t + 1, which is bit t + 1 - d + k at depth d.
    table_.assign(depths * symbols_, 0);
    table_bytes_ = static_cast<char32_t>(bytes_.size());
    for (std::size_t t = 0; t < n; ++t) {
      const std::size_t first = t + 1 > k_ ? t + 1 - k_ : 0;
      for (std::size_t depth = first; depth <= t + 1 + k_; ++depth) {
        table_[depth * symbols_ + symbol_of(query[t])] |=
            (Word{1} << (t + 1 + k_ - depth)) * spread_;
      }
    }
  }

  // The matches of every symbol at `depth`, for at(); null without a table.
  [[nodiscard]] const Word* at_depth(std::size_t depth) const noexcept {
    return table_.empty() ? nullptr : table_.data() + depth * symbols_;
  }

  // The matches of a child at `depth` with edge code point `edge`;
  // `by_symbol` is at_depth(depth).
  [[nodiscard, gnu::always_inline]] Word at(const Word* by_symbol, std::size_t depth,
                                            char32_t edge) const noexcept {
    // One test for the common case: a table, and a code point below 256.
    if (edge < table_bytes_) [[likely]] {
      return by_symbol[bytes_[edge]];
    }
    return by_symbol != nullptr ? by_symbol[symbol_of(edge)] : compared(depth, edge);
  }

 private:
  static constexpr std::size_t MAX_TABLE_ENTRIES = std::size_t{1} << 15;

  // The matches without a table, code point by code point.
  [[nodiscard, gnu::noinline]] Word compared(std::size_t depth, char32_t edge) const noexcept {
    const char32_t* const window = padded_.data() + depth;
    Word matches = 0;
    for (std::size_t i = 0; i <= 2 * k_; ++i) matches |= Word{window[i] == edge} << i;
    return matches * spread_;
  }

  [[nodiscard, gnu::always_inline]] std::uint32_t symbol_of(char32_t code_point) const noexcept {
    if (code_point < bytes_.size()) [[likely]] {
      return bytes_[code_point];
    }
    const auto it = std::lower_bound(others_.begin(), others_.end(), code_point,
                                     [](const std::pair<char32_t, std::uint32_t>& other,
                                        char32_t value) { return other.first < value; });
    return it != others_.end() && it->first == code_point ? it->second : 0;
  }

  std::size_t k_;
  Word spread_;
  std::array<std::uint32_t, 256> bytes_{};                  // symbol of each code point below 256
  std::vector<std::pair<char32_t, std::uint32_t>> others_;  // sorted, with their symbols
  std::size_t symbols_ = 0;
  char32_t table_bytes_ = 0;  // the size of bytes_ with a table, else 0
  std::vector<Word> table_;   // depth * symbols_ + symbol: the matches of that child
  std::u32string padded_;     // without a table
};

// The distinct query code points, ascending, of the columns set in `word`, a
// row word of a node at `depth` with band half-width k; columns past the
// query's end have none.
[[gnu::always_inline]] inline void live_code_points(std::u32string_view query, std::size_t k,
                                                    std::uint64_t word, std::size_t depth,
                                                    KeptCodePoints& out) {
  out.clear();
  // Bit i is column depth - k + i; columns up to n - 1 have a code point.
  const auto below_n =
      static_cast<std::ptrdiff_t>(query.size() + k) - static_cast<std::ptrdiff_t>(depth);
  if (below_n <= 0) return;
  std::uint64_t live =
      word & (below_n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << below_n) - 1);
  while (live != 0) {
    const auto bit = static_cast<std::size_t>(std::countr_zero(live));
    live &= live - 1;
    out.add(query[depth - k + bit]);
  }
}

}  // namespace prefix::distance
