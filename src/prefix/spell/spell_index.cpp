// Building the spelling ranker's indexes: the keys folded and grouped, their
// sound codes grouped, and a trie of each.
#include "prefix/spell/spell_index.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>

#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/sound_code.hpp"
#include "prefix/store/word_list.hpp"
#include "prefix/utf8.hpp"

namespace prefix {
namespace {

// Every key, sorted by folded text, keys of one folded text in stored order.
std::vector<SpellIndex::Key> folded_keys(const SearchTrie& trie) {
  // The empty query reaches every key at its depth, so nothing is pruned.
  std::vector<MatchRecord> keys =
      trie.fuzzy_match(U"", std::numeric_limits<std::uint64_t>::max(), std::nullopt);
  std::vector<SpellIndex::Key> folded;
  folded.reserve(keys.size());
  for (MatchRecord& key : keys) {
    // An empty key (a root with a payload) corrects nothing.
    if (key.text.empty()) continue;
    std::u32string text = decode_utf8(key.text);
    std::u32string lower = fold_case(text);
    folded.push_back(SpellIndex::Key{std::move(text), std::move(lower), *trie.payload_of(key)});
  }
  std::stable_sort(folded.begin(), folded.end(),
                   [](const auto& a, const auto& b) { return a.folded < b.folded; });
  return folded;
}

// The trie of distinct non-empty texts given in code-point order (the order
// of their UTF-8 bytes too), each text's payload its position: a shared
// tree, built straight from the sorted words.
SearchTrie trie_of(const std::vector<std::u32string>& texts) {
  WordList words;
  for (std::size_t g = 0; g < texts.size(); ++g) {
    words.add(encode_utf8(texts[g]), static_cast<std::uint32_t>(g));
  }
  std::vector<std::uint32_t> order(texts.size());
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  return SearchTrie::from_words(words, order);
}

}  // namespace

SpellIndex::SpellIndex(const SearchTrie& trie)
    : folded_(trie_of(group_folded(folded_keys(trie)))), sounds_(trie_of(group_sounds())) {}

std::vector<std::u32string> SpellIndex::group_folded(std::vector<Key>&& keys) {
  std::vector<std::u32string> texts;
  payloads_.reserve(keys.size());
  text_starts_.reserve(keys.size() + 1);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (texts.empty() || keys[k].folded != texts.back()) {
      texts.push_back(std::move(keys[k].folded));
      folded_starts_.push_back(static_cast<std::uint32_t>(k));
    }
    payloads_.push_back(keys[k].payload);
    text_starts_.push_back(texts_.size());
    texts_.append(keys[k].text);
  }
  folded_starts_.push_back(static_cast<std::uint32_t>(keys.size()));
  text_starts_.push_back(texts_.size());
  return texts;
}

std::vector<std::u32string> SpellIndex::group_sounds() {
  std::vector<std::pair<std::u32string, std::uint32_t>> coded;
  coded.reserve(payloads_.size());
  for (std::size_t k = 0; k < payloads_.size(); ++k) {
    std::u32string code = sound_code(fold_case(text(static_cast<std::uint32_t>(k))));
    if (!code.empty()) coded.emplace_back(std::move(code), static_cast<std::uint32_t>(k));
  }
  std::sort(coded.begin(), coded.end());
  std::vector<std::u32string> codes;
  sound_groups_.assign(payloads_.size(), NO_SOUND);
  sound_members_.reserve(coded.size());
  for (std::size_t s = 0; s < coded.size(); ++s) {
    if (codes.empty() || coded[s].first != codes.back()) {
      codes.push_back(std::move(coded[s].first));
      sound_starts_.push_back(static_cast<std::uint32_t>(s));
    }
    sound_members_.push_back(coded[s].second);
    sound_groups_[coded[s].second] = static_cast<std::uint32_t>(codes.size() - 1);
  }
  sound_starts_.push_back(static_cast<std::uint32_t>(coded.size()));
  return codes;
}

}  // namespace prefix
