// The error model of the spelling ranker: how costly each way of
// misspelling a word is, as a weighted optimal-string-alignment distance.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

namespace prefix {

// Costs of single edits from an intended word to what was typed, in edits
// (a plain edit costs 1). The values follow how often each kind of edit
// occurs among real misspellings (see the README): cheap ones are common.
struct ErrorWeights {
  double doubled = 0.45;        // a letter typed twice ("occurr")
  double undoubled = 0.4;       // a doubled letter typed once ("ocur")
  double swap = 0.65;           // two adjacent letters swapped ("teh")
  double vowel = 0.6;           // a vowel typed for another ("seperate")
  double sound_alike = 0.7;     // a letter of the same sound (c/k/s, z/s, i/y, ...)
  double keyboard = 0.8;        // a key next to the intended one
  double vowel_dropped = 0.75;  // a vowel left out
  double vowel_added = 0.8;     // a vowel added
  double other = 1.0;           // any other insertion, deletion or substitution
  double first_letter = 1.6;    // factor for an edit at the word's first letter
};

// The model's default weights.
inline constexpr ErrorWeights ERROR_WEIGHTS{};

// The least cost of any single edit: a candidate at plain (unweighted)
// optimal-string-alignment distance d costs at least d times this.
inline constexpr double LEAST_EDIT_COST = [] {
  const ErrorWeights& w = ERROR_WEIGHTS;
  double least = w.other;
  for (const double cost : {w.doubled, w.undoubled, w.swap, w.vowel, w.sound_alike, w.keyboard,
                            w.vowel_dropped, w.vowel_added}) {
    least = cost < least ? cost : least;
  }
  return least;
}();

// The weighted optimal-string-alignment distance from `word` (intended) to
// `typed`: the cheapest sequence of insertions, deletions, substitutions and
// adjacent swaps, each priced by ERROR_WEIGHTS in its context, no part
// edited twice. Both are compared code point by code point, as given (fold
// them first to ignore case). `scratch` is reused between calls. Costs
// O(|word| |typed|).
[[nodiscard]] double error_cost(std::u32string_view typed, std::u32string_view word,
                                std::vector<double>& scratch);

}  // namespace prefix
