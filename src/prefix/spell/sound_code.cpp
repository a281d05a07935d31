// The sound-code rules: English spellings of one sound mapped to one code.
#include "prefix/spell/sound_code.hpp"
#include "prefix/spell/letters.hpp"

#include <cstddef>

namespace prefix {
namespace {

// The Latin-1 small letters with accents, from U+00E0, as their base letter.
constexpr std::u32string_view LATIN1_BASE = U"aaaaaaaceeeeiiiidnooooo/ouuuuyty";

char32_t base_letter(char32_t c) noexcept {
  if (c >= 0xE0 && c <= 0xFF) return LATIN1_BASE[c - 0xE0];
  return c;
}

constexpr bool is_front_vowel(char32_t c) noexcept {
  return c == U'e' || c == U'i' || c == U'y';
}

// The word's letters without accents, apostrophes, hyphens and other marks.
std::u32string letters_of(std::u32string_view word) {
  std::u32string letters;
  letters.reserve(word.size());
  for (const char32_t c : word) {
    const char32_t base = base_letter(c);
    if (base == U'\'' || base == U'-' || base == U'.' || base == U' ' || base == U'/' ||
        base == 0x2019) {
      continue;
    }
    letters.push_back(base);
  }
  return letters;
}

}  // namespace

std::u32string sound_code(std::u32string_view word) {
  const std::u32string w = letters_of(word);
  const std::size_t n = w.size();
  const auto at = [&w, n](std::size_t i) { return i < n ? w[i] : U'\0'; };
  std::u32string code;
  code.reserve(n);
  const auto emit = [&code](char32_t sound) {
    // Repeats of one sound are one sound ("tt", "ck", "cq").
    if (code.empty() || code.back() != sound) code.push_back(sound);
  };
  std::size_t i = 0;
  // Silent first letters: kn, gn, pn, wr, ps; x sounds as z.
  if (n >= 2) {
    const char32_t a = w[0];
    const char32_t b = w[1];
    if ((b == U'n' && (a == U'k' || a == U'g' || a == U'p')) || (a == U'w' && b == U'r') ||
        (a == U'p' && b == U's')) {
      i = 1;
    }
  }
  if (i < n && is_vowel(w[i]) && w[i] != U'y') emit(U'A');
  for (; i < n; ++i) {
    const char32_t c = w[i];
    const char32_t next = at(i + 1);
    const char32_t prev = i > 0 ? w[i - 1] : U'\0';
    switch (c) {
      case U'a':
      case U'e':
      case U'i':
      case U'o':
      case U'u':
        // A vowel separates two equal sounds ("tat" keeps both t's).
        if (!code.empty() && code.back() != U'-') code.push_back(U'-');
        break;
      case U'y':
        if (is_vowel(next)) {
          emit(U'Y');
        } else if (!code.empty() && code.back() != U'-') {
          code.push_back(U'-');
        }
        break;
      case U'b':
        if (!(prev == U'm' && i + 1 == n)) emit(U'B');
        break;
      case U'c':
        if (next == U'h') {
          emit(prev == U's' ? U'K' : U'X');
          ++i;
        } else if (is_front_vowel(next)) {
          emit(U'S');
        } else {
          emit(U'K');
        }
        break;
      case U'd':
        if (next == U'g' && is_front_vowel(at(i + 2))) {
          emit(U'J');
          ++i;
        } else {
          emit(U'T');
        }
        break;
      case U'g':
        if (next == U'h') {
          // "gh" is silent inside a word ("night") and f at its end ("tough")
          // only after "ou"; at the start it is g.
          if (i == 0) {
            emit(U'K');
          } else if (i + 2 == n && prev == U'u') {
            emit(U'F');
          }
          ++i;
        } else if (next == U'n' && (i + 2 == n || (i + 4 == n && at(i + 2) == U'e'))) {
          // "sign", "signed": the g is silent.
        } else if (is_front_vowel(next)) {
          emit(U'J');
        } else {
          emit(U'K');
        }
        break;
      case U'h':
        // Heard only before a vowel and not after a consonant it modifies.
        if (is_vowel(next) && (i == 0 || is_vowel(prev))) emit(U'H');
        break;
      case U'k':
        emit(U'K');
        break;
      case U'q':
        // "qu" sounds as "kw".
        emit(U'K');
        if (next == U'u') {
          emit(U'W');
          ++i;
        }
        break;
      case U'p':
        if (next == U'h') {
          emit(U'F');
          ++i;
        } else {
          emit(U'P');
        }
        break;
      case U's':
        if (next == U'h') {
          emit(U'X');
          ++i;
        } else if (next == U'i' && (at(i + 2) == U'o' || at(i + 2) == U'a')) {
          emit(U'X');
        } else {
          emit(U'S');
        }
        break;
      case U't':
        if (next == U'i' && (at(i + 2) == U'o' || at(i + 2) == U'a')) {
          emit(U'X');
        } else if (next == U'h') {
          emit(U'0');
          ++i;
        } else if (next == U'c' && at(i + 2) == U'h') {
          // "tch" sounds as "ch".
        } else {
          emit(U'T');
        }
        break;
      case U'v':
      case U'f':
        emit(U'F');
        break;
      case U'w':
        if (is_vowel(next) || next == U'h') emit(U'W');
        break;
      case U'x':
        if (i == 0) {
          emit(U'S');
        } else {
          emit(U'K');
          emit(U'S');
        }
        break;
      case U'z':
        emit(U'S');
        break;
      case U'l':
        // Silent in "could", "would", "should".
        if (!(prev == U'u' && i >= 2 && w[i - 2] == U'o' && next == U'd')) emit(U'L');
        break;
      case U'j':
      case U'm':
      case U'n':
      case U'r':
        emit(c - 0x20);
        break;
      default:
        emit(c);
        break;
    }
  }
  // The separators only kept equal sounds apart; they are not part of the code.
  std::u32string out;
  out.reserve(code.size());
  for (const char32_t c : code) {
    if (c != U'-') out.push_back(c);
  }
  return out;
}

}  // namespace prefix
