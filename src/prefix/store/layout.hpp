// Laying out a trie from words: nodes in pre-order, children in code-point order.
#pragma once

#include <cstdint>
#include <span>

#include "prefix/store/compact_tree.hpp"
#include "prefix/store/word_list.hpp"

namespace prefix {

// The four arrays of the trie holding `words`, in flat form: node 0 is the
// root (no code point, no payload), nodes are numbered in pre-order, each
// node's children are listed in code-point order, and the last node of each
// word carries its payload. `order` is sorted_order(words); of words with the
// same text only the first in `order` is stored, later ones add nothing.
// Requires every word non-empty and valid UTF-8 (a surrogate's three-byte
// form decodes to the surrogate). The arrays hold one entry per node
// (child_indices one fewer), a tree by construction. Costs time linear in
// the texts' length (two walks over the sorted words) and nothing besides the
// arrays but the path of the word being laid out.
[[nodiscard]] FlatArrays lay_out(const WordList& words, std::span<const std::uint32_t> order);

}  // namespace prefix
