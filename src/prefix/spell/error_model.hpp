// The error model of the spelling ranker: how costly each way of
// misspelling a word is, as a weighted optimal-string-alignment distance.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <vector>

namespace prefix {

// Costs of single edits from an intended word to what was typed, in edits
// (a plain substitution costs 1). Derived from codespell's main typo list by
// scripts/error_weights.py: the more often a kind of edit makes a real
// misspelling, per chance it has, the cheaper it is.
struct ErrorWeights {
  double doubled = 0.63;        // a letter typed twice ("occurr")
  double undoubled = 0.40;      // a doubled letter typed once ("ocur")
  double swap = 0.54;           // two adjacent letters swapped ("teh")
  double vowel = 0.68;          // a vowel typed for another ("seperate")
  double sound_alike = 0.67;    // a letter of the same sound (c/k/s, z/s, i/y, ...)
  double keyboard = 0.83;       // a key next to the intended one
  double vowel_dropped = 0.50;  // a vowel left out
  double dropped = 0.50;        // another letter left out
  double vowel_added = 0.80;    // a vowel added
  double added = 0.91;          // another letter added
  double other = 1.0;           // any other substitution
  double first_letter = 1.19;   // factor for an edit at the word's first letter
};

// The model's default weights.
inline constexpr ErrorWeights ERROR_WEIGHTS{};

// The least cost of any single edit: a candidate at plain (unweighted)
// optimal-string-alignment distance d costs at least d times this.
inline constexpr double LEAST_EDIT_COST = [] {
  const ErrorWeights& w = ERROR_WEIGHTS;
  double least = w.other;
  for (const double cost : {w.doubled, w.undoubled, w.swap, w.vowel, w.sound_alike, w.keyboard,
                            w.vowel_dropped, w.dropped, w.vowel_added, w.added}) {
    least = cost < least ? cost : least;
  }
  return least;
}();

// The least cost of inserting a typed letter: a misspelling k letters
// longer than its word costs at least k times this for those letters.
inline constexpr double LEAST_INSERT_COST = [] {
  const ErrorWeights& w = ERROR_WEIGHTS;
  const double least = w.doubled < w.vowel_added ? w.doubled : w.vowel_added;
  return least < w.added ? least : w.added;
}();

// The weighted optimal-string-alignment distance from an intended word to
// what was typed: the cheapest sequence of insertions, deletions,
// substitutions and adjacent swaps, each priced by ERROR_WEIGHTS in its
// context, no part edited twice. Made once per typed word (the costs of
// inserting each of its letters are worked out then), and called per
// intended word. Both are compared code point by code point, as given (fold
// them first to ignore case). A call costs O(|word| |typed|) and allocates
// only while its table grows.
class ErrorCost {
 public:
  explicit ErrorCost(std::u32string_view typed);

  // The cost of `word` when it is at most `limit`; else some value above
  // `limit` (the table is left as soon as two rows in a row exceed it: a
  // path crosses one of any two rows, a swap stepping over at most one).
  [[nodiscard]] double operator()(std::u32string_view word,
                                  double limit = std::numeric_limits<double>::infinity());

 private:
  std::u32string_view typed_;
  std::vector<double> inserted_;       // the cost of each typed letter, inserted
  std::vector<std::uint8_t> classes_;  // each typed letter's class of substitutions
  std::vector<double> table_;          // the rows of the last call
};

}  // namespace prefix
