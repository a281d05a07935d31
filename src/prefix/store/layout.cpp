// The layout of sorted words into node arrays, one pass over the words.
#include "prefix/store/layout.hpp"

#include <algorithm>
#include <cassert>
#include <string_view>
#include <utility>
#include <vector>

namespace prefix {
namespace {

// Bytes the UTF-8 sequence led by `lead` takes (1 for a stray continuation
// byte, which valid text never starts a sequence with).
std::size_t sequence_length(unsigned char lead) noexcept {
  return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

std::uint32_t decode_at(std::string_view text, std::size_t at, std::size_t length) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  std::uint32_t cp = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
  return cp;
}

// Leading bytes `a` and `b` share, cut back to a code point boundary.
std::size_t shared_bytes(std::string_view a, std::string_view b) noexcept {
  const std::size_t limit = std::min(a.size(), b.size());
  const auto [ai, bi] = std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(limit),
                                      b.begin());
  std::size_t shared = static_cast<std::size_t>(ai - a.begin());
  // Both differ inside one sequence: both have its lead byte, so its length.
  while (shared < limit && shared > 0 && (static_cast<unsigned char>(a[shared]) & 0xC0) == 0x80) {
    --shared;
  }
  return shared;
}

}  // namespace

FlatArrays lay_out(const WordList& words, std::span<const std::uint32_t> order) {
  FlatArrays arrays;
  std::vector<std::uint32_t>& chars = arrays.node_chars;
  // Per node its parent, then (reused) the next free position of its children.
  std::vector<std::uint32_t> parents;
  std::vector<std::uint32_t>& child_counts = arrays.node_shifts;
  std::vector<std::uint32_t> word_ends;  // the last node of each stored word, in id order
  // A node per code point at most: room that is never touched costs no memory.
  const std::size_t most_nodes = 1 + words.text_size();
  chars.reserve(most_nodes);
  parents.reserve(most_nodes);
  child_counts.reserve(most_nodes);
  chars.push_back(FlatArrays::NO_CODE_POINT);
  parents.push_back(0);
  child_counts.push_back(0);
  // The path to the previous word's last node: per code point on it, the byte
  // where that code point ends and its node. The root is at byte 0.
  std::vector<std::pair<std::size_t, std::uint32_t>> path{{0, 0}};
  std::string_view previous;
  // Sorted words lie scattered over the text unless they were given sorted:
  // fetching a few words ahead hides the wait for each.
  constexpr std::size_t AHEAD = 8;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k + AHEAD < order.size()) __builtin_prefetch(words.word(order[k + AHEAD]).data());
    const std::uint32_t index = order[k];
    const std::string_view word = words.word(index);
    assert(!word.empty());
    if (!previous.empty() && word == previous) continue;
    const std::size_t shared = shared_bytes(previous, word);
    while (path.back().first > shared) path.pop_back();
    std::uint32_t parent = path.back().second;
    for (std::size_t at = shared; at < word.size();) {
      const std::size_t length = sequence_length(static_cast<unsigned char>(word[at]));
      const auto node = static_cast<std::uint32_t>(chars.size());
      chars.push_back(decode_at(word, at, length));
      parents.push_back(parent);
      child_counts.push_back(0);
      ++child_counts[parent];
      at += length;
      path.emplace_back(at, node);
      parent = node;
    }
    word_ends.push_back(parent);
    arrays.payloads.push_back(words.payload(index));
    previous = word;
  }
  const std::size_t nodes = chars.size();
  // Words come in sorted order, so their last nodes come in id order.
  arrays.payload_count = nodes;
  arrays.has_payload = BitRow(nodes);
  for (const std::uint32_t node : word_ends) arrays.has_payload.set(node);
  word_ends = {};
  // Child counts become shifts (their running sum), then each node takes the
  // next place in its parent's range: ids grow in pre-order, so each range
  // lists its children by id, which is code-point order.
  std::uint32_t sum = 0;
  for (std::uint32_t& entry : child_counts) sum += std::exchange(entry, sum);
  std::vector<std::uint32_t> places(arrays.node_shifts);
  arrays.child_indices.resize(nodes - 1);
  for (std::size_t node = 1; node < nodes; ++node) {
    arrays.child_indices[places[parents[node]]++] = static_cast<std::uint32_t>(node);
  }
  return arrays;
}

}  // namespace prefix
