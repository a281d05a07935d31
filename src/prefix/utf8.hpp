// UTF-8 for single code points and for whole texts that are already known to be valid.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace prefix {

// Bytes that the UTF-8 form of `cp` takes: 1 below U+0080, 2 below U+0800,
// 3 below U+10000, 4 otherwise.
[[nodiscard]] constexpr std::size_t utf8_length(char32_t cp) noexcept {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Bytes the UTF-8 sequence led by `lead` takes (1 for a stray continuation
// byte, which valid text never starts a sequence with).
[[nodiscard]] constexpr std::size_t utf8_sequence_length(unsigned char lead) noexcept {
  return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Appends the UTF-8 form of `cp` to `out`. `cp` must be a Unicode scalar value
// or a surrogate, which takes the three-byte form (as strict UTF-8 does not).
inline void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Encodes a sequence of code points as UTF-8 text.
template <class CodePoints>
[[nodiscard]] std::string encode_utf8(const CodePoints& code_points) {
  std::string out;
  out.reserve(code_points.size());
  for (const char32_t cp : code_points) append_utf8(out, cp);
  return out;
}

// Decodes text that is valid UTF-8 (as the interpreter hands it out) into code
// points. The sequence length is taken from each lead byte; nothing is checked.
[[nodiscard]] inline std::u32string decode_utf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  const auto byte = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(text[i]));
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t lead = byte(i);
    std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + len > text.size()) len = text.size() - i;
    char32_t cp = len == 1   ? lead
                  : len == 2 ? (lead & 0x1F)
                  : len == 3 ? (lead & 0x0F)
                             : (lead & 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (byte(i + k) & 0x3F);
    out.push_back(cp);
    i += len;
  }
  return out;
}

// Decodes `text` into `out` (replacing what it held) when it is valid UTF-8:
// no stray or missing continuation byte, no overlong form, no surrogate,
// nothing above U+10FFFF. Returns false, `out` then unspecified, when it is
// not. Allocates only when `out` lacks room for text.size() code points, so a
// buffer reused across texts stops allocating.
[[nodiscard]] inline bool decode_valid_utf8(std::string_view text, std::u32string& out) {
  // A code point per byte at most: sized once, written in place, cut to
  // length at the end.
  out.resize(text.size());
  char32_t* const first = out.data();
  char32_t* at = first;
  const auto byte = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(text[i]));
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t lead = byte(i);
    if (lead < 0x80) {
      *at++ = lead;
      ++i;
      continue;
    }
    std::size_t len = 0;
    char32_t least = 0;  // the smallest code point of that length: below it is overlong
    char32_t cp = 0;
    if (lead >= 0xC2 && lead < 0xE0) {
      len = 2, least = 0x80, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      len = 3, least = 0x800, cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      len = 4, least = 0x10000, cp = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < len) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const char32_t next = byte(i + k);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    *at++ = cp;
    i += len;
  }
  out.resize(static_cast<std::size_t>(at - first));
  return true;
}

}  // namespace prefix
