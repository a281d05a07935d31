// The trie a PrefixSearch owns: a tree of sorted keys as a shared tree (its
// equal subtrees once), any other complete tree in its compact form, any
// other trie as its four arrays with their shape, and the queries on each;
// with optional counts per payload kept beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "prefix/match_record.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/image_storage.hpp"
#include "prefix/store/index_image.hpp"
#include "prefix/store/payload_minima.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/shared_tree.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/store/word_list.hpp"

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
// those of the Trie it is made from, whichever form it keeps. Copies share
// the form (it is never changed).
class SearchTrie {
 public:
  // Checks the shape of `trie` (a pass over its nodes; nothing is refused)
  // and keeps the compact form when it is a complete tree, else the arrays.
  explicit SearchTrie(Trie&& trie);

  // SearchTrie(decode_or_fail(bytes)): the same refusals and messages, the
  // same answers. A complete tree whose child ids each exceed their
  // parent's is read straight into the compact form (a pass over the nodes:
  // loading bytes stays as cheap as copying them); image() shares its equal
  // subtrees when the trie is saved.
  [[nodiscard]] static SearchTrie from_bytes(std::span<const std::uint8_t> bytes);

  // SearchTrie(std::move(arrays).to_trie()), read as from_bytes reads its
  // decoded arrays.
  [[nodiscard]] static SearchTrie from_flat(FlatArrays&& arrays);

  // The trie of lay_out(words, order), kept as a shared tree built straight
  // from the sorted words (shared_image).
  [[nodiscard]] static SearchTrie from_words(const WordList& words,
                                             std::span<const std::uint32_t> order);

  // The trie of an index image (parse_image's parts, bytes kept alive by
  // `storage`): its shared tree read in place, or its byte form decoded
  // (with from_bytes' failures); its key counts, if any, read in place.
  [[nodiscard]] static SearchTrie from_image(const ImageParts& parts,
                                             std::shared_ptr<const ImageStorage> storage);

  // The index image of this trie and its key counts: a shared tree's own
  // sections; for a compact tree that shared_image takes (a pre-order tree
  // with ascending child ranges, as from_bytes of saved bytes gives), the
  // sections of the shared tree made from it; else the byte form. Costs a
  // copy of the image, or the encoding of the byte form, and for a compact
  // tree its decoding and minimisation (shared_image).
  [[nodiscard]] OwnedImage image() const;

  // The form kept: at most one of these is not null.
  [[nodiscard]] const SharedTree* shared_tree() const noexcept {
    return std::get_if<SharedTree>(form_.get());
  }
  [[nodiscard]] const CompactTree* compact_tree() const noexcept {
    return std::get_if<CompactTree>(form_.get());
  }
  // The arrays and their shape, or nulls when another form is kept.
  [[nodiscard]] std::pair<const Trie*, const TreeShape*> arrays() const noexcept {
    const auto* arrays = std::get_if<Arrays>(form_.get());
    if (arrays == nullptr) return {nullptr, nullptr};
    return {&arrays->trie, &arrays->shape};
  }
  [[nodiscard]] bool is_compact() const noexcept { return compact_tree() != nullptr; }

  // Trie::get_children and Trie::get_payload.
  [[nodiscard]] std::vector<Child> get_children(NodeId node_id) const;
  [[nodiscard]] std::optional<std::uint32_t> get_payload(NodeId node_id) const;

  // The largest payload of any node (the root included), or nothing when no
  // node has one: no query reports a larger one. A pass over the payloads
  // (over the payload map's run starts on a shared tree).
  [[nodiscard]] std::optional<std::uint32_t> largest_payload() const;

  // prefix::fuzzy_match and prefix::exact_match on the Trie. On a shared
  // tree a record's node_id is the key's number: read payloads with
  // payload_of, not get_payload.
  [[nodiscard]] std::vector<MatchRecord> fuzzy_match(std::u32string_view query,
                                                     std::uint64_t max_dist,
                                                     std::optional<std::uint64_t> limit) const;
  [[nodiscard]] std::optional<MatchRecord> exact_match(std::u32string_view query) const;
  // The payload of a record these queries returned.
  [[nodiscard]] std::optional<std::uint32_t> payload_of(const MatchRecord& record) const;

  // The least payload of each range of key numbers of a shared tree, made
  // on the first call (a pass over the payloads: milliseconds for a million
  // keys) and shared by copies; null for the other forms. Safe to call from
  // many threads. Throws InternalFailure when the payload map is damaged.
  [[nodiscard]] const PayloadMinima* payload_minima() const;

  // A count per payload (index: payload) kept with the trie, or empty.
  [[nodiscard]] std::optional<std::span<const std::uint64_t>> key_counts() const noexcept {
    if (!counts_) return std::nullopt;
    return counts_->values;
  }
  // Whether the key counts lie in the mapped file of the trie's own image.
  [[nodiscard]] bool counts_in_image() const noexcept {
    const SharedTree* tree = shared_tree();
    return counts_ && tree != nullptr && counts_->owner == tree->storage();
  }
  // This trie (its form shared) with `counts` in place of its key counts.
  [[nodiscard]] SearchTrie with_key_counts(std::vector<std::uint64_t> counts) const;

  // prefix::encode_with on the Trie.
  template <class Allocate>
  void encode_with(Allocate allocate) const {
    std::visit(
        [&](const auto& form) {
          if constexpr (std::is_same_v<std::decay_t<decltype(form)>, Arrays>) {
            prefix::encode_with(form.trie, allocate);
          } else {
            prefix::encode_with(form, allocate);
          }
        },
        *form_);
  }

 private:
  struct Arrays {
    Trie trie;
    TreeShape shape;  // check_tree(trie): picks the walk of every query
  };
  struct KeyCounts {
    std::span<const std::uint64_t> values;
    std::shared_ptr<const void> owner;  // what holds the values
  };

  using Form = std::variant<Arrays, CompactTree, SharedTree>;
  static Form kept_form(Trie&& trie);

  explicit SearchTrie(Form&& form);

  // What ranked queries make of a shared tree on first use.
  struct Derived {
    std::once_flag made;
    std::unique_ptr<const PayloadMinima> minima;
  };

  std::shared_ptr<const Form> form_;
  std::shared_ptr<Derived> derived_ = std::make_shared<Derived>();
  std::optional<KeyCounts> counts_;
};

}  // namespace prefix
