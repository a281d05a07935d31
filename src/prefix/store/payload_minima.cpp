// Payload runs in key order, and the minima over them.
#include "prefix/store/payload_minima.hpp"

#include <utility>

namespace prefix {

PayloadMinima::PayloadMinima(std::uint32_t key_count,
                             const std::function<std::uint32_t(std::uint32_t)>& payload_of)
    : key_count_(key_count) {
  std::uint32_t key = 0;
  while (key < key_count && payload_of(key) == key) ++key;
  if (key == key_count) return;
  std::vector<std::uint32_t> firsts;
  starts_.assign((std::size_t{key_count} + 63) / 64, 0);
  ranks_.reserve(starts_.size());
  std::uint32_t previous = 0;
  for (key = 0; key < key_count; ++key) {
    if (key % 64 == 0) ranks_.push_back(static_cast<std::uint32_t>(firsts.size()));
    const std::uint32_t payload = payload_of(key);
    // A run never wraps, so its first payload is its least.
    if (key == 0 || previous == 0xFFFF'FFFF || payload != previous + 1) {
      starts_[key / 64] |= std::uint64_t{1} << (key % 64);
      deltas_.push_back(payload - key);
      firsts.push_back(payload);
    }
    previous = payload;
  }
  firsts_ = RangeMinimum<std::uint32_t>(std::move(firsts));
}

std::size_t PayloadMinima::memory() const noexcept {
  return starts_.size() * 8 + ranks_.size() * 4 + deltas_.size() * 4 + firsts_.memory();
}

}  // namespace prefix
