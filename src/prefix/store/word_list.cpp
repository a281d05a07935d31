// Gathering words for a layout and sorting them by code point.
#include "prefix/store/word_list.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "prefix/failure.hpp"

namespace prefix {
namespace {

// A word's first 8 bytes as a big-endian number, zero-padded. Padding sorts
// below every byte and a prefix below its extensions, so a smaller head
// always means a smaller text; equal heads leave the texts to decide.
std::uint64_t head_of(std::string_view word) noexcept {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, word.data(), std::min<std::size_t>(word.size(), 8));
  std::uint64_t head = 0;
  for (const unsigned char byte : bytes) head = (head << 8) | byte;
  return head;
}

struct SortKey {
  std::uint64_t head;
  std::uint32_t index;
};

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

std::size_t WordList::memory_bytes() const noexcept {
  return text_.capacity() + ends_.capacity() * sizeof(std::size_t) +
         payloads_.capacity() * sizeof(std::uint32_t);
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
    keys[i] = {head_of(words.word(i)), static_cast<std::uint32_t>(i)};
  }
  std::sort(keys.begin(), keys.end(), [&words](const SortKey& a, const SortKey& b) {
    if (a.head != b.head) return a.head < b.head;
    // Heads agree on 8 bytes (or on the whole of a shorter word, padded).
    const int texts = words.word(a.index).compare(words.word(b.index));
    return texts != 0 ? texts < 0 : a.index < b.index;
  });
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
