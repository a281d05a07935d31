// Letter classes the spelling ranker's rules share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace prefix {

// Letters by class: a..z are 0 to 25, any other code point LETTER_CLASSES - 1.
inline constexpr std::size_t LETTER_CLASSES = 27;
[[nodiscard]] constexpr std::uint8_t letter_class(char32_t c) noexcept {
  const char32_t k = c - U'a';
  return static_cast<std::uint8_t>(k < LETTER_CLASSES - 1 ? k : LETTER_CLASSES - 1);
}

// a, e, i, o, u and y: the letters English spells vowels with.
[[nodiscard]] constexpr bool is_vowel(char32_t c) noexcept {
  return c == U'a' || c == U'e' || c == U'i' || c == U'o' || c == U'u' || c == U'y';
}

}  // namespace prefix
