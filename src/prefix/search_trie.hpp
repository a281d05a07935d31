// The trie a PrefixSearch owns: a complete tree in its compact form, any
// other trie as its four arrays with their shape, and the queries on either.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "prefix/match_record.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

// fuzzy_match and exact_match (checked/matcher.hpp) on `trie`, given `shape`
// = check_tree(trie): on a tree the unchecked tree walk (walk/tree_match.hpp),
// otherwise the checked walk, so that results, order and failures are those
// of the checked walk either way. The one place where a query on the arrays
// picks its walk.
[[nodiscard]] std::vector<MatchRecord> fuzzy_match(const Trie& trie, const TreeShape& shape,
                                                   std::u32string_view query,
                                                   std::uint64_t max_dist,
                                                   std::optional<std::uint64_t> limit);
[[nodiscard]] std::optional<MatchRecord> exact_match(const Trie& trie, const TreeShape& shape,
                                                     std::u32string_view query);

// Results, their order, failures and their messages, and the byte form are
// those of the Trie it is made from, whichever form it keeps.
class SearchTrie {
 public:
  // Checks the shape of `trie` (a pass over its nodes; nothing is refused)
  // and keeps the compact form when it is a complete tree, else the arrays.
  explicit SearchTrie(Trie&& trie);

  // SearchTrie(decode_or_fail(bytes)): the same refusals and messages, the
  // same form and answers. A complete tree whose child ids each exceed their
  // parent's (a pre-order or breadth-first layout) is read straight into the
  // compact form, without the four arrays of a Trie or a shape check of them.
  [[nodiscard]] static SearchTrie from_bytes(std::span<const std::uint8_t> bytes);

  // SearchTrie(std::move(arrays).to_trie()), read as from_bytes reads its
  // decoded arrays: the compact form straight from them when they are a
  // complete tree with each child id above its parent's.
  [[nodiscard]] static SearchTrie from_flat(FlatArrays&& arrays);

  // Whether the compact form is kept.
  [[nodiscard]] bool is_compact() const noexcept {
    return std::holds_alternative<CompactTree>(form_);
  }

  // The compact form, or null when the arrays are kept.
  [[nodiscard]] const CompactTree* compact_tree() const noexcept {
    return std::get_if<CompactTree>(&form_);
  }
  // The arrays and their shape, or nulls when the compact form is kept.
  [[nodiscard]] std::pair<const Trie*, const TreeShape*> arrays() const noexcept {
    const auto* arrays = std::get_if<Arrays>(&form_);
    if (arrays == nullptr) return {nullptr, nullptr};
    return {&arrays->trie, &arrays->shape};
  }

  // Trie::get_children and Trie::get_payload.
  [[nodiscard]] std::vector<Child> get_children(NodeId node_id) const;
  [[nodiscard]] std::optional<std::uint32_t> get_payload(NodeId node_id) const;

  // The largest payload of any node (the root included), or nothing when no
  // node has one: no query reports a larger one. A pass over the payloads.
  [[nodiscard]] std::optional<std::uint32_t> largest_payload() const;

  // prefix::fuzzy_match and prefix::exact_match on the Trie.
  [[nodiscard]] std::vector<MatchRecord> fuzzy_match(std::u32string_view query,
                                                     std::uint64_t max_dist,
                                                     std::optional<std::uint64_t> limit) const;
  [[nodiscard]] std::optional<MatchRecord> exact_match(std::u32string_view query) const;

  // prefix::encode_with on the Trie.
  template <class Allocate>
  void encode_with(Allocate allocate) const {
    if (const auto* arrays = std::get_if<Arrays>(&form_)) {
      prefix::encode_with(arrays->trie, allocate);
    } else {
      prefix::encode_with(std::get<CompactTree>(form_), allocate);
    }
  }

 private:
  struct Arrays {
    Trie trie;
    TreeShape shape;  // check_tree(trie): picks the walk of every query
  };

  using Form = std::variant<Arrays, CompactTree>;
  static Form kept_form(Trie&& trie);

  explicit SearchTrie(CompactTree&& tree);

  Form form_;
};

}  // namespace prefix
