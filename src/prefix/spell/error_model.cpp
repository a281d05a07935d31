// The weighted edit distance of the spelling ranker, and the letter classes
// its weights depend on.
#include "prefix/spell/error_model.hpp"
#include "prefix/spell/letters.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
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

// The cost of typing one letter for another, by letter class: a..z, and
// one class for every other code point (a plain substitution: no other code
// point is a vowel).
class SubstitutionTable {
 public:
  static constexpr std::size_t CLASSES = LETTER_CLASSES;

  constexpr SubstitutionTable() {
    const ErrorWeights& w = ERROR_WEIGHTS;
    for (std::size_t k = 0; k < CLASSES * CLASSES; ++k) costs_[k] = w.other;
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
        costs_[letter_class(a) * CLASSES + letter_class(b)] = cost;
      }
    }
  }

  // The costs of typing each class for an intended letter of class `intended`.
  [[nodiscard]] constexpr const double* row(std::uint8_t intended) const noexcept {
    return costs_.data() + std::size_t{intended} * CLASSES;
  }

 private:
  std::array<double, CLASSES * CLASSES> costs_{};
};

constexpr SubstitutionTable SUBSTITUTION{};

// No code point: what precedes a word's first letter.
constexpr char32_t NO_LETTER = ~char32_t{0};

// A letter of `text` at i that repeats a neighbour: its insertion is a
// doubling, its deletion an undoubling.
bool repeats_neighbour(std::u32string_view text, std::size_t i) noexcept {
  return (i > 0 && text[i - 1] == text[i]) || (i + 1 < text.size() && text[i + 1] == text[i]);
}

}  // namespace

ErrorCost::ErrorCost(std::u32string_view typed)
    : typed_(typed), inserted_(typed.size()), classes_(typed.size()) {
  const ErrorWeights& w = ERROR_WEIGHTS;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    classes_[i] = letter_class(typed[i]);
    const double cost =
        repeats_neighbour(typed, i) ? w.doubled : (is_vowel(typed[i]) ? w.vowel_added : w.added);
    // At the first letter every edit costs more: people seldom get it wrong.
    inserted_[i] = i == 0 ? cost * w.first_letter : cost;
  }
}

double ErrorCost::operator()(std::u32string_view word, double limit) {
  const ErrorWeights& w = ERROR_WEIGHTS;
  const std::u32string_view typed = typed_;
  const std::size_t n = typed.size();
  const std::size_t m = word.size();
  const std::size_t width = n + 1;
  table_.resize((m + 1) * width);
  double* const cells = table_.data();
  const double* const inserted = inserted_.data();
  const std::uint8_t* const classes = classes_.data();
  cells[0] = 0.0;
  for (std::size_t i = 1; i <= n; ++i) cells[i] = cells[i - 1] + inserted[i - 1];
  double above_least = cells[0];  // the least cell of the row above
  for (std::size_t j = 1; j <= m; ++j) {
    const char32_t intended = word[j - 1];
    // The letter before it, or none: a swap needs one.
    const char32_t before = j >= 2 ? word[j - 2] : NO_LETTER;
    const double* const substituted = SUBSTITUTION.row(letter_class(intended));
    const double factor = j == 1 ? w.first_letter : 1.0;
    const double deleted = factor * (repeats_neighbour(word, j - 1)
                                         ? w.undoubled
                                         : (is_vowel(intended) ? w.vowel_dropped : w.dropped));
    double* const row = cells + j * width;
    const double* const up = row - width;
    row[0] = up[0] + deleted;
    double least = row[0];
    for (std::size_t i = 1; i <= n; ++i) {
      const char32_t got = typed[i - 1];
      double best = up[i - 1] + (intended == got ? 0.0 : factor * substituted[classes[i - 1]]);
      best = std::min(best, up[i] + deleted);
      best = std::min(best, row[i - 1] + inserted[i - 1]);
      if (j >= 2 && i >= 2 && before == got && intended == typed[i - 2] && intended != got) {
        // The cell two rows and two columns back.
        best = std::min(best, (up - width)[i - 2] + w.swap);
      }
      row[i] = best;
      least = std::min(least, best);
    }
    // Costs only grow along a path, and no path goes round both rows.
    if (least > limit && above_least > limit) return std::min(least, above_least);
    above_least = least;
  }
  return cells[m * width + n];
}

}  // namespace prefix
