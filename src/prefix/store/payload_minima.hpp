// The smallest payload of any range of key numbers, for walks that pass over
// subtrees whose keys cannot rank first: kept beside a tree, made from its
// payloads in key order.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "prefix/store/range_minimum.hpp"

namespace prefix {

class PayloadMinima {
 public:
  // More than any payload: what a range without keys has.
  static constexpr std::uint64_t NONE = std::uint64_t{1} << 32;

  // Over the payloads of keys 0 to key_count - 1, payload_of(key) each,
  // read once in key order (what payload_of throws is thrown). Nothing is
  // kept when every payload is its key number (a sorted word list); else the
  // payloads as runs that rise by one with the key number: a bit per key,
  // and per run its first payload and a RangeMinimum entry (12 bytes and a
  // little). O(key_count).
  PayloadMinima(std::uint32_t key_count,
                const std::function<std::uint32_t(std::uint32_t)>& payload_of);

  // The smallest payload of keys first to end - 1 (those below key_count),
  // or NONE when there are none. O(1): two run lookups and a RangeMinimum.
  [[nodiscard]] std::uint64_t min_over(std::uint32_t first, std::uint32_t end) const noexcept {
    if (end > key_count_) end = key_count_;
    if (first >= end) return NONE;
    if (starts_.empty()) return first;
    const std::size_t run = run_of(first);
    const std::size_t last_run = run_of(end - 1);
    std::uint64_t least = first + deltas_[run];
    least &= 0xFFFF'FFFF;
    if (last_run > run) least = std::min<std::uint64_t>(least, firsts_.min_of(run + 1, last_run));
    return least;
  }

  // Bytes held.
  [[nodiscard]] std::size_t memory() const noexcept;

 private:
  // The run key `key` lies in: runs started up to it, less one.
  [[nodiscard]] std::size_t run_of(std::uint32_t key) const noexcept {
    const std::uint64_t up_to = starts_[key / 64] & ((std::uint64_t{2} << (key % 64)) - 1);
    return ranks_[key / 64] + static_cast<std::size_t>(std::popcount(up_to)) - 1;
  }

  std::uint32_t key_count_;
  std::vector<std::uint64_t> starts_;   // a bit per key: whether a run starts there
  std::vector<std::uint32_t> ranks_;    // per word of starts_: runs started before it
  std::vector<std::uint32_t> deltas_;   // per run: payload minus key number, wrapping
  RangeMinimum<std::uint32_t> firsts_;  // per run: the payload of its first key
};

}  // namespace prefix
