// Tests of the trie byte form: varint widths, refusals and their display, round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/store/serial.hpp"

namespace {

using prefix::DecodeError;
using prefix::Trie;
using Bytes = std::vector<std::uint8_t>;

// "FB 2C 01" -> {0xFB, 0x2C, 0x01}.
Bytes hex(std::string_view text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) {
    out.push_back(
        static_cast<std::uint8_t>(std::stoul(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// The display form of the refusal, or "accepted".
std::string outcome(const Bytes& bytes) {
  const auto result = prefix::try_decode(bytes);
  const auto* error = std::get_if<DecodeError>(&result);
  return error ? prefix::to_string(*error) : "accepted";
}

// try_decode_flat gives try_decode's refusal, or arrays holding its Trie.
void expect_same_flat_outcome(const Bytes& bytes) {
  const auto flat = prefix::try_decode_flat(bytes);
  const auto* error = std::get_if<DecodeError>(&flat);
  EXPECT_EQ(error ? prefix::to_string(*error) : "accepted", outcome(bytes));
  if (error == nullptr) {
    EXPECT_EQ(prefix::FlatArrays(std::get<prefix::FlatArrays>(flat)).to_trie(),
              std::get<Trie>(prefix::try_decode(bytes)));
  }
}

Trie decoded(const Bytes& bytes) {
  auto result = prefix::try_decode(bytes);
  EXPECT_TRUE(std::holds_alternative<Trie>(result)) << outcome(bytes);
  return std::holds_alternative<Trie>(result) ? std::get<Trie>(std::move(result)) : Trie{};
}

const Trie EXAMPLE{
    {0, 2, 3, 3}, {std::nullopt, U'c', U'd', U'a'}, {std::nullopt, std::nullopt, 5, 7}, {1, 3, 2}};
const Bytes EXAMPLE_BYTES =
    hex("04 00 02 03 03 04 00 01 63 01 64 01 61 04 00 00 01 05 01 07 03 01 03 02");

TEST(Serial, WorkedExampleEmptyTrieTrailingBytesAndLongerForms) {
  EXPECT_EQ(prefix::encode_to_vec(EXAMPLE), EXAMPLE_BYTES);
  EXPECT_EQ(decoded(EXAMPLE_BYTES), EXAMPLE);
  Bytes trailing = EXAMPLE_BYTES;
  trailing.insert(trailing.end(), {0xFF, 0xFE, 0x00});
  EXPECT_EQ(decoded(trailing), EXAMPLE);
  EXPECT_EQ(prefix::encode_to_vec(Trie{}), hex("00 00 00 00"));
  EXPECT_EQ(decoded(hex("00 00 00 00")), Trie{});
  // Counts and values in wider forms than needed, including the 8-byte count form.
  Bytes long_forms = hex("FB 04 00 FB 00 00 FC 02 00 00 00 03 03 FD 04 00 00 00 00 00 00 00");
  long_forms.insert(long_forms.end(), EXAMPLE_BYTES.begin() + 6, EXAMPLE_BYTES.end());
  EXPECT_EQ(decoded(long_forms), EXAMPLE);
}

// A value v stored as node_shifts = {v}, node_payloads = {v}: both carry its varint.
TEST(Serial, ValueVarintsAtEveryWidthBoundary) {
  const std::pair<std::uint32_t, const char*> table[] = {
      {250, "FA"},         {251, "FB FB 00"},         {300, "FB 2C 01"},
      {65535, "FB FF FF"}, {65536, "FC 00 00 01 00"}, {4294967295, "FC FF FF FF FF"}};
  for (const auto& [value, varint] : table) {
    const Trie trie{{value}, {}, {value}, {}};
    const Bytes bytes = hex("01 " + std::string(varint) + " 00 01 01 " + varint + " 00");
    EXPECT_EQ(prefix::encode_to_vec(trie), bytes) << value;
    EXPECT_EQ(decoded(bytes), trie) << value;
  }
}

TEST(Serial, CodePointsAtEveryUtf8LengthBoundary) {
  const std::pair<char32_t, const char*> table[] = {
      {0x7F, "7F"},         {0x80, "C2 80"},       {U'é', "C3 A9"},          {0x800, "E0 A0 80"},
      {0xFFFF, "EF BF BF"}, {U'😀', "F0 9F 98 80"}, {0x10FFFF, "F4 8F BF BF"}};
  for (const auto& [cp, utf8] : table) {
    const Trie trie{{}, {cp}, {}, {}};
    const Bytes bytes = hex("00 01 01 " + std::string(utf8) + " 00 00");
    EXPECT_EQ(prefix::encode_to_vec(trie), bytes) << utf8;
    EXPECT_EQ(decoded(bytes), trie) << utf8;
  }
}

TEST(Serial, CountVarintsAtEveryWidthBoundary) {
  for (const std::size_t count : {250, 251, 65535, 65536}) {
    const Trie trie{{}, {}, {}, std::vector<std::uint32_t>(count, 7)};
    const Bytes bytes = prefix::encode_to_vec(trie);
    EXPECT_EQ(bytes.size(), 3 + (count <= 250 ? 1 : count <= 65535 ? 3 : 5) + count);
    EXPECT_EQ(decoded(bytes), trie) << count;
  }
  // 2^32 - 1 and 2^32 entries cannot be built here; their counts decode and then run out.
  EXPECT_EQ(outcome(hex("FC FF FF FF FF 05")), "UnexpectedEnd { additional: 1 }");
  EXPECT_EQ(outcome(hex("FD 00 00 00 00 01 00 00 00 05")), "UnexpectedEnd { additional: 1 }");
}

const char* const END_1 = "UnexpectedEnd { additional: 1 }";

// {input in hex, display form of the refusal}
const std::pair<const char*, const char*> REFUSALS[] = {
    {"", END_1},
    {"04 00 02 03 03 04 00 01 63 01 64 01 61 04 00 00 01 05 01 07 03 01 03", END_1},
    {"FB 01", END_1},
    {"01 FC 01", "UnexpectedEnd { additional: 3 }"},
    {"FD 01", "UnexpectedEnd { additional: 7 }"},
    {"00 01", END_1},
    {"00 01 01", END_1},
    {"00 01 01 ED A0", END_1},
    {"00 01 01 F0", "UnexpectedEnd { additional: 3 }"},
    {"FD FF FF FF FF FF FF FF FF 01 02", END_1},  // a count of 2^64 - 1 on a short input
    {"01 FD 11 11 11 11 11 11 11 11", "InvalidIntegerType { expected: U32, found: U64 }"},
    {"01 FE", "InvalidIntegerType { expected: U32, found: U128 }"},
    {"00 00 00 01 FF", "InvalidIntegerType { expected: U32, found: Reserved }"},
    {"FE 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11",
     "InvalidIntegerType { expected: U64, found: U128 }"},
    {"00 00 FF", "InvalidIntegerType { expected: U64, found: Reserved }"},
    {"00 01 02",
     "UnexpectedVariant { type_name: \"Option<char>\", allowed: Range { min: 0, max: 1 }, found: 2 "
     "}"},
    {"00 00 01 FF",
     "UnexpectedVariant { type_name: \"Option<u32>\", allowed: Range { min: 0, max: 1 }, found: "
     "255 }"},
    {"00 01 01 ED A0 80", "InvalidCharEncoding([237, 160, 128, 0])"},
    {"00 01 01 C0", "InvalidCharEncoding([192, 0, 0, 0])"},
    {"00 01 01 80", "InvalidCharEncoding([128, 0, 0, 0])"},
    {"00 01 01 F5 80", "InvalidCharEncoding([245, 0, 0, 0])"},
    {"00 01 01 F4 90 80 80", "InvalidCharEncoding([244, 144, 128, 128])"},
    {"00 01 01 E0 80 80", "InvalidCharEncoding([224, 128, 128, 0])"},
    {"00 01 01 F0 8F BF BF", "InvalidCharEncoding([240, 143, 191, 191])"},
    {"00 01 01 E2 82 28", "InvalidCharEncoding([226, 130, 40, 0])"},
};

TEST(Serial, RefusalsGiveTheirErrorInDisplayForm) {
  for (const auto& [input, display] : REFUSALS) {
    EXPECT_EQ(outcome(hex(input)), display) << input;
    expect_same_flat_outcome(hex(input));
  }
  try {
    (void)prefix::decode_or_fail(hex("00 01 01 C0"));
    ADD_FAILURE() << "decode_or_fail accepted a bad code point";
  } catch (const prefix::InternalFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("InvalidCharEncoding([192, 0, 0, 0])"),
              std::string::npos);
  }
}

// Arrays of independent lengths and arbitrary contents, consistent or not, with
// values and code points drawn often from both sides of every encoding boundary.
TEST(Serial, RandomTriesRoundTrip) {
  std::mt19937 rng(20240611);
  const auto draw = [&rng](std::uint32_t below) {
    return std::uniform_int_distribution<std::uint32_t>(0, below - 1)(rng);
  };
  const std::uint32_t VALUES[] = {0, 250, 251, 65535, 65536, 4294967295};
  const char32_t CODE_POINTS[] = {0,      0x7F,   0x80,   0x7FF,   0x800,
                                  0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x10FFFF};
  const auto value = [&] { return draw(2) ? VALUES[draw(6)] : draw(0xFFFFFFFF) >> draw(32); };
  const auto code_point = [&]() -> std::optional<char32_t> {
    if (draw(3) == 0) return std::nullopt;
    const char32_t cp = draw(2) ? CODE_POINTS[draw(10)] : draw(0x110000);
    return cp >= 0xD800 && cp <= 0xDFFF ? cp - 0x800 : cp;
  };
  for (int round = 0; round < 500; ++round) {
    Trie trie;
    for (auto n = draw(40); n > 0; --n) trie.node_shifts.push_back(value());
    for (auto n = draw(40); n > 0; --n) trie.node_chars.push_back(code_point());
    for (auto n = draw(40); n > 0; --n) {
      trie.node_payloads.push_back(draw(3) ? std::optional(value()) : std::nullopt);
    }
    for (auto n = draw(40); n > 0; --n) trie.child_indices.push_back(value());
    const Bytes bytes = prefix::encode_to_vec(trie);
    ASSERT_EQ(bytes.size(), prefix::encoded_size(trie));
    ASSERT_EQ(decoded(bytes), trie) << "round " << round;
    expect_same_flat_outcome(bytes);
  }
}

// The byte form of `trie` with each varint in a form drawn from those wide
// enough for it, the 8-byte one included for counts.
Bytes encode_in_wider_forms(const Trie& trie, std::mt19937& rng) {
  Bytes out;
  const auto varint = [&](std::uint64_t value, bool count) {
    const unsigned first = value <= 250 ? 0 : value <= 0xFFFF ? 1 : value <= 0xFFFFFFFF ? 2 : 3;
    const unsigned form = first + static_cast<unsigned>(rng() % ((count ? 4 : 3) - first));
    if (form == 0) {
      out.push_back(static_cast<std::uint8_t>(value));
      return;
    }
    const unsigned width = 1U << form;  // 2, 4 or 8 bytes after 0xFB, 0xFC or 0xFD
    out.push_back(static_cast<std::uint8_t>(0xFA + form));
    for (unsigned i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  const auto values = [&](const std::vector<std::uint32_t>& array) {
    varint(array.size(), true);
    for (const std::uint32_t value : array) varint(value, false);
  };
  values(trie.node_shifts);
  varint(trie.node_chars.size(), true);
  for (const auto& cp : trie.node_chars) {
    const Bytes one = prefix::encode_to_vec(Trie{{}, {cp}, {}, {}});
    out.insert(out.end(), one.begin() + 2, one.end() - 2);  // the entry between the counts
  }
  varint(trie.node_payloads.size(), true);
  for (const auto& payload : trie.node_payloads) {
    out.push_back(payload ? 1 : 0);
    if (payload) varint(*payload, false);
  }
  values(trie.child_indices);
  return out;
}

// The flat reader takes common forms in place and leaves the rest to the
// entry readers: both must give try_decode's outcome on every form, on every
// cut of the input (an entry cut at any byte, near the end where the in-place
// reads stop) and on bytes replaced by ones that start other forms or refusals.
TEST(Serial, FlatDecodingGivesTheOutcomeOfTryDecode) {
  std::mt19937 rng(77);
  const std::uint32_t VALUES[] = {0, 7, 250, 251, 300, 65535, 65536, 4294967295};
  const char32_t CODE_POINTS[] = {U'a', U'z', 0x7F, 0x80, U'é', 0xFFFF, U'😀', 0x10FFFF};
  const std::uint8_t REPLACEMENTS[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xC2, 0xE0, 0xED, 0xF0,
                                       0xF4, 0xF5, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
  for (int round = 0; round < 300; ++round) {
    Trie trie;
    const auto n = [&] { return rng() % 12; };
    for (auto i = n(); i > 0; --i) trie.node_shifts.push_back(VALUES[rng() % 8]);
    for (auto i = n(); i > 0; --i) {
      // Mostly ASCII, as in word lists, with absent and wider code points among them.
      const auto draw = rng() % 10;
      const char32_t letter = U'a' + static_cast<char32_t>(rng() % 26);
      trie.node_chars.push_back(draw == 0  ? std::nullopt
                                : draw < 4 ? std::optional(CODE_POINTS[rng() % 8])
                                           : std::optional(letter));
    }
    for (auto i = n(); i > 0; --i) {
      trie.node_payloads.push_back(rng() % 3 ? std::optional(VALUES[rng() % 8]) : std::nullopt);
    }
    for (auto i = n(); i > 0; --i) trie.child_indices.push_back(VALUES[rng() % 8]);
    const Bytes bytes = round % 2 ? encode_in_wider_forms(trie, rng) : prefix::encode_to_vec(trie);
    ASSERT_EQ(decoded(bytes), trie) << "round " << round;
    expect_same_flat_outcome(bytes);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
      expect_same_flat_outcome(Bytes(bytes.begin(), bytes.begin() + cut));
    }
    for (int change = 0; change < 20 && !bytes.empty(); ++change) {
      Bytes changed = bytes;
      changed[rng() % changed.size()] = REPLACEMENTS[rng() % std::size(REPLACEMENTS)];
      expect_same_flat_outcome(changed);
    }
    ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
  }
}

}  // namespace
