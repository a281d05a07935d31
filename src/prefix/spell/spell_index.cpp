// Building the spelling ranker's indexes: the keys folded and grouped, their
// sound codes grouped, and a trie of each.
#include "prefix/spell/spell_index.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// Each tier holds about this fraction of the one before; none holds fewer
// groups than SMALLEST_TIER.
constexpr std::size_t TIER_SHRINK = 4;
constexpr std::size_t SMALLEST_TIER = 256;

// The trie of distinct non-empty texts given in code-point order (the order
// of their UTF-8 bytes too), the text at position i with payload ids[i]
// (by default i): a shared tree, built straight from the sorted words.
SearchTrie trie_of(const std::vector<std::u32string>& texts,
                   const std::vector<std::uint32_t>& ids = {}) {
  WordList words;
  for (std::size_t g = 0; g < texts.size(); ++g) {
    words.add(encode_utf8(texts[g]), ids.empty() ? static_cast<std::uint32_t>(g) : ids[g]);
  }
  std::vector<std::uint32_t> order(texts.size());
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  return SearchTrie::from_words(words, order);
}

}  // namespace

SpellIndex::SpellIndex(const SearchTrie& trie, std::span<const std::uint64_t> counts)
    : folded_(trie_of(group_folded(folded_keys(trie)))),
      sounds_(trie_of(group_sounds())),
      counts_(counts.begin(), counts.end()) {
  count_logs_.reserve(counts_.size());
  for (const std::uint64_t count : counts_) {
    count_logs_.push_back(std::log10(static_cast<double>(count) + 1.0));
  }
  make_tiers();
}

void SpellIndex::make_tiers() {
  const std::size_t groups = folded_starts_.size() - 1;
  std::vector<std::uint64_t> most(groups, 0);  // each group's largest count
  for (std::size_t g = 0; g < groups; ++g) {
    for (std::uint32_t k = folded_starts_[g]; k < folded_starts_[g + 1]; ++k) {
      if (payloads_[k] < counts_.size()) most[g] = std::max(most[g], counts_[payloads_[k]]);
    }
  }
  std::vector<std::uint64_t> sorted = most;
  std::sort(sorted.begin(), sorted.end(), std::greater<>());
  for (std::size_t size = groups / TIER_SHRINK; size >= SMALLEST_TIER; size /= TIER_SHRINK) {
    const std::uint64_t least = sorted[size - 1];
    // The largest count below `least`: none when the tier would hold all.
    const auto below = std::upper_bound(sorted.begin(), sorted.end(), least, std::greater<>());
    if (least == 0 || below == sorted.end() || (!tiers_.empty() && tiers_.back().least == least)) {
      continue;
    }
    std::vector<std::u32string> texts;
    std::vector<std::uint32_t> ids;
    for (std::size_t g = 0; g < groups; ++g) {
      if (most[g] < least) continue;
      texts.push_back(fold_case(text(folded_starts_[g])));
      ids.push_back(static_cast<std::uint32_t>(g));
    }
    tiers_.push_back(Tier{least, *below, trie_of(texts, ids)});
  }
}

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
