// Building the image of a shared tree: equal subtrees found by a registry of
// the states made so far, states made children first, from sorted words
// (incremental minimisation) or from a tree laid out in pre-order.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "prefix/store/compact_tree.hpp"
#include "prefix/store/index_image.hpp"
#include "prefix/store/word_list.hpp"

namespace prefix {

// The image of the tree lay_out(words, order) gives, without its arrays:
// one pass over the sorted words, each state made once its last child is,
// and looked up among the states made before. Of equal words only the first
// in `order` counts; key k's payload is that of the k-th distinct word.
// Requires every word non-empty and valid UTF-8. Memory: the automaton, a
// registry of 8 bytes per state and the path of one word; throws
// InternalFailure past 2^32 - 1 states, transitions or tree nodes.
[[nodiscard]] OwnedImage shared_image(const WordList& words, std::span<const std::uint32_t> order);

// The image of `arrays` when they are a complete tree numbered in pre-order
// with strictly ascending code points in each child range (what lay_out and
// the byte form of its trees give): byte form and node queries then answer
// as on the arrays. Empty for any other arrays, which are left as they were.
// Costs a pass over the nodes, children first, and 4 bytes per node.
[[nodiscard]] std::optional<OwnedImage> shared_image(const FlatArrays& arrays);

}  // namespace prefix
