// The word-list file reader: lines, their fields and the refusals.
#include "prefix/store/word_file.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace prefix {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr std::uint64_t MAX_PAYLOAD = 0xFFFFFFFF;

// Whether `text` is UTF-8 as a strict decoder takes it: no overlong form, no
// surrogate, nothing above U+10FFFF, no stray or missing continuation byte.
bool is_valid_utf8(std::string_view text) noexcept {
  const auto* pos = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = pos + text.size();
  while (pos != end) {
    // ASCII runs, 8 bytes at a time.
    std::uint64_t block = 0;
    while (end - pos >= 8 && (std::memcpy(&block, pos, 8), (block & 0x8080808080808080) == 0)) {
      pos += 8;
    }
    if (pos == end) break;
    const unsigned char lead = *pos;
    if (lead < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || static_cast<std::size_t>(end - pos) < length) return false;
    // The second byte's range rules out overlong forms, surrogates and values above U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (pos[1] < low || pos[1] > high) return false;
    for (std::size_t i = 2; i < length; ++i) {
      if ((pos[i] & 0xC0) != 0x80) return false;
    }
    pos += length;
  }
  return true;
}

// ASCII digits, 0 to 4294967295 (leading zeros allowed), or nothing.
std::optional<std::uint32_t> parse_payload(std::string_view field) noexcept {
  if (field.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > MAX_PAYLOAD) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

bool WordFileReader::feed(std::span<const char> bytes) {
  if (error_.index() != 0) return false;
  std::string_view rest(bytes.data(), bytes.size());
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
      // A "\r" may still come before the "\n", hence one byte of slack.
      if (partial_.size() + rest.size() > MAX_WORD_BYTES + 1) {
        ++line_;
        return refuse(WordFileError::Kind::LineTooLong);
      }
      partial_.append(rest);
      return true;
    }
    bool taken = false;
    if (partial_.empty()) {
      taken = take_line(rest.substr(0, end));
    } else {
      partial_.append(rest.substr(0, std::min(end, MAX_WORD_BYTES + 2)));
      taken = take_line(partial_);
      partial_.clear();
    }
    if (!taken) return false;
    rest.remove_prefix(end + 1);
  }
  return true;
}

bool WordFileReader::take_line(std::string_view line) {
  ++line_;
  if (line_ == 1 && line.starts_with(BYTE_ORDER_MARK)) line.remove_prefix(BYTE_ORDER_MARK.size());
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.size() > MAX_WORD_BYTES) return refuse(WordFileError::Kind::LineTooLong);
  if (!is_valid_utf8(line)) return refuse(WordFileError::Kind::InvalidUtf8);
  if (line.empty()) return true;
  const std::size_t tab = line.find('\t');
  const bool one_tab = tab != std::string_view::npos && line.find('\t', tab + 1) == line.npos;
  if (form_ == Form::Unknown) form_ = one_tab ? Form::Payloads : Form::Words;
  if (form_ == Form::Words) {
    if (tab == std::string_view::npos) {
      words_.add(line, position_++);
      return true;
    }
    // A payload on a line of a words-only file: name it when it is no payload at all.
    if (one_tab && !parse_payload(line.substr(tab + 1))) {
      return refuse(WordFileError::Kind::BadPayload, line.substr(tab + 1));
    }
    return refuse(WordFileError::Kind::Malformed);
  }
  if (!one_tab) return refuse(WordFileError::Kind::Malformed);
  if (tab == 0) return refuse(WordFileError::Kind::EmptyWord);
  const std::optional<std::uint32_t> payload = parse_payload(line.substr(tab + 1));
  if (!payload) return refuse(WordFileError::Kind::BadPayload, line.substr(tab + 1));
  words_.add(line.substr(0, tab), *payload);
  lines_.push_back(line_);
  return true;
}

bool WordFileReader::refuse(WordFileError::Kind kind, std::string_view field) {
  error_ = WordFileError{kind, line_, form_ == Form::Payloads, std::string(field)};
  return false;
}

WordFileResult WordFileReader::finish() && {
  if (error_.index() == 0 && !partial_.empty()) {
    const std::string last = std::exchange(partial_, {});
    take_line(last);
  }
  WordFile file{std::move(words_), form_ == Form::Payloads, {}};
  const bool refused = error_.index() != 0;
  // A repeat lies before the refused line, if any: it was read earlier.
  if (!refused || file.with_payloads) file.order = sorted_order(file.words);
  if (file.with_payloads) {
    if (const auto repeat = first_repeat(file.words, file.order)) {
      return WordFileError{WordFileError::Kind::Repeated, lines_[*repeat], true,
                           std::string(file.words.word(*repeat))};
    }
  }
  if (refused) return std::get<WordFileError>(std::move(error_));
  return file;
}

}  // namespace prefix
