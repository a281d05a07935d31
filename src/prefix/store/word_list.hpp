// Words gathered for a layout: their UTF-8 texts back to back, each with its
// payload, and the order that sorts them by code point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prefix {

// The longest word a layout takes, in bytes of UTF-8: also the longest line
// a word-list file may hold. A longer word is refused before it is stored,
// so an absurd input fails after reading this much of it, not all of it.
inline constexpr std::size_t MAX_WORD_BYTES = std::size_t{1} << 20;

// Words in the order they were given, each a UTF-8 text (surrogates may be
// written in their three-byte form, which sorts like their code points) with a
// payload. Costs the texts' bytes plus 12 bytes per word.
class WordList {
 public:
  // Room for `words` words of `bytes` bytes in all.
  void reserve(std::size_t words, std::size_t bytes);

  // The text all words are appended to; a word is the bytes appended since
  // the previous end_word.
  [[nodiscard]] std::string& text() noexcept { return text_; }
  // Ends the word being appended, with `payload`. Throws InternalFailure past
  // 4294967296 words, the most a word index can name.
  void end_word(std::uint32_t payload);
  // Replaces the payload of the last word ended.
  void set_last_payload(std::uint32_t payload) noexcept { payloads_.back() = payload; }
  void add(std::string_view word, std::uint32_t payload) {
    text_.append(word);
    end_word(payload);
  }

  [[nodiscard]] std::size_t size() const noexcept { return ends_.size(); }
  // Bytes of all words together.
  [[nodiscard]] std::size_t text_size() const noexcept { return text_.size(); }
  [[nodiscard]] std::string_view word(std::size_t i) const noexcept {
    const std::size_t begin = start(i);
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }
  [[nodiscard]] std::uint32_t payload(std::size_t i) const noexcept { return payloads_[i]; }

 private:
  [[nodiscard]] std::size_t start(std::size_t i) const noexcept {
    return i == 0 ? 0 : ends_[i - 1];
  }

  std::string text_;
  std::vector<std::size_t> ends_;
  std::vector<std::uint32_t> payloads_;
};

// Indices of `words` sorted by text in code-point order (UTF-8 byte order),
// equal texts by index, so the first of equals comes first. A list already in
// order is only checked. Otherwise words are sorted on their first 8 bytes
// by a radix sort of 16-byte keys (32 bytes a word while sorting), and each
// group agreeing on those on the next 8 and so on, so each word's text is
// read 8 bytes at a time, once per group it is in.
[[nodiscard]] std::vector<std::uint32_t> sorted_order(const WordList& words);

// Among words whose text an earlier word already has, the index of the first
// one (in list order), or nothing when all texts are distinct. `order` is
// sorted_order(words).
[[nodiscard]] std::optional<std::uint32_t> first_repeat(const WordList& words,
                                                        std::span<const std::uint32_t> order);

}  // namespace prefix
