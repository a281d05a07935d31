// Picking the form a trie is kept in, and the walk each query takes on it:
// checked or unchecked is settled here, where the form is known.
#include "prefix/search_trie.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "prefix/checked/matcher.hpp"
#include "prefix/store/shared_tree_builder.hpp"
#include "prefix/walk/tree_match.hpp"

namespace prefix {

std::vector<MatchRecord> fuzzy_match(const Trie& trie, const TreeShape& shape,
                                     std::u32string_view query, std::uint64_t max_dist,
                                     std::optional<std::uint64_t> limit) {
  if (shape.is_tree) return fuzzy_match_tree(trie, shape, query, max_dist, limit);
  return fuzzy_match(trie, query, max_dist, limit);
}

std::optional<MatchRecord> exact_match(const Trie& trie, const TreeShape& shape,
                                       std::u32string_view query) {
  if (shape.is_tree) return exact_match_tree(trie, shape, query);
  return exact_match(trie, query);
}

namespace {

SharedTree shared_tree_of(OwnedImage&& image) {
  std::shared_ptr<const ImageStorage> storage = stored_in_memory(std::move(image));
  // Made here, so every check holds.
  const ImageParts parts = std::get<ImageParts>(parse_image(storage->bytes()));
  return SharedTree(parts, std::move(storage));
}

}  // namespace

SearchTrie::Form SearchTrie::kept_form(Trie&& trie) {
  TreeShape shape = check_tree(trie);
  if (is_complete_tree(trie, shape)) return CompactTree(std::move(trie), shape);
  return Arrays{std::move(trie), std::move(shape)};
}

SearchTrie::SearchTrie(Trie&& trie) : SearchTrie(kept_form(std::move(trie))) {}

SearchTrie::SearchTrie(Form&& form) : form_(std::make_shared<const Form>(std::move(form))) {}

SearchTrie SearchTrie::from_bytes(std::span<const std::uint8_t> bytes) {
  return from_flat(decode_flat_or_fail(bytes));
}

SearchTrie SearchTrie::from_flat(FlatArrays&& arrays) {
  // Not minimised here: that costs twenty times the decoding, and the
  // compact form answers as fast. Saving minimises (image()).
  if (std::optional<CompactTree> tree = CompactTree::from_flat(arrays)) {
    return SearchTrie(Form(std::move(*tree)));
  }
  // Any other arrays, complete trees in another layout among them, take the
  // shape check of the Trie.
  return SearchTrie(std::move(arrays).to_trie());
}

SearchTrie SearchTrie::from_words(const WordList& words, std::span<const std::uint32_t> order) {
  return SearchTrie(Form(shared_tree_of(shared_image(words, order))));
}

SearchTrie SearchTrie::from_image(const ImageParts& parts,
                                  std::shared_ptr<const ImageStorage> storage) {
  SearchTrie trie = parts.has(Section::ByteForm) ? from_bytes(parts.section(Section::ByteForm))
                                                 : SearchTrie(Form(SharedTree(parts, storage)));
  if (parts.has(Section::KeyCounts)) {
    const std::span<const std::uint8_t> bytes = parts.section(Section::KeyCounts);
    trie.counts_ =
        KeyCounts{{reinterpret_cast<const std::uint64_t*>(bytes.data()), bytes.size() / 8},
                  std::move(storage)};
  }
  return trie;
}

OwnedImage SearchTrie::image() const {
  std::vector<SectionData> sections;
  ImageHeader header{};
  std::vector<std::uint8_t> byte_form;
  const SharedTree* tree = shared_tree();
  std::optional<SharedTree> minimised;
  if (tree == nullptr) {
    encode_with([&byte_form](std::size_t size) {
      byte_form.resize(size);
      return byte_form.data();
    });
    if (compact_tree() != nullptr) {
      if (std::optional<OwnedImage> shared = shared_image(decode_flat_or_fail(byte_form))) {
        tree = &minimised.emplace(shared_tree_of(std::move(*shared)));
      }
    }
  }
  if (tree != nullptr) {
    header = tree->header();
    for (const SectionData& section : sections_of(tree->image())) {
      if (section.id != Section::KeyCounts) sections.push_back(section);
    }
  } else {
    sections.push_back({Section::ByteForm, byte_form});
  }
  if (counts_) sections.push_back({Section::KeyCounts, bytes_of(counts_->values)});
  return assemble_image(header, sections);
}

SearchTrie SearchTrie::with_key_counts(std::vector<std::uint64_t> counts) const {
  SearchTrie trie = *this;
  auto owned = std::make_shared<const std::vector<std::uint64_t>>(std::move(counts));
  trie.counts_ = KeyCounts{std::span<const std::uint64_t>(*owned), owned};
  return trie;
}

std::vector<Child> SearchTrie::get_children(NodeId node_id) const {
  return std::visit(
      [node_id](const auto& form) {
        if constexpr (std::is_same_v<std::decay_t<decltype(form)>, Arrays>) {
          return form.trie.get_children(node_id);
        } else {
          return form.get_children(node_id);
        }
      },
      *form_);
}

std::optional<std::uint32_t> SearchTrie::get_payload(NodeId node_id) const {
  return std::visit(
      [node_id](const auto& form) {
        if constexpr (std::is_same_v<std::decay_t<decltype(form)>, Arrays>) {
          return form.trie.get_payload(node_id);
        } else {
          return form.get_payload(node_id);
        }
      },
      *form_);
}

std::optional<std::uint32_t> SearchTrie::payload_of(const MatchRecord& record) const {
  if (const SharedTree* tree = shared_tree()) return tree->payload_of_key(record.node_id);
  return get_payload(record.node_id);
}

const PayloadMinima* SearchTrie::payload_minima() const {
  const SharedTree* tree = shared_tree();
  if (tree == nullptr) return nullptr;
  std::call_once(derived_->made, [&] {
    derived_->minima = std::make_unique<const PayloadMinima>(
        tree->header().key_count, [tree](std::uint32_t key) { return tree->payload_of_key(key); });
  });
  return derived_->minima.get();
}

std::optional<std::uint32_t> SearchTrie::largest_payload() const {
  std::optional<std::uint32_t> largest;
  const auto take = [&largest](std::uint32_t payload) {
    if (!largest || payload > *largest) largest = payload;
  };
  if (const auto* arrays = std::get_if<Arrays>(form_.get())) {
    for (const std::optional<std::uint32_t>& payload : arrays->trie.node_payloads) {
      if (payload) take(*payload);
    }
  } else if (const SharedTree* tree = shared_tree()) {
    if (const std::uint64_t bound = tree->payload_bound(); bound > 0) {
      take(static_cast<std::uint32_t>(bound - 1));
    }
    if (const std::optional<std::uint32_t> root = tree->get_payload(0)) take(*root);
  } else {
    for (const std::uint32_t payload : compact_tree()->payload_values()) take(payload);
  }
  return largest;
}

std::vector<MatchRecord> SearchTrie::fuzzy_match(std::u32string_view query, std::uint64_t max_dist,
                                                 std::optional<std::uint64_t> limit) const {
  if (const auto* arrays = std::get_if<Arrays>(form_.get())) {
    return prefix::fuzzy_match(arrays->trie, arrays->shape, query, max_dist, limit);
  }
  if (const SharedTree* tree = shared_tree())
    return fuzzy_match_tree(*tree, query, max_dist, limit);
  return fuzzy_match_tree(*compact_tree(), query, max_dist, limit);
}

std::optional<MatchRecord> SearchTrie::exact_match(std::u32string_view query) const {
  if (const auto* arrays = std::get_if<Arrays>(form_.get())) {
    return prefix::exact_match(arrays->trie, arrays->shape, query);
  }
  if (const SharedTree* tree = shared_tree()) return exact_match_tree(*tree, query);
  return exact_match_tree(*compact_tree(), query);
}

}  // namespace prefix
