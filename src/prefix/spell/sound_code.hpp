// Sound codes: a key that words pronounced alike in English tend to share,
// so that a misspelling written by ear finds its word however many letters
// differ ("fizicks" and "physics" both give FSKS).
#pragma once

#include <string>
#include <string_view>

namespace prefix {

// The sound code of `word`, whose letters must already be lower-case
// (fold_case): capital ASCII letters, '0' for "th", 'X' for "sh"/"ch", a
// leading 'A' for a word that starts with a vowel, other vowels dropped,
// repeats of one sound merged. Letters outside a-z are read without their
// accents where Latin-1 has them (é as e); any other code point stands for
// itself. Empty for a word without letters. O(length).
[[nodiscard]] std::u32string sound_code(std::u32string_view word);

}  // namespace prefix
