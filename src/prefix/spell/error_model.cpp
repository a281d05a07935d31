// The weighted edit distance of the spelling ranker, and the letter classes
// its weights depend on.
#include "prefix/spell/error_model.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace prefix {
namespace {

constexpr bool is_vowel(char32_t c) noexcept {
  return c == U'a' || c == U'e' || c == U'i' || c == U'o' || c == U'u' || c == U'y';
}

// The US keyboard's letter rows; two letters are neighbours when they are
// next to each other on a row, or on adjacent rows at most one key apart.
constexpr std::array<std::u32string_view, 3> ROWS{U"qwertyuiop", U"asdfghjkl", U"zxcvbnm"};

struct KeyPlace {
  int row = -1;
  int column = 0;
};

constexpr KeyPlace place_of(char32_t c) noexcept {
  for (std::size_t r = 0; r < ROWS.size(); ++r) {
    const std::size_t column = ROWS[r].find(c);
    if (column != std::u32string_view::npos) {
      // Each row starts about half a key to the right of the one above.
      return {static_cast<int>(r), static_cast<int>(2 * column + r)};
    }
  }
  return {};
}

constexpr bool are_neighbours(char32_t a, char32_t b) noexcept {
  const KeyPlace p = place_of(a);
  const KeyPlace q = place_of(b);
  if (p.row < 0 || q.row < 0) return false;
  const int rows = p.row > q.row ? p.row - q.row : q.row - p.row;
  const int columns = p.column > q.column ? p.column - q.column : q.column - p.column;
  return (rows == 0 && columns == 2) || (rows == 1 && columns <= 1);
}

// Letters English spells one sound with.
constexpr std::array<std::u32string_view, 9> SOUND_PAIRS{U"ck", U"cs", U"sz", U"iy", U"fv",
                                                         U"gj", U"mn", U"dt", U"bp"};

constexpr bool sound_alike(char32_t a, char32_t b) noexcept {
  for (const std::u32string_view pair : SOUND_PAIRS) {
    if ((pair[0] == a && pair[1] == b) || (pair[0] == b && pair[1] == a)) return true;
  }
  return false;
}

double substitution(char32_t intended, char32_t typed, const ErrorWeights& w) noexcept {
  if (is_vowel(intended) && is_vowel(typed)) return w.vowel;
  if (sound_alike(intended, typed)) return w.sound_alike;
  if (are_neighbours(intended, typed)) return w.keyboard;
  return w.other;
}

// A letter of `text` at i that repeats a neighbour: its insertion is a
// doubling, its deletion an undoubling.
bool repeats_neighbour(std::u32string_view text, std::size_t i) noexcept {
  return (i > 0 && text[i - 1] == text[i]) || (i + 1 < text.size() && text[i + 1] == text[i]);
}

}  // namespace

double error_cost(std::u32string_view typed, std::u32string_view word,
                  std::vector<double>& scratch) {
  const ErrorWeights& w = ERROR_WEIGHTS;
  const std::size_t n = typed.size();
  const std::size_t m = word.size();
  const std::size_t width = n + 1;
  scratch.assign((m + 1) * width, 0.0);
  const auto cell = [&scratch, width](std::size_t j, std::size_t i) -> double& {
    return scratch[j * width + i];
  };
  // At the first letter every edit costs more: people seldom get it wrong.
  const auto at_start = [&w](std::size_t position, double cost) {
    return position == 0 ? cost * w.first_letter : cost;
  };
  const auto inserted = [&](std::size_t i) {
    const char32_t c = typed[i];
    const double cost =
        repeats_neighbour(typed, i) ? w.doubled : (is_vowel(c) ? w.vowel_added : w.other);
    return at_start(i, cost);
  };
  const auto deleted = [&](std::size_t j) {
    const char32_t c = word[j];
    const double cost =
        repeats_neighbour(word, j) ? w.undoubled : (is_vowel(c) ? w.vowel_dropped : w.other);
    return at_start(j, cost);
  };
  for (std::size_t i = 1; i <= n; ++i) cell(0, i) = cell(0, i - 1) + inserted(i - 1);
  for (std::size_t j = 1; j <= m; ++j) {
    cell(j, 0) = cell(j - 1, 0) + deleted(j - 1);
    for (std::size_t i = 1; i <= n; ++i) {
      const char32_t intended = word[j - 1];
      const char32_t got = typed[i - 1];
      double best = cell(j - 1, i - 1) +
                    (intended == got ? 0.0 : at_start(j - 1, substitution(intended, got, w)));
      best = std::min(best, cell(j - 1, i) + deleted(j - 1));
      best = std::min(best, cell(j, i - 1) + inserted(i - 1));
      if (i >= 2 && j >= 2 && intended == typed[i - 2] && word[j - 2] == got && intended != got) {
        best = std::min(best, cell(j - 2, i - 2) + w.swap);
      }
      cell(j, i) = best;
    }
  }
  return cell(m, n);
}

}  // namespace prefix
