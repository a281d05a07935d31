// Lower-casing of code points, for lookups that ignore case: the letters of
// the Latin (Basic Latin, Latin-1, Latin Extended-A), Greek and Cyrillic
// alphabets; every other code point is its own fold.
#pragma once

#include <string>
#include <string_view>

namespace prefix {

// The lower-case form of `c` when it is a capital of the alphabets above,
// else `c`. Costs a few comparisons.
[[nodiscard]] constexpr char32_t fold_case(char32_t c) noexcept {
  if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs of capital then small letter, except where the block shifts the
    // pairing by one (0x139..0x148, 0x179..0x17E) and for the few letters
    // without a pair.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    const bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    return (c % 2 == 1) == odd_capitals ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// `text` with every code point folded.
[[nodiscard]] inline std::u32string fold_case(std::u32string_view text) {
  std::u32string folded(text);
  for (char32_t& c : folded) c = fold_case(c);
  return folded;
}

}  // namespace prefix
