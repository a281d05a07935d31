// Reading a word-list file: UTF-8 text, one word per line, optionally a tab
// and the word's payload; fed in chunks, so no line is held longer than the
// bound a line may reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "prefix/store/word_list.hpp"

namespace prefix {

// Why a word-list file is refused, and on which line (counted from 1).
struct WordFileError {
  enum class Kind {
    InvalidUtf8,  // the line is not valid UTF-8
    LineTooLong,  // the line holds more than MAX_WORD_BYTES bytes (line end aside)
    Malformed,    // not the fields the file's first line set: see with_payloads
    EmptyWord,    // a payload line without a word
    BadPayload,   // `field` is not an integer from 0 to 4294967295
    Repeated,     // `field`, a word with its payload, was given on an earlier line
  };
  Kind kind;
  std::uint64_t line;
  bool with_payloads;  // whether the file's lines are a word and a payload
  std::string field;   // the payload or the word named, valid UTF-8
};

// The words of a file, in file order, and their code-point order.
struct WordFile {
  WordList words;
  bool with_payloads = false;
  std::vector<std::uint32_t> order;  // sorted_order(words)
};

using WordFileResult = std::variant<WordFile, WordFileError>;

// Reads a word list fed in chunks of any size. A leading byte order mark is
// skipped, a line ends at "\n" (a "\r" before it is dropped) and blank lines
// are skipped. The first other line decides the file's form: a word and a
// payload separated by one tab, or one word; every line must then have that
// form. Without payloads a word's payload is its position among the words
// (blank lines aside), and a repeated word is kept, as given; with payloads
// a repeated word is refused. The first refused line ends the reading.
// Holds the words (WordList's cost) and at most one line in progress.
class WordFileReader {
 public:
  // Prepares for a file of `bytes` bytes: room for its text and a word per 8
  // bytes, so that the words rarely move while they are read.
  void expect(std::size_t bytes) { words_.reserve(bytes / 8 + 1, bytes); }

  // Reads the next bytes of the file. False once a line has been refused:
  // what follows need not be fed.
  bool feed(std::span<const char> bytes);

  // After the last chunk: the words, or the refusal of the first bad line.
  // A word given twice with payloads is refused on its second line, even when
  // a later line was refused for another reason.
  [[nodiscard]] WordFileResult finish() &&;

 private:
  bool take_line(std::string_view line);
  bool refuse(WordFileError::Kind kind, std::string_view field = {});

  WordList words_;
  std::vector<std::uint64_t> lines_;  // with payloads: each word's line
  std::string partial_;               // the line in progress, not yet ended
  std::uint64_t line_ = 0;            // lines ended so far
  std::uint32_t position_ = 0;        // words stored so far
  enum class Form { Unknown, Words, Payloads } form_ = Form::Unknown;
  std::variant<std::monostate, WordFileError> error_;
};

}  // namespace prefix
