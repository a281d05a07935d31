// The layout of sorted words into node arrays, one pass over the words.
#include "prefix/store/layout.hpp"

#include <algorithm>
#include <cassert>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/utf8.hpp"

namespace prefix {
namespace {

std::uint32_t decode_at(std::string_view text, std::size_t at, std::size_t length) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  std::uint32_t cp = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
  return cp;
}

// Leading bytes `a` and `b` share, cut back to a code point boundary.
std::size_t shared_bytes(std::string_view a, std::string_view b) noexcept {
  const std::size_t limit = std::min(a.size(), b.size());
  const auto [ai, bi] =
      std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(limit), b.begin());
  std::size_t shared = static_cast<std::size_t>(ai - a.begin());
  // Both differ inside one sequence: both have its lead byte, so its length.
  while (shared < limit && shared > 0 && (static_cast<unsigned char>(a[shared]) & 0xC0) == 0x80) {
    --shared;
  }
  return shared;
}

// Walks the trie of the distinct words of `order` (sorted_order(words)) in
// the order its nodes are numbered: new_node(parent, code point) for each
// node but the root, whose ids follow from 1, and after each word's nodes
// end_word(its last node, the word's index). Of equal words only the first
// in `order` counts.
template <class NewNode, class EndWord>
void walk_nodes(const WordList& words, std::span<const std::uint32_t> order, NewNode new_node,
                EndWord end_word) {
  // The path to the previous word's last node: per code point on it, the byte
  // where that code point ends and its node. The root is at byte 0.
  std::vector<std::pair<std::size_t, std::uint32_t>> path{{0, 0}};
  std::uint32_t nodes = 1;
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
      const std::size_t length = utf8_sequence_length(static_cast<unsigned char>(word[at]));
      new_node(parent, decode_at(word, at, length));
      at += length;
      parent = nodes++;
      path.emplace_back(at, parent);
    }
    end_word(parent, index);
    previous = word;
  }
}

}  // namespace

FlatArrays lay_out(const WordList& words, std::span<const std::uint32_t> order) {
  FlatArrays arrays;
  std::vector<std::uint32_t>& chars = arrays.node_chars;
  std::vector<std::uint32_t>& shifts = arrays.node_shifts;
  // A node per byte at most: room that is never touched costs no memory.
  chars.reserve(1 + words.text_size());
  shifts.reserve(1 + words.text_size());
  chars.push_back(NO_CODE_POINT);
  // First the code points and, in place of the shifts, the child counts.
  shifts.push_back(0);
  walk_nodes(
      words, order,
      [&](std::uint32_t parent, std::uint32_t code_point) {
        chars.push_back(code_point);
        shifts.push_back(0);
        ++shifts[parent];
      },
      [](std::uint32_t /*node*/, std::uint32_t /*index*/) {});
  const std::size_t nodes = chars.size();
  // Counts become the start of each range (their running sum). A second walk
  // puts each node at the next place of its parent's range, the start serving
  // as the cursor: ids grow in pre-order, so each range lists its children by
  // id, which is code-point order. A cursor ends where the next range starts.
  std::uint32_t sum = 0;
  for (std::uint32_t& entry : shifts) sum += std::exchange(entry, sum);
  arrays.child_indices.resize(nodes - 1);
  arrays.payload_count = nodes;
  arrays.has_payload = BitRow(nodes);
  arrays.payloads.reserve(order.size());
  std::uint32_t next = 1;
  walk_nodes(
      words, order,
      [&](std::uint32_t parent, std::uint32_t /*code_point*/) {
        arrays.child_indices[shifts[parent]++] = next++;
      },
      [&](std::uint32_t node, std::uint32_t index) {
        // Words come in sorted order, so their last nodes come in id order.
        arrays.has_payload.set(node);
        arrays.payloads.push_back(words.payload(index));
      });
  for (std::size_t node = nodes - 1; node > 0; --node) shifts[node] = shifts[node - 1];
  shifts[0] = 0;
  return arrays;
}

}  // namespace prefix
