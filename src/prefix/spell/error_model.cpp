// The weighted edit distance of the spelling ranker, and the letter classes
// its weights depend on.
#include "prefix/spell/error_model.hpp"
#include "prefix/spell/letters.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace prefix {
namespace {

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

// The cost of typing one letter for another, for a..z by table; any other
// pair of code points is a plain substitution (or a vowel for a vowel).
class SubstitutionTable {
 public:
  constexpr SubstitutionTable() {
    const ErrorWeights& w = ERROR_WEIGHTS;
    for (char32_t a = U'a'; a <= U'z'; ++a) {
      for (char32_t b = U'a'; b <= U'z'; ++b) {
        double cost = w.other;
        if (is_vowel(a) && is_vowel(b)) {
          cost = w.vowel;
        } else if (sound_alike(a, b)) {
          cost = w.sound_alike;
        } else if (are_neighbours(a, b)) {
          cost = w.keyboard;
        }
        costs_[(a - U'a') * LETTERS + (b - U'a')] = cost;
      }
    }
  }

  [[nodiscard]] constexpr double operator()(char32_t intended, char32_t typed) const noexcept {
    const char32_t i = intended - U'a';
    const char32_t t = typed - U'a';
    if (i < LETTERS && t < LETTERS) return costs_[i * LETTERS + t];
    return is_vowel(intended) && is_vowel(typed) ? ERROR_WEIGHTS.vowel : ERROR_WEIGHTS.other;
  }

 private:
  static constexpr std::size_t LETTERS = 26;
  std::array<double, LETTERS * LETTERS> costs_{};
};

constexpr SubstitutionTable SUBSTITUTION{};

// A letter of `text` at i that repeats a neighbour: its insertion is a
// doubling, its deletion an undoubling.
bool repeats_neighbour(std::u32string_view text, std::size_t i) noexcept {
  return (i > 0 && text[i - 1] == text[i]) || (i + 1 < text.size() && text[i + 1] == text[i]);
}

}  // namespace

ErrorCost::ErrorCost(std::u32string_view typed) : typed_(typed), inserted_(typed.size()) {
  const ErrorWeights& w = ERROR_WEIGHTS;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    const double cost =
        repeats_neighbour(typed, i) ? w.doubled : (is_vowel(typed[i]) ? w.vowel_added : w.added);
    // At the first letter every edit costs more: people seldom get it wrong.
    inserted_[i] = i == 0 ? cost * w.first_letter : cost;
  }
}

double ErrorCost::operator()(std::u32string_view word) {
  const ErrorWeights& w = ERROR_WEIGHTS;
  const std::u32string_view typed = typed_;
  const std::size_t n = typed.size();
  const std::size_t m = word.size();
  const std::size_t width = n + 1;
  table_.resize((m + 1) * width);
  double* const cells = table_.data();
  const double* const inserted = inserted_.data();
  cells[0] = 0.0;
  for (std::size_t i = 1; i <= n; ++i) cells[i] = cells[i - 1] + inserted[i - 1];
  for (std::size_t j = 1; j <= m; ++j) {
    const char32_t intended = word[j - 1];
    const double factor = j == 1 ? w.first_letter : 1.0;
    const double deleted = factor * (repeats_neighbour(word, j - 1)
                                         ? w.undoubled
                                         : (is_vowel(intended) ? w.vowel_dropped : w.dropped));
    double* const row = cells + j * width;
    const double* const up = row - width;
    row[0] = up[0] + deleted;
    for (std::size_t i = 1; i <= n; ++i) {
      const char32_t got = typed[i - 1];
      double best = up[i - 1] + (intended == got ? 0.0 : factor * SUBSTITUTION(intended, got));
      best = std::min(best, up[i] + deleted);
      best = std::min(best, row[i - 1] + inserted[i - 1]);
      if (i >= 2 && j >= 2 && intended == typed[i - 2] && word[j - 2] == got && intended != got) {
        best = std::min(best, up[i - 2 - width] + w.swap);
      }
      row[i] = best;
    }
  }
  return cells[m * width + n];
}

}  // namespace prefix
