// A trie that is one complete tree, held in about 12 bytes per node instead of
// the 28 of the four node arrays plus the walk's keys: child ranges and child
// ids as they are, code points by child position at the narrowest width, and
// payloads dense behind a presence bit per node, and a byte of subtree height
// per child position for the walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

// Bits indexed from 0, 64 to a word.
class BitRow {
 public:
  BitRow() = default;
  explicit BitRow(std::size_t bits) : words_((bits + 63) / 64) {}

  void set(std::size_t i) noexcept { words_[i / 64] |= std::uint64_t{1} << (i % 64); }
  // Sets bit i when `value` holds, without a branch on it.
  void set_if(std::size_t i, bool value) noexcept {
    words_[i / 64] |= std::uint64_t{value} << (i % 64);
  }
  [[nodiscard]] bool test(std::size_t i) const noexcept {
    return ((words_[i / 64] >> (i % 64)) & 1) != 0;
  }
  [[nodiscard]] const std::vector<std::uint64_t>& words() const noexcept { return words_; }
  [[nodiscard]] std::size_t bytes() const noexcept { return words_.size() * sizeof(std::uint64_t); }

  friend bool operator==(const BitRow&, const BitRow&) = default;

 private:
  std::vector<std::uint64_t> words_;
};

// A trie's four arrays in the flat form the byte form is read into: a code
// point per node with NO_CODE_POINT for none, and the payloads as a presence
// bit per entry with the present values in order. Holds what a Trie holds, in
// 4 bytes per code point instead of 8, and 4 per present payload plus a bit
// per entry instead of 8 per entry.
struct FlatArrays {
  std::vector<std::uint32_t> node_shifts;
  std::vector<std::uint32_t> node_chars;  // NO_CODE_POINT where the Trie has none
  std::size_t payload_count = 0;          // node_payloads' length
  BitRow has_payload;                     // per node_payloads entry
  std::vector<std::uint32_t> payloads;    // the present ones, in entry order
  std::vector<std::uint32_t> child_indices;

  // The Trie holding these arrays, entry for entry. Releases each flat array
  // as soon as it is converted.
  [[nodiscard]] Trie to_trie() &&;
};

// The code points of the children by position in child_indices, each in a
// T that holds the largest of them.
template <class T>
using CodePointsOf = std::vector<T>;
using ChildCodePoints = std::variant<CodePointsOf<std::uint8_t>, CodePointsOf<std::uint16_t>,
                                     CodePointsOf<std::uint32_t>>;

// A complete tree: what the four arrays of a Trie say when every node is
// reached from the root exactly once and every child_indices entry lies in
// the range of a reached node (see is_complete_tree). Node queries answer as
// Trie's do, and to_trie gives the arrays back entry for entry.
class CompactTree {
 public:
  // Requires is_complete_tree(trie, shape), with shape = check_tree(trie).
  // Takes over node_shifts and child_indices; keeps nothing else of `trie`
  // or `shape`. Costs a pass over the nodes.
  CompactTree(Trie&& trie, const TreeShape& shape);

  // The compact form of arrays.to_trie() when, with every child id above its
  // parent's (as a pre-order or breadth-first layout gives), it is a complete
  // tree: equal to CompactTree(trie, check_tree(trie)). Empty otherwise, and
  // then `arrays` is left as it was; on success its node_shifts,
  // child_indices, has_payload and payloads are taken over. Costs a pass over
  // the nodes in id order and, for it, 4 bytes per node.
  [[nodiscard]] static std::optional<CompactTree> from_flat(FlatArrays& arrays);

  // Trie::get_children on the arrays this was made from. Throws
  // InternalFailure, with Trie's message, when `node_id` is not below the
  // node count: a complete tree has no other way to fail.
  [[nodiscard]] std::vector<Child> get_children(NodeId node_id) const;

  // Trie::get_payload, message included. A rank over the presence bits: a
  // popcount of at most one word.
  [[nodiscard]] std::optional<std::uint32_t> get_payload(NodeId node_id) const;

  // The Trie this was made from, array for array.
  [[nodiscard]] Trie to_trie() const;

  [[nodiscard]] std::size_t node_count() const noexcept { return node_shifts_.size(); }
  // Depth of the deepest node; 0 for a lone root.
  [[nodiscard]] std::uint32_t height() const noexcept { return height_; }
  // Every child range lists strictly ascending code points.
  [[nodiscard]] bool sorted_children() const noexcept { return sorted_children_; }
  // Bytes held by the arrays, capacity included.
  [[nodiscard]] std::size_t memory_bytes() const;

  // For the walk: the arrays as they are, and per child position its code
  // point and whether it carries a payload.
  [[nodiscard]] const std::vector<std::uint32_t>& node_shifts() const noexcept {
    return node_shifts_;
  }
  [[nodiscard]] const std::vector<std::uint32_t>& child_indices() const noexcept {
    return child_indices_;
  }
  [[nodiscard]] const ChildCodePoints& child_code_points() const noexcept {
    return child_code_points_;
  }
  [[nodiscard]] const BitRow& child_has_payload() const noexcept { return child_has_payload_; }
  // Per child position, the height of the child's subtree (how many code
  // points its deepest key adds to it), MANY_LEVELS for that many or more:
  // what lets a walk pass over subtrees whose keys are all too short.
  [[nodiscard]] const std::vector<std::uint8_t>& child_heights() const noexcept {
    return child_heights_;
  }
  static constexpr std::uint8_t MANY_LEVELS = 0xFF;

  // For encoding: the root's code point, which node carries a payload, and
  // the payloads in node order.
  [[nodiscard]] std::optional<char32_t> root_code_point() const noexcept {
    return root_code_point_;
  }
  [[nodiscard]] const BitRow& has_payload() const noexcept { return has_payload_; }
  [[nodiscard]] const std::vector<std::uint32_t>& payload_values() const noexcept {
    return payloads_;
  }
  // The code point of the child at position k of child_indices.
  [[nodiscard]] char32_t child_code_point(std::size_t k) const;

 private:
  CompactTree() = default;
  // rank_before_ from has_payload_.
  void rank_payloads();
  // child_heights_ from the child ranges; `parents_first` lists every node
  // after its parent, null for id order.
  void measure_heights(const std::vector<NodeId>* parents_first);
  // from_flat's pass over the nodes, with code points held in T.
  template <class T>
  static bool lay_children(const FlatArrays& arrays, CompactTree& tree);

  std::vector<std::uint32_t> node_shifts_;
  std::vector<std::uint32_t> child_indices_;
  ChildCodePoints child_code_points_;
  std::optional<char32_t> root_code_point_;
  BitRow has_payload_;                       // per node
  std::vector<std::uint32_t> rank_before_;   // per word of has_payload_: set bits before it
  std::vector<std::uint32_t> payloads_;      // of the nodes that have one, by node id
  BitRow child_has_payload_;                 // per child position
  std::vector<std::uint8_t> child_heights_;  // per child position
  std::uint32_t height_ = 0;
  bool sorted_children_ = false;
};

// Whether `trie`, with shape = check_tree(trie), is a complete tree: a tree
// whose arrays all hold N entries, all N nodes reached from the root, and
// child_indices N - 1 entries, so each lies in exactly one reached range.
// Costs a pass over the reached nodes.
[[nodiscard]] bool is_complete_tree(const Trie& trie, const TreeShape& shape);

}  // namespace prefix
