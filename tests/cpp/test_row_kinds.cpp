// Every row kind the walk can pick, against the plain row: along random words
// near random queries, each read at every radius up to max_dist must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "prefix/distance/choice.hpp"
#include "prefix/distance/plain_row.hpp"
#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/distance/swap_choice.hpp"

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
template <class Rows, class Plain = PlainRows>
void compare_along(const Rows& rows, std::u32string_view query, std::uint64_t max_dist,
                   std::u32string_view word) {
  const Plain plain(query, max_dist);
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
    const std::uint64_t least = *std::min_element(cells.begin(), cells.begin() + n + 1);
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
          plain.step(plain.parent(cells.data(), depth), child.data(), edge);
          ASSERT_GT(*std::min_element(child.begin(), child.begin() + n + 1), radius) << where;
        }
      }
    }
    if (depth == word.size() || least > max_dist) return;
    const std::size_t r = depth % all.size();
    auto* const to = depth % 2 == 0 ? row.data() : other.data();
    const bool open = narrowed[r].step(narrowed[r].parent(row.data(), depth), to, word[depth]);
    if (to != row.data()) std::swap(row, other);
    plain.step(plain.parent(cells.data(), depth), cells.data(), word[depth]);
    ASSERT_EQ(open, *std::min_element(cells.begin(), cells.begin() + n + 1) <= all[r]) << where;
  }
}

// Every max_dist from 0 to 33 (so both sides of 3/4 and 31/32), and both
// sides of each change of cell width beyond.
constexpr std::uint64_t MAX_DISTS[] = {100,         253,        254,        65533,
                                       65534,       4294967293, 4294967294, std::uint64_t{1} << 63,
                                       MAX_U64 - 1, MAX_U64};

// The code points of the random queries, one of them astral.
constexpr std::u32string_view ALPHABET = U"abc\U0001F600";

// Random queries over ALPHABET and words a few edits from them (swaps of
// adjacent code points among the edits), or any words, handed to
// `check(query, max_dist, word)`.
template <class Check>
void for_random_words(const std::vector<std::uint64_t>& max_dists, Check check) {
  std::mt19937 rng(16);
  const auto letter = [&] { return ALPHABET[rng() % ALPHABET.size()]; };
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
        const auto edit = static_cast<unsigned>(rng() % 3);
        if (edit == 0 || word.empty()) {
          word.insert(word.begin() + static_cast<std::ptrdiff_t>(at), letter());
        } else if (edit == 1 || at + 1 == word.size()) {
          word[at] = letter();
        } else {
          std::swap(word[at], word[at + 1]);
        }
      }
      check(query, max_dist, word);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(RowKinds, AgreeWithThePlainRowAtEveryRadius) {
  std::vector<std::uint64_t> max_dists(std::begin(MAX_DISTS), std::end(MAX_DISTS));
  for (std::uint64_t k = 0; k <= 33; ++k) max_dists.push_back(k);
  for_random_words(
      max_dists, [](std::u32string_view query, std::uint64_t max_dist, std::u32string_view word) {
        with_rows(query, max_dist,
                  [&](const auto& rows) { compare_along(rows, query, max_dist, word); });
      });
}

// The swap kinds against the plain swap row, at every max_dist up to 33 and
// both sides of each change of cell width.
TEST(RowKinds, SwapKindsAgreeWithThePlainSwapRow) {
  std::vector<std::uint64_t> max_dists;
  for (std::uint64_t k = 0; k <= 33; ++k) max_dists.push_back(k);
  std::vector<std::uint64_t> wide = max_dists;
  wide.insert(wide.end(), std::begin(MAX_DISTS), std::end(MAX_DISTS));
  const auto check = [](std::u32string_view query, std::uint64_t max_dist,
                        std::u32string_view word) {
    with_swap_rows(query, max_dist, [&](const auto& rows) {
      compare_along<std::decay_t<decltype(rows)>, PlainSwapRows>(rows, query, max_dist, word);
    });
  };
  for_random_words(wide, check);
  // Queries of distinct code points, in pairs of one below 256 and an astral
  // one, and words that swap max_dist to max_dist + 2 of the pairs, the first
  // or the last among them: distances of max_dist and just past it that only
  // swaps reach (Levenshtein counts each twice), in the band's last words
  // (or cells). Queries cut short make words longer than them. The last
  // round's query has too many depths times code points for a table of
  // matches.
  std::mt19937 rng(14);
  max_dists.push_back(64);
  for (const std::uint64_t max_dist : max_dists) {
    for (int round = 0; round < 8; ++round) {
      const std::size_t pairs = round == 7 ? 92 + rng() % 3 : max_dist + 1 + rng() % 3;
      std::u32string query;
      for (std::size_t p = 0; p < pairs; ++p) {
        query.push_back(static_cast<char32_t>(U'0' + p));
        query.push_back(static_cast<char32_t>(U'\U0001F600' + p));
      }
      std::vector<std::size_t> order(pairs);
      for (std::size_t p = 0; p < pairs; ++p) order[p] = p;
      std::shuffle(order.begin(), order.end(), rng);
      const std::size_t end_pair = round % 2 == 0 ? 0 : pairs - 1;
      std::iter_swap(order.begin(), std::find(order.begin(), order.end(), end_pair));
      std::u32string word = query;
      const std::size_t swaps = std::min<std::size_t>(pairs, max_dist + rng() % 3);
      for (std::size_t s = 0; s < std::max<std::size_t>(swaps, 1); ++s) {
        std::swap(word[2 * order[s]], word[2 * order[s] + 1]);
      }
      if (round % 4 == 3) query.resize(query.size() - 1 - rng() % 3);
      check(query, max_dist, word);
      if (HasFatalFailure()) return;
    }
  }
}

// The plain swap row against a whole optimal-string-alignment table.
TEST(RowKinds, PlainSwapRowIsTheAlignmentDistance) {
  const auto table = [](std::u32string_view a, std::u32string_view b) {
    std::vector<std::vector<std::uint64_t>> d(a.size() + 1,
                                              std::vector<std::uint64_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
      for (std::size_t j = 0; j <= b.size(); ++j) {
        if (i == 0 || j == 0) {
          d[i][j] = i + j;
          continue;
        }
        d[i][j] =
            std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
          d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
      }
    }
    return d[a.size()][b.size()];
  };
  for_random_words(
      {0, 4}, [&](std::u32string_view query, std::uint64_t /*max_dist*/, std::u32string_view word) {
        const PlainSwapRows rows(query, 0);
        std::vector<std::uint64_t> row(rows.stride());
        rows.root(row.data());
        for (std::size_t depth = 0; depth < word.size(); ++depth) {
          rows.step(rows.parent(row.data(), depth), row.data(), word[depth]);
        }
        ASSERT_EQ(rows.distance(row.data(), word.size()), table(word, query));
      });
  ASSERT_EQ(table(U"ca", U"abc"), 3U);  // each part edited once: not 2
}

}  // namespace
}  // namespace prefix::distance
