// The spelling ranker: the words a misspelling most likely stands for, by
// an error model of how people misspell, sound-alike words and how common
// each word is.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/search_trie.hpp"
#include "prefix/spell/spell_index.hpp"

namespace prefix {

struct SpellQuery {
  std::u32string_view text;
  std::uint64_t n;                        // at most this many corrections
  std::optional<std::uint64_t> max_dist;  // none: chosen by the word's length (see spell)
  bool fold;                              // case ignored (fold_case), as for RankedQuery
  std::span<const std::uint64_t> counts;  // how common each payload's word is; empty: all alike
};

struct Correction {
  std::string key;  // UTF-8, as stored
  std::uint32_t payload;
  std::uint64_t distance;  // optimal-string-alignment distance from the query (folded if fold)
  double cost;             // the error model's cost of the misspelling (ErrorCost)

  friend bool operator==(const Correction&, const Correction&) = default;
};

// The weights that combine the error model's cost with sound and frequency,
// tried on the tuning half of bench/spelling.py's misspellings: a key's rank
// is its edit cost (for a key whose sound code is the query's, the lesser
// of its error cost and SOUND_COST + SOUND_SHARE * that cost), plus
// CASE_PENALTY when the key has capitals the query lacks (case folded), less
// FREQUENCY_WEIGHT * log10(count + 1).
inline constexpr double FREQUENCY_WEIGHT = 0.25;
inline constexpr double SOUND_COST = 0.8;
inline constexpr double SOUND_SHARE = 0.25;
inline constexpr double CASE_PENALTY = 0.15;

// The at most n keys of `trie` the query text most likely misspells, best
// first: by rank (above), then distance, payload and key. Candidates are
// the keys within max_dist optimal-string-alignment edits (a tree walk
// gathering them all, over `index`'s folded trie when case is ignored) and
// the keys whose sound code lies within one edit of the query's (`index`,
// made from the same trie): without max_dist, sound-alike words are found
// however far they are in letters; with one, no key is further. Without max_dist the walk goes 1
// edit far for words of up to 3 code points, else 2, and 3 for words of 7
// or more whose best candidate costs more than one plain edit. Each
// candidate is priced with ErrorCost, best bounds first, until no
// remaining one can enter the n best. A query of more than 256 code points
// is answered from the walk alone, each key costing its plain distance. Throws InternalFailure when
// the trie's arrays are not a tree.
[[nodiscard]] std::vector<Correction> spell(const SearchTrie& trie, const SpellIndex& index,
                                            const SpellQuery& query);

}  // namespace prefix
