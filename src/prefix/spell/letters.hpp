// Letter classes the spelling ranker's rules share.
#pragma once

namespace prefix {

// a, e, i, o, u and y: the letters English spells vowels with.
[[nodiscard]] constexpr bool is_vowel(char32_t c) noexcept {
  return c == U'a' || c == U'e' || c == U'i' || c == U'o' || c == U'u' || c == U'y';
}

}  // namespace prefix
