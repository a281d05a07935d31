// What a key costs a text that uses it: the one place where a key's count,
// or failing that its payload, is read as how common the key is.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace prefix {

// The cost of a key in nats: the negative natural log of the share of a
// text's words it stands for.
//
// With counts per payload (a trie that carries them), a key of count c
// among counts summing to N costs log(N / c). A key counted 0 (in the word
// list, never seen in the corpus) is taken to be half as common as the
// rarest counted one.
//
// Without counts, payloads are read as frequency ranks, 0 for the most
// common key (a word list ordered by frequency). By Zipf's law the key of
// rank r stands for about 1 / ((r + 2) H) of the words of a text, H ~ 12 for
// a vocabulary of 10^5: 3.2 for rank 0, 9.4 for rank 1,000, 14 for rank
// 100,000.
class WordCosts {
 public:
  // Costs by rank.
  WordCosts() = default;

  // Costs by `counts` when there are any (a pass over them), else by rank.
  explicit WordCosts(std::optional<std::span<const std::uint64_t>> counts) {
    if (!counts) return;
    double total = 0.0;
    std::uint64_t rarest = 0;
    for (const std::uint64_t count : *counts) {
      total += static_cast<double>(count);
      if (count != 0 && (rarest == 0 || count < rarest)) rarest = count;
    }
    if (total <= 0.0) return;  // nothing counted: ranks are all there is
    counts_ = *counts;
    log_total_ = std::log(total);
    floor_ = std::max(static_cast<double>(rarest) / 2.0, 0.5);
  }

  // Costs by `counts` whose log total and floor (half the rarest nonzero
  // count, at least 0.5) the caller has worked out as the constructor above
  // does, sparing its pass over them. Requires a nonzero total.
  WordCosts(std::span<const std::uint64_t> counts, double log_total, double floor) noexcept
      : counts_(counts), log_total_(log_total), floor_(floor) {}

  [[nodiscard]] double operator()(std::uint32_t payload) const noexcept {
    if (counts_.empty()) return std::log(static_cast<double>(payload) + 2.0) + LOG_H;
    const double count = payload < counts_.size() ? static_cast<double>(counts_[payload]) : 0.0;
    return log_total_ - std::log(std::max(count, floor_));
  }

 private:
  static constexpr double LOG_H = 2.49;
  std::span<const std::uint64_t> counts_;
  double log_total_ = 0.0;
  double floor_ = 0.5;
};

// The payload that stands for no key (a piece no key explains, no word
// before or after a text).
constexpr std::uint32_t NO_KEY = UINT32_MAX;

// Evidence from pairs of keys seen one after the other: a key right after
// another may cost less than it does alone. Each entry packs a pair as
// (first << 40) | (second << 16) | cost, the cost in thousandths of a nat;
// entries are sorted, so that a pair is found by binary search. Payloads of
// 2^24 or more have no pairs.
class PairCosts {
 public:
  // No pairs: every key costs what it does alone.
  PairCosts() = default;

  // Borrows `packed` (sorted, as above) for the object's lifetime.
  explicit PairCosts(std::span<const std::uint64_t> packed) noexcept : packed_(packed) {}

  [[nodiscard]] bool empty() const noexcept { return packed_.empty(); }

  // What key `second` costs right after key `first` when `alone` is its cost
  // alone: the pair's cost when the pair is listed and costs less, else
  // `alone`. Either payload may be NO_KEY. O(log pairs).
  [[nodiscard]] double after(std::uint32_t first, std::uint32_t second,
                             double alone) const noexcept {
    if (packed_.empty() || first >= LIMIT || second >= LIMIT) return alone;
    const std::uint64_t pair = (std::uint64_t{first} << 40) | (std::uint64_t{second} << 16);
    const auto* found = std::lower_bound(packed_.data(), packed_.data() + packed_.size(), pair);
    if (found == packed_.data() + packed_.size() || (*found >> 16) != (pair >> 16)) return alone;
    return std::min(alone, static_cast<double>(*found & 0xffffU) / 1000.0);
  }

  // The pairs whose first key is `first` (none for NO_KEY): `after` on them
  // answers as on all of them for that first key, searching fewer entries.
  // O(log pairs).
  [[nodiscard]] PairCosts from(std::uint32_t first) const noexcept {
    if (packed_.empty() || first >= LIMIT) return {};
    const std::uint64_t low = std::uint64_t{first} << 40;
    const std::uint64_t high = std::uint64_t{first + 1} << 40;
    const auto* begin = std::lower_bound(packed_.data(), packed_.data() + packed_.size(), low);
    const auto* end = std::lower_bound(begin, packed_.data() + packed_.size(), high);
    return PairCosts(std::span<const std::uint64_t>(begin, end));
  }

 private:
  static constexpr std::uint32_t LIMIT = 1U << 24;
  std::span<const std::uint64_t> packed_;
};

// The most edits a key of `length` code points may take to explain a piece
// of text, whatever max_dist allows: none up to 2 code points, one up to 4,
// two up to 8, three beyond. A short key within two edits of a piece would
// explain almost any text.
[[nodiscard]] constexpr std::uint64_t edits_allowed(std::size_t length) noexcept {
  return length <= 2 ? 0 : length <= 4 ? 1 : length <= 8 ? 2 : 3;
}

}  // namespace prefix
