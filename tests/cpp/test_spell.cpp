// The spelling ranker's error model against the plain optimal-string-
// alignment distance, whose multiple by the least edit cost bounds it (the
// ranker prunes on that bound, and on a limit the model gives up above),
// and case folding against a table.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/error_model.hpp"

namespace prefix {
namespace {

std::uint64_t osa(std::u32string_view a, std::u32string_view b) {
  distance::PlainSwapRows rows(a, std::uint64_t{1} << 40);
  std::vector<std::uint64_t> storage(2 * rows.stride());
  std::uint64_t* row = storage.data();
  std::uint64_t* next = row + rows.stride();
  rows.root(row);
  for (const char32_t c : b) {
    rows.step(rows.parent(row, 0), next, c);
    std::swap(row, next);
  }
  return rows.distance(row, b.size());
}

TEST(ErrorCost, LiesBetweenTheBoundAndTheDearestEditsOfTheDistance) {
  std::mt19937 random(7);
  // Letters of every class: vowels, sound-alike and neighbouring keys, and
  // a code point outside a..z.
  const std::u32string letters = U"aeyckszdtrq\u00e9";
  std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
  std::uniform_int_distribution<std::size_t> length(0, 7);
  const ErrorWeights& w = ERROR_WEIGHTS;
  for (int round = 0; round < 3000; ++round) {
    std::u32string typed(length(random), U'a');
    std::u32string word(length(random), U'a');
    for (char32_t& c : typed) c = letters[pick(random)];
    for (char32_t& c : word) c = letters[pick(random)];
    ErrorCost cost_of(typed);
    const double cost = cost_of(word);
    const auto plain = static_cast<double>(osa(typed, word));
    EXPECT_GE(cost + 1e-9, LEAST_EDIT_COST * plain) << round;
    EXPECT_LE(cost, w.first_letter * w.other * plain + 1e-9) << round;
    EXPECT_EQ(cost == 0.0, typed == word) << round;
    EXPECT_DOUBLE_EQ(cost_of(word), cost) << "a second call reuses its table";
    // Below its cost a limit gives up with something above it; from its cost on, the cost.
    const double limit = cost * static_cast<double>(round % 4) / 3.0;
    const double limited = cost_of(word, limit);
    EXPECT_TRUE(limit < cost ? limited > limit : limited == cost) << round;
  }
  EXPECT_DOUBLE_EQ(ErrorCost(U"teh")(U"the"), w.swap);
  EXPECT_DOUBLE_EQ(ErrorCost(U"ocur")(U"occur"), w.undoubled);
  EXPECT_DOUBLE_EQ(ErrorCost(U"kat")(U"cat"), w.first_letter * w.sound_alike);
}

TEST(CaseFold, FoldsCapitalsOfLatinGreekAndCyrillic) {
  const std::u32string capitals =
      U"AZ\u00c0\u00de\u0100\u0139\u0178\u0179\u0391\u03a9\u0401\u0410\u042f";
  const std::u32string smalls =
      U"az\u00e0\u00fe\u0101\u013a\u00ff\u017a\u03b1\u03c9\u0451\u0430\u044f";
  EXPECT_EQ(fold_case(capitals), smalls);
  EXPECT_EQ(fold_case(smalls), smalls);
  for (const char32_t same :
       {U'@', U'[', U'\u00d7', U'\u0130', U'\u0149', U'\u03a2', U'\U0001f600'}) {
    EXPECT_EQ(fold_case(same), same);
  }
}

}  // namespace
}  // namespace prefix
