// The indexes of the spelling ranker, made once per dictionary: its keys
// folded to lower case, and its keys grouped by sound code. Each is a trie
// like any other, whose payloads name groups of the dictionary's keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/search_trie.hpp"

namespace prefix {

class SpellIndex {
 public:
  // The indexes of every key of `trie`, with `counts` (how common each
  // payload's key is; missing ones count 0) kept for the tiers below. Keys
  // without letters have no sound code and are left out of the sound index
  // only. Throws InternalFailure when the trie's arrays are not a tree (as
  // its walks do). Costs a walk over all keys, a fold and a code per key,
  // three sorts and a layout per trie; keeps every key's text and a copy of
  // the counts.
  explicit SpellIndex(const SearchTrie& trie, std::span<const std::uint64_t> counts = {});

  // The counts it was made with, and log10(count + 1) of each.
  [[nodiscard]] std::span<const std::uint64_t> counts() const noexcept { return counts_; }
  [[nodiscard]] std::span<const double> count_logs() const noexcept { return count_logs_; }

  // The folded trie cut down to its most common keys: the folded texts
  // (payloads their groups, as in folded()) of which some key counts at
  // least `least`; every key left out counts at most `below`. Each tier
  // holds about a quarter of the one before, the first a quarter of all.
  struct Tier {
    std::uint64_t least;
    std::uint64_t below;
    SearchTrie trie;
  };
  [[nodiscard]] std::span<const Tier> tiers() const noexcept { return tiers_; }

  // The trie of the keys folded to lower case (fold_case); a key's payload
  // names the group of dictionary keys that fold to it (for_each_folded).
  [[nodiscard]] const SearchTrie& folded() const noexcept { return folded_; }

  // Calls `found(key)` for each dictionary key (its number in the index) in
  // folded group `group`, in stored order.
  template <class Found>
  void for_each_folded(std::uint32_t group, Found found) const {
    for (std::uint32_t k = folded_starts_[group]; k < folded_starts_[group + 1]; ++k) found(k);
  }

  // A key's text as stored, its payload, and the group of its sound code
  // (NO_SOUND for a key without one).
  [[nodiscard]] std::u32string_view text(std::uint32_t key) const noexcept {
    return std::u32string_view(texts_).substr(text_starts_[key],
                                              text_starts_[key + 1] - text_starts_[key]);
  }
  [[nodiscard]] std::uint32_t payload(std::uint32_t key) const noexcept { return payloads_[key]; }
  [[nodiscard]] std::uint32_t sound_of(std::uint32_t key) const noexcept {
    return sound_groups_[key];
  }
  static constexpr std::uint32_t NO_SOUND = ~std::uint32_t{0};

  // The sound group of `code`, or NO_SOUND when no key has it.
  [[nodiscard]] std::uint32_t sound_group(std::u32string_view code) const {
    const std::optional<MatchRecord> found = sounds_.exact_match(code);
    return found ? *sounds_.payload_of(*found) : NO_SOUND;
  }

  // Calls `found(key)` for each key whose sound code is within `max_dist`
  // Levenshtein edits of `code`. Costs a fuzzy lookup in the trie of codes
  // plus O(1) per key reported.
  template <class Found>
  void for_each_sounding(std::u32string_view code, std::uint64_t max_dist, Found found) const {
    for (const MatchRecord& record : sounds_.fuzzy_match(code, max_dist, std::nullopt)) {
      const std::uint32_t group = *sounds_.payload_of(record);
      for (std::uint32_t s = sound_starts_[group]; s < sound_starts_[group + 1]; ++s) {
        found(sound_members_[s]);
      }
    }
  }

  // How many keys it holds.
  [[nodiscard]] std::size_t size() const noexcept { return payloads_.size(); }

  // A key while the index is built.
  struct Key {
    std::u32string text;
    std::u32string folded;
    std::uint32_t payload;
  };

 private:
  // Fills the key table from keys sorted by folded text; returns the
  // distinct folded texts.
  std::vector<std::u32string> group_folded(std::vector<Key>&& keys);
  // Groups the key table by sound code; returns the distinct codes.
  std::vector<std::u32string> group_sounds();
  // Fills tiers_ from the folded groups and the counts.
  void make_tiers();

  // The keys, by folded text (filled before the tries are made).
  std::vector<std::uint32_t> payloads_;
  std::vector<std::size_t> text_starts_;  // per key, and one past the last
  std::u32string texts_;
  std::vector<std::uint32_t> folded_starts_;  // folded group g: keys [starts[g], starts[g + 1])
  std::vector<std::uint32_t> sound_members_;  // keys by sound code
  std::vector<std::uint32_t> sound_starts_;   // sound group g: sound_members_[starts[g]..]
  std::vector<std::uint32_t> sound_groups_;   // per key
  SearchTrie folded_;                         // a key per folded text, payload its group
  SearchTrie sounds_;                         // a key per code, payload its group
  std::vector<std::uint64_t> counts_;         // by payload
  std::vector<double> count_logs_;            // by payload
  std::vector<Tier> tiers_;                   // largest first
};

}  // namespace prefix
