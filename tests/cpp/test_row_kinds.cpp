// Every row kind the walk can pick, against the plain row: along random words
// near random queries, each read at every radius up to max_dist must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "prefix/distance/choice.hpp"
#include "prefix/distance/plain_row.hpp"

namespace prefix::distance {
namespace {

constexpr std::uint64_t MAX_U64 = std::numeric_limits<std::uint64_t>::max();

// The radii to read at: all of them for small max_dist, else a spread.
std::vector<std::uint64_t> radii(std::uint64_t max_dist) {
  std::vector<std::uint64_t> out;
  if (max_dist <= 40) {
    for (std::uint64_t r = 0; r <= max_dist; ++r) out.push_back(r);
    return out;
  }
  for (const std::uint64_t r :
       {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{31}, std::uint64_t{32},
        max_dist / 2, max_dist - 1, max_dist}) {
    out.push_back(r);
  }
  return out;
}

// Steps `rows` and the plain row together down `word`, as far as the walk
// would (it never steps from a row closed at max_dist), and compares every
// read at every radius (a copy of `rows` narrowed to each). Steps alternate
// between writing in place and into new storage, and between radii.
template <class Rows>
void compare_along(const Rows& rows, std::u32string_view query, std::uint64_t max_dist,
                   std::u32string_view word) {
  const PlainRows plain(query, max_dist);
  std::vector<Rows> narrowed;
  for (const std::uint64_t radius : radii(max_dist)) {
    narrowed.push_back(rows);
    narrowed.back().narrow(radius);
  }
  std::vector<typename Rows::Word> row(rows.stride(), rows.fill());
  std::vector<typename Rows::Word> other(rows.stride(), rows.fill());
  std::vector<std::uint64_t> cells(plain.stride());
  std::vector<std::uint64_t> child(plain.stride());
  rows.root(row.data());
  plain.root(cells.data());
  const std::vector<std::uint64_t> all = radii(max_dist);
  const std::uint64_t n = query.size();
  for (std::size_t depth = 0;; ++depth) {
    const std::uint64_t least = *std::min_element(cells.begin(), cells.end());
    const std::string where = "max_dist " + std::to_string(max_dist) + " n " + std::to_string(n) +
                              " depth " + std::to_string(depth);
    for (std::size_t r = 0; r < all.size(); ++r) {
      const Rows& reads = narrowed[r];
      const std::uint64_t radius = all[r];
      ASSERT_EQ(reads.is_open(row.data(), depth), least <= radius) << where;
      const bool in_reach = cells[n] <= radius;
      ASSERT_EQ(reads.in_reach(row.data(), depth), in_reach) << where;
      if (in_reach) {
        ASSERT_EQ(reads.distance(row.data(), depth), cells[n]) << where;
      }
      KeptCodePoints keep;
      if (reads.exhausted(row.data(), depth, keep)) {
        ASSERT_GE(least, radius) << where;
        ASSERT_TRUE(std::is_sorted(keep.view().begin(), keep.view().end())) << where;
        ASSERT_EQ(std::adjacent_find(keep.view().begin(), keep.view().end()), keep.view().end());
        // Every code point that is not kept closes a child.
        for (const char32_t edge : std::u32string_view(U"abcz\U0001F600")) {
          if (keep.view().find(edge) != std::u32string_view::npos) continue;
          plain_step(query, cells.data(), child.data(), edge);
          ASSERT_GT(*std::min_element(child.begin(), child.end()), radius) << where;
        }
      }
    }
    if (depth == word.size() || least > max_dist) return;
    const std::size_t r = depth % all.size();
    auto* const to = depth % 2 == 0 ? row.data() : other.data();
    const bool open = narrowed[r].step(narrowed[r].parent(row.data(), depth), to, word[depth]);
    if (to != row.data()) std::swap(row, other);
    plain_step(query, cells.data(), cells.data(), word[depth]);
    ASSERT_EQ(open, *std::min_element(cells.begin(), cells.end()) <= all[r]) << where;
  }
}

// Every max_dist from 0 to 33 (so both sides of 3/4 and 31/32), and both
// sides of each change of cell width beyond.
constexpr std::uint64_t MAX_DISTS[] = {100,         253,        254,        65533,
                                       65534,       4294967293, 4294967294, std::uint64_t{1} << 63,
                                       MAX_U64 - 1, MAX_U64};

TEST(RowKinds, AgreeWithThePlainRowAtEveryRadius) {
  std::mt19937 rng(16);
  const std::u32string alphabet = U"abc\U0001F600";
  const auto letter = [&] { return alphabet[rng() % alphabet.size()]; };
  std::vector<std::uint64_t> max_dists(std::begin(MAX_DISTS), std::end(MAX_DISTS));
  for (std::uint64_t k = 0; k <= 33; ++k) max_dists.push_back(k);
  for (const std::uint64_t max_dist : max_dists) {
    for (int round = 0; round < 40; ++round) {
      // Mostly short; some wider than a 64-bit band, where the cell rows keep
      // only the band.
      const std::size_t length = round % 4 == 0 ? 60 + rng() % 20 : rng() % 9;
      std::u32string query;
      for (std::size_t i = 0; i < length; ++i) query.push_back(letter());
      // A word a few edits from the query, or any word.
      std::u32string word = query;
      if (round % 5 == 0) {
        word.resize(rng() % 12);
        for (char32_t& cp : word) cp = letter();
      }
      for (std::size_t edits = rng() % 5; edits > 0; --edits) {
        const std::size_t at = word.empty() ? 0 : rng() % word.size();
        if (rng() % 2 == 0 || word.empty()) {
          word.insert(word.begin() + static_cast<std::ptrdiff_t>(at), letter());
        } else {
          word[at] = letter();
        }
      }
      with_rows(query, max_dist,
                [&](const auto& rows) { compare_along(rows, query, max_dist, word); });
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace prefix::distance
