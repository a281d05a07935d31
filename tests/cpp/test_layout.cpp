// Tests of the layout from words and of the word-list file reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/store/layout.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/word_file.hpp"
#include "prefix/utf8.hpp"
#include "trie_fixtures.hpp"

namespace {

using namespace std::string_view_literals;
using prefix::WordFileError;
using Kind = WordFileError::Kind;

prefix::WordList word_list(const std::vector<std::u32string>& words) {
  prefix::WordList list;
  for (std::uint32_t i = 0; i < words.size(); ++i) list.add(prefix::encode_utf8(words[i]), i);
  return list;
}

TEST(Layout, RandomDistinctWordsGiveTheReferenceArraysAndBytes) {
  // Code points of every UTF-8 length, few enough for long shared prefixes.
  const std::u32string_view alphabet = U"\0ab\u00e9\u07ff\u0800\uffff\U00010000\U0010ffff"sv;
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::u32string> words;
    std::vector<std::u32string> seen;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      std::u32string word(1 + random() % 12, U'a');
      for (char32_t& cp : word) cp = alphabet[random() % alphabet.size()];
      if (std::find(seen.begin(), seen.end(), word) == seen.end()) words.push_back(word);
      seen.push_back(word);
    }
    const prefix::WordList list = word_list(words);
    prefix::FlatArrays arrays = prefix::lay_out(list, prefix::sorted_order(list));
    const std::vector<std::uint8_t> bytes = [&] {
      std::vector<std::uint8_t> out;
      prefix::encode_with(arrays, [&out](std::size_t size) {
        out.resize(size);
        return out.data();
      });
      return out;
    }();
    const prefix::Trie expected = prefix::testing::words_trie(words);
    EXPECT_EQ(bytes, prefix::encode_to_vec(expected));
    EXPECT_EQ(std::move(arrays).to_trie(), expected);
  }
}

TEST(Layout, RepeatsKeepTheFirstAndAreFound) {
  prefix::WordList list;
  for (const char* word : {"b", "a", "b", "c", "a", "a"}) list.add(word, 0);
  const auto order = prefix::sorted_order(list);
  EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 4, 5, 0, 2, 3}));
  EXPECT_EQ(prefix::first_repeat(list, order), 2U);
  prefix::WordList distinct;
  distinct.add("x", 0);
  distinct.add("x\0"sv, 0);
  EXPECT_EQ(prefix::first_repeat(distinct, prefix::sorted_order(distinct)), std::nullopt);
}

// The words of a file read in chunks of `chunk` bytes as "word=payload"
// lines, or the refusal as "line kind field".
std::string read(std::string_view text, std::size_t chunk = 3) {
  prefix::WordFileReader reader;
  for (std::size_t at = 0; at < text.size(); at += chunk) {
    if (!reader.feed({text.data() + at, std::min(chunk, text.size() - at)})) break;
  }
  auto result = std::move(reader).finish();
  if (const auto* error = std::get_if<WordFileError>(&result)) {
    return std::to_string(error->line) + " " + std::to_string(static_cast<int>(error->kind)) + " " +
           error->field;
  }
  const auto& file = std::get<prefix::WordFile>(result);
  std::string out;
  for (std::size_t i = 0; i < file.words.size(); ++i) {
    out += std::string(file.words.word(i)) + "=" + std::to_string(file.words.payload(i)) + " ";
  }
  return out;
}

std::string refusal(std::uint64_t line, Kind kind, std::string_view field = {}) {
  return std::to_string(line) + " " + std::to_string(static_cast<int>(kind)) + " " +
         std::string(field);
}

TEST(WordFile, ReadsLinesInAnyChunking) {
  for (const std::size_t chunk : {1, 2, 3, 64}) {
    EXPECT_EQ(read("\xEF\xBB\xBFz\r\n\na\r\n\r\nz\n\n", chunk), "z=0 a=1 z=2 ") << chunk;
    EXPECT_EQ(read("b\t7\n\na\t4294967295", chunk), "b=7 a=4294967295 ") << chunk;
  }
  EXPECT_EQ(read(""), "");
  EXPECT_EQ(read("a\rb\n"), "a\rb=0 ");
}

TEST(WordFile, RefusesTheFirstBadLine) {
  EXPECT_EQ(read("a\nb\t1\n"), refusal(2, Kind::Malformed));
  EXPECT_EQ(read("a\ncat\tfoo\n"), refusal(2, Kind::BadPayload, "foo"));
  EXPECT_EQ(read("a\tb\tc\n"), refusal(1, Kind::Malformed));
  EXPECT_EQ(read("a\t1\nb\n"), refusal(2, Kind::Malformed));
  EXPECT_EQ(read("a\t1\n\t2\n"), refusal(2, Kind::EmptyWord));
  EXPECT_EQ(read("a\t4294967296\n"), refusal(1, Kind::BadPayload, "4294967296"));
  EXPECT_EQ(read("a\t+1\n"), refusal(1, Kind::BadPayload, "+1"));
  EXPECT_EQ(read("ok\n\xC3(\n"), refusal(2, Kind::InvalidUtf8));
  EXPECT_EQ(read("\xED\xA0\x80\n"), refusal(1, Kind::InvalidUtf8));
  EXPECT_EQ(read("ok\n\xF4\x90\x80\x80"), refusal(2, Kind::InvalidUtf8));
  // A repeat is refused on its second line, before a later bad line.
  EXPECT_EQ(read("b\t1\na\t2\nb\t3\nx\n"), refusal(3, Kind::Repeated, "b"));
}

TEST(WordFile, RefusesALongLineWithoutReadingItAll) {
  const std::string longest(prefix::MAX_WORD_BYTES, 'a');
  EXPECT_EQ(read("x\n" + longest + "\r\n", 4096), "x=0 " + longest + "=1 ");
  EXPECT_EQ(read("x\n" + longest + "a\n", 4096), refusal(2, Kind::LineTooLong));
  prefix::WordFileReader reader;
  const std::string chunk(1 << 16, 'a');
  std::size_t fed = 0;
  while (reader.feed(chunk)) fed += chunk.size();
  EXPECT_LE(fed, prefix::MAX_WORD_BYTES + 1);
  const auto result = std::move(reader).finish();
  EXPECT_EQ(std::get<WordFileError>(result).kind, Kind::LineTooLong);
}

}  // namespace
