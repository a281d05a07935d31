// The second index of the spelling ranker: the dictionary's keys grouped by
// sound code, the codes held in a trie of their own, so that a fuzzy lookup
// of a misspelling's code finds words many letters away that sound alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/search_trie.hpp"

namespace prefix {

class SoundIndex {
 public:
  // The index of every key of `trie` (its text folded to lower case first,
  // as fold_case does). Keys without letters have no code and are left
  // out. Throws InternalFailure when the trie's arrays are not a tree (as
  // its walks do). Costs a walk over all keys, a code per key, a sort of
  // the codes and the layout of their trie; keeps every key's text.
  explicit SoundIndex(const SearchTrie& trie);

  // Calls `found(text, payload)` for each key whose sound code is within
  // `max_dist` Levenshtein edits of `code`, texts as stored (not folded).
  // Costs a fuzzy lookup in the trie of codes plus O(1) per key reported.
  template <class Found>
  void for_each_near(std::u32string_view code, std::uint64_t max_dist, Found found) const {
    for (const MatchRecord& record : codes_.fuzzy_match(code, max_dist, std::nullopt)) {
      const std::uint32_t group = *codes_.get_payload(record.node_id);
      for (std::uint32_t k = group_starts_[group]; k < group_starts_[group + 1]; ++k) {
        found(text(k), payloads_[k]);
      }
    }
  }

  // A key with its code, while the index is built.
  struct Keyed {
    std::u32string code;
    std::u32string text;
    std::uint32_t payload;
  };

  // How many keys it holds, and how many distinct codes.
  [[nodiscard]] std::size_t size() const noexcept { return payloads_.size(); }
  [[nodiscard]] std::size_t code_count() const noexcept { return group_starts_.size() - 1; }

 private:
  [[nodiscard]] std::u32string_view text(std::size_t k) const noexcept {
    return std::u32string_view(texts_).substr(text_starts_[k], text_starts_[k + 1] - text_starts_[k]);
  }

  // Fills the members from keys sorted by code; returns the distinct codes.
  std::vector<std::u32string> group(std::vector<Keyed>&& coded);

  // Filled before codes_ is made from what group() returns.
  std::vector<std::uint32_t> group_starts_;  // group g: members [starts[g], starts[g + 1])
  std::vector<std::uint32_t> payloads_;      // per member
  std::vector<std::size_t> text_starts_;     // per member, and one past the last
  std::u32string texts_;
  SearchTrie codes_;  // a key per distinct code, its payload the code's group
};

}  // namespace prefix
