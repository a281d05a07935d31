// Building the sound index: every key's code, grouped, and the trie of codes.
#include "prefix/spell/sound_index.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>

#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/sound_code.hpp"
#include "prefix/store/layout.hpp"
#include "prefix/store/word_list.hpp"
#include "prefix/utf8.hpp"

namespace prefix {

using Keyed = SoundIndex::Keyed;

namespace {

// Every key with its code, sorted by code, keys of one code in stored order.
std::vector<Keyed> coded_keys(const SearchTrie& trie) {
  // The empty query reaches every key at its depth, so nothing is pruned.
  std::vector<MatchRecord> keys =
      trie.fuzzy_match(U"", std::numeric_limits<std::uint64_t>::max(), std::nullopt);
  std::vector<Keyed> coded;
  coded.reserve(keys.size());
  for (MatchRecord& key : keys) {
    std::u32string text = decode_utf8(key.text);
    std::u32string code = sound_code(fold_case(text));
    if (code.empty()) continue;
    coded.push_back(Keyed{std::move(code), std::move(text), *trie.get_payload(key.node_id)});
  }
  std::stable_sort(coded.begin(), coded.end(),
                   [](const Keyed& a, const Keyed& b) { return a.code < b.code; });
  return coded;
}

SearchTrie trie_of_codes(const std::vector<std::u32string>& codes) {
  WordList words;
  for (std::size_t g = 0; g < codes.size(); ++g) {
    words.add(encode_utf8(codes[g]), static_cast<std::uint32_t>(g));
  }
  // Codes are distinct and in code-point order, which is their layout order.
  std::vector<std::uint32_t> order(codes.size());
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  return SearchTrie::from_flat(lay_out(words, order));
}

}  // namespace

SoundIndex::SoundIndex(const SearchTrie& trie) : codes_(trie_of_codes(group(coded_keys(trie)))) {}

std::vector<std::u32string> SoundIndex::group(std::vector<Keyed>&& coded) {
  std::vector<std::u32string> codes;
  group_starts_.reserve(coded.size() + 1);
  payloads_.reserve(coded.size());
  text_starts_.reserve(coded.size() + 1);
  for (std::size_t k = 0; k < coded.size(); ++k) {
    if (k == 0 || coded[k].code != coded[k - 1].code) {
      codes.push_back(std::move(coded[k].code));
      group_starts_.push_back(static_cast<std::uint32_t>(k));
    }
    payloads_.push_back(coded[k].payload);
    text_starts_.push_back(texts_.size());
    texts_.append(coded[k].text);
  }
  group_starts_.push_back(static_cast<std::uint32_t>(coded.size()));
  text_starts_.push_back(texts_.size());
  return codes;
}

}  // namespace prefix
