// Gathering words for a layout and sorting them by code point.
#include "prefix/store/word_list.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "prefix/failure.hpp"

namespace prefix {
namespace {

// Words are sorted 8 bytes at a time. At depth d a word's key is its bytes
// d to d + 8 as a big-endian number, zero-padded, and how many bytes it has
// from d on, capped at 9. Among words that agree on their first d bytes,
// ordering by key orders them by text: padding sorts below every byte, and
// of two words that agree on the padded bytes, the one ending sooner is a
// prefix of the other. Words whose keys are equal agree on 8 more bytes, and
// either end within them (then they are equal) or go on (count 9) and are
// ordered by their keys at depth d + 8.
struct SortKey {
  std::uint64_t bytes;
  std::uint32_t index;
  std::uint32_t count;
};

SortKey key_at(std::string_view word, std::size_t depth, std::uint32_t index) noexcept {
  const std::size_t rest = word.size() > depth ? word.size() - depth : 0;
  unsigned char chunk[8] = {};
  if (rest > 0) std::memcpy(chunk, word.data() + depth, std::min<std::size_t>(rest, 8));
  std::uint64_t bytes = 0;
  for (const unsigned char byte : chunk) bytes = (bytes << 8) | byte;
  return {bytes, index, static_cast<std::uint32_t>(std::min<std::size_t>(rest, 9))};
}

bool key_before(const SortKey& a, const SortKey& b) noexcept {
  if (a.bytes != b.bytes) return a.bytes < b.bytes;
  if (a.count != b.count) return a.count < b.count;
  return a.index < b.index;
}

// Sorts `keys`, which are in index order, by key: a stable least-significant
// digit radix sort, a byte per pass, that skips the bytes where all keys
// agree. Costs a counting pass, a pass per byte that differs, and a second
// array as large.
void radix_sort(std::vector<SortKey>& keys) {
  constexpr std::size_t DIGITS = 9;  // the count, then the 8 bytes from the last
  constexpr std::size_t VALUES = 256;
  const auto digit = [](const SortKey& key, std::size_t d) -> std::size_t {
    return d == 0 ? key.count : (key.bytes >> (8 * (d - 1))) & 0xFF;
  };
  std::vector<std::array<std::size_t, VALUES>> places(DIGITS);
  for (const SortKey& key : keys) {
    for (std::size_t d = 0; d < DIGITS; ++d) ++places[d][digit(key, d)];
  }
  std::vector<SortKey> other(keys.size());
  for (std::size_t d = 0; d < DIGITS; ++d) {
    std::array<std::size_t, VALUES>& place = places[d];
    if (std::find(place.begin(), place.end(), keys.size()) != place.end()) continue;
    std::size_t sum = 0;
    for (std::size_t& entry : place) sum += std::exchange(entry, sum);
    for (const SortKey& key : keys) other[place[digit(key, d)]++] = key;
    keys.swap(other);
  }
}

void refine_groups(const WordList& words, std::vector<SortKey>& keys, std::size_t first,
                   std::size_t last, std::size_t depth);

// Orders keys[first, last), which agree on their keys at depth - 8 with count
// 9, by their keys at `depth`, and so on down.
void sort_group(const WordList& words, std::vector<SortKey>& keys, std::size_t first,
                std::size_t last, std::size_t depth) {
  for (std::size_t k = first; k < last; ++k) {
    keys[k] = key_at(words.word(keys[k].index), depth, keys[k].index);
  }
  const auto begin = keys.begin();
  std::sort(begin + static_cast<std::ptrdiff_t>(first), begin + static_cast<std::ptrdiff_t>(last),
            key_before);
  refine_groups(words, keys, first, last, depth);
}

// Within keys[first, last), sorted by their keys at `depth`, orders each
// group of equal keys with count 9 by what follows.
void refine_groups(const WordList& words, std::vector<SortKey>& keys, std::size_t first,
                   std::size_t last, std::size_t depth) {
  for (std::size_t k = first; k < last;) {
    std::size_t end = k + 1;
    while (end < last && keys[end].bytes == keys[k].bytes && keys[end].count == keys[k].count) {
      ++end;
    }
    if (end - k > 1 && keys[k].count == 9) sort_group(words, keys, k, end, depth + 8);
    k = end;
  }
}

}  // namespace

void WordList::reserve(std::size_t words, std::size_t bytes) {
  text_.reserve(bytes);
  ends_.reserve(words);
  payloads_.reserve(words);
}

void WordList::end_word(std::uint32_t payload) {
  if (ends_.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw InternalFailure("more than 4294967296 words to lay out");
  }
  ends_.push_back(text_.size());
  payloads_.push_back(payload);
}

std::vector<std::uint32_t> sorted_order(const WordList& words) {
  const std::size_t count = words.size();
  std::vector<std::uint32_t> order(count);
  bool in_order = true;
  for (std::size_t i = 0; i < count; ++i) {
    order[i] = static_cast<std::uint32_t>(i);
    in_order = in_order && (i == 0 || words.word(i - 1) < words.word(i));
  }
  if (in_order) return order;
  std::vector<SortKey> keys(count);
  for (std::size_t i = 0; i < count; ++i) {
    keys[i] = key_at(words.word(i), 0, static_cast<std::uint32_t>(i));
  }
  radix_sort(keys);
  refine_groups(words, keys, 0, count, 0);
  for (std::size_t i = 0; i < count; ++i) order[i] = keys[i].index;
  return order;
}

std::optional<std::uint32_t> first_repeat(const WordList& words,
                                          std::span<const std::uint32_t> order) {
  std::optional<std::uint32_t> first;
  for (std::size_t k = 1; k < order.size(); ++k) {
    // Equals stand together, by index: the second of a run is its first repeat.
    if (words.word(order[k]) != words.word(order[k - 1])) continue;
    if (k >= 2 && words.word(order[k - 2]) == words.word(order[k])) continue;
    if (!first || order[k] < *first) first = order[k];
  }
  return first;
}

}  // namespace prefix
