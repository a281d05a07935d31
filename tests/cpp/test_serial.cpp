// Tests of the trie byte form: varint widths, refusals and their display, round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/serial.hpp"

namespace prefix {

void PrintTo(const DecodeError& error, std::ostream* os) {
  *os << to_string(error);
}

}  // namespace prefix

namespace {

using prefix::DecodeError;
using prefix::Trie;
using Bytes = std::vector<std::uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::optional<DecodeError> error_of(const Bytes& bytes) {
  auto result = prefix::try_decode(bytes);
  if (const auto* error = std::get_if<DecodeError>(&result)) return *error;
  return std::nullopt;
}

Trie decoded(const Bytes& bytes) {
  auto result = prefix::try_decode(bytes);
  if (const auto* error = std::get_if<DecodeError>(&result)) {
    ADD_FAILURE() << "refused: " << to_string(*error);
    return {};
  }
  return std::get<Trie>(result);
}

const Trie EXAMPLE{
    {0, 2, 3, 3}, {std::nullopt, U'c', U'd', U'a'}, {std::nullopt, std::nullopt, 5, 7}, {1, 3, 2}};
const Bytes EXAMPLE_BYTES{0x04, 0x00, 0x02, 0x03, 0x03, 0x04, 0x00, 0x01, 0x63, 0x01, 0x64, 0x01,
                          0x61, 0x04, 0x00, 0x00, 0x01, 0x05, 0x01, 0x07, 0x03, 0x01, 0x03, 0x02};

TEST(Serial, WorkedExampleAndEmptyTrie) {
  EXPECT_EQ(prefix::encode_to_vec(EXAMPLE), EXAMPLE_BYTES);
  EXPECT_EQ(decoded(EXAMPLE_BYTES), EXAMPLE);
  EXPECT_EQ(decoded(concat({EXAMPLE_BYTES, {0xFF, 0xFE, 0x00}})), EXAMPLE);
  EXPECT_EQ(prefix::encode_to_vec(Trie{}), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(decoded({0, 0, 0, 0}), Trie{});
}

// Each value as the single node_shifts entry: its varint, then the other three counts.
TEST(Serial, ValueVarintsAtEveryWidthBoundary) {
  const std::vector<std::pair<std::uint32_t, Bytes>> table{
      {0, {0x00}},
      {250, {0xFA}},
      {251, {0xFB, 0xFB, 0x00}},
      {300, {0xFB, 0x2C, 0x01}},
      {65535, {0xFB, 0xFF, 0xFF}},
      {65536, {0xFC, 0x00, 0x00, 0x01, 0x00}},
      {4294967295, {0xFC, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& [value, varint] : table) {
    const Trie trie{{value}, {}, {value}, {}};
    const Bytes bytes = concat({{1}, varint, {0, 1, 1}, varint, {0}});
    EXPECT_EQ(prefix::encode_to_vec(trie), bytes) << value;
    EXPECT_EQ(prefix::encoded_size(trie), bytes.size()) << value;
    EXPECT_EQ(decoded(bytes), trie) << value;
  }
}

TEST(Serial, CodePointsAsUtf8AtEveryLengthBoundary) {
  const std::vector<std::pair<char32_t, Bytes>> table{
      {0x7F, {0x7F}},
      {0x80, {0xC2, 0x80}},
      {U'é', {0xC3, 0xA9}},
      {0x800, {0xE0, 0xA0, 0x80}},
      {0xFFFF, {0xEF, 0xBF, 0xBF}},
      {U'😀', {0xF0, 0x9F, 0x98, 0x80}},
      {0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}},
  };
  for (const auto& [cp, utf8] : table) {
    const Trie trie{{}, {cp}, {}, {}};
    const Bytes bytes = concat({{0, 1, 1}, utf8, {0, 0}});
    EXPECT_EQ(prefix::encode_to_vec(trie), bytes) << static_cast<std::uint32_t>(cp);
    EXPECT_EQ(decoded(bytes), trie) << static_cast<std::uint32_t>(cp);
  }
}

TEST(Serial, CountVarintsAtEveryWidthBoundary) {
  for (const std::size_t count : {250, 251, 65535, 65536}) {
    const Trie trie{{}, {}, {}, std::vector<std::uint32_t>(count, 7)};
    const Bytes bytes = prefix::encode_to_vec(trie);
    EXPECT_EQ(bytes.size(), 3 + (count <= 250 ? 1 : count <= 65535 ? 3 : 5) + count);
    EXPECT_EQ(decoded(bytes), trie) << count;
  }
  // Counts past 2^32 - 1 take the 8-byte form, which is refused for values only.
  const Bytes count_2_32{0xFD, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(error_of(concat({count_2_32, {5}})), DecodeError{prefix::UnexpectedEnd{1}});
  EXPECT_EQ(error_of({0xFC, 0xFF, 0xFF, 0xFF, 0xFF}), DecodeError{prefix::UnexpectedEnd{1}});
}

TEST(Serial, LongerFormsDecodeAndReencodeShortest) {
  const Bytes long_forms =
      concat({{0xFB, 0x04, 0x00, 0xFB, 0x00, 0x00, 0xFC, 0x02, 0x00, 0x00, 0x00, 0x03, 0x03},
              {0xFD, 0x04, 0, 0, 0, 0, 0, 0, 0},
              Bytes(EXAMPLE_BYTES.begin() + 6, EXAMPLE_BYTES.end())});
  const Trie trie = decoded(long_forms);
  EXPECT_EQ(trie, EXAMPLE);
  EXPECT_EQ(prefix::encode_to_vec(trie), EXAMPLE_BYTES);
}

struct Refusal {
  const char* name;
  Bytes bytes;
  std::string display;
};

class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, GiveTheErrorInItsDisplayForm) {
  const auto error = error_of(GetParam().bytes);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(to_string(*error), GetParam().display);
  try {
    (void)prefix::decode_or_fail(GetParam().bytes);
    ADD_FAILURE() << "decode_or_fail accepted the bytes";
  } catch (const prefix::InternalFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find(GetParam().display), std::string::npos);
  }
}

const Bytes TAIL_8(8, 0x11);

INSTANTIATE_TEST_SUITE_P(
    Serial, Refusals,
    testing::Values(
        Refusal{"Empty", {}, "UnexpectedEnd { additional: 1 }"},
        Refusal{"ExampleWithoutLastByte", Bytes(EXAMPLE_BYTES.begin(), EXAMPLE_BYTES.end() - 1),
                "UnexpectedEnd { additional: 1 }"},
        Refusal{"CountCutInsideU16", {0xFB, 0x01}, "UnexpectedEnd { additional: 1 }"},
        Refusal{"ValueCutInsideU32", {0x01, 0xFC, 0x01}, "UnexpectedEnd { additional: 3 }"},
        Refusal{"CountCutInsideU64", {0xFD, 0x01}, "UnexpectedEnd { additional: 7 }"},
        Refusal{"TagMissing", {0x00, 0x01}, "UnexpectedEnd { additional: 1 }"},
        Refusal{"CodePointMissing", {0x00, 0x01, 0x01}, "UnexpectedEnd { additional: 1 }"},
        Refusal{"CodePointCutAfterEDA0",
                {0x00, 0x01, 0x01, 0xED, 0xA0},
                "UnexpectedEnd { additional: 1 }"},
        Refusal{"CodePointCutAfterF0", {0x00, 0x01, 0x01, 0xF0}, "UnexpectedEnd { additional: 3 }"},
        Refusal{"ValueWithU64Form", concat({{0x01, 0xFD}, TAIL_8}),
                "InvalidIntegerType { expected: U32, found: U64 }"},
        Refusal{
            "ValueWithU128Form", {0x01, 0xFE}, "InvalidIntegerType { expected: U32, found: U128 }"},
        Refusal{"ChildWithReservedForm",
                {0, 0, 0, 1, 0xFF},
                "InvalidIntegerType { expected: U32, found: Reserved }"},
        Refusal{"CountWithU128Form", concat({{0xFE}, TAIL_8, TAIL_8}),
                "InvalidIntegerType { expected: U64, found: U128 }"},
        Refusal{"CountWithReservedForm",
                {0x00, 0x00, 0xFF},
                "InvalidIntegerType { expected: U64, found: Reserved }"},
        Refusal{"CodePointTag2",
                {0x00, 0x01, 0x02},
                "UnexpectedVariant { type_name: \"Option<char>\", allowed: Range { min: 0, max: 1 "
                "}, found: 2 }"},
        Refusal{"PayloadTag255",
                {0x00, 0x00, 0x01, 0xFF},
                "UnexpectedVariant { type_name: \"Option<u32>\", allowed: Range { min: 0, max: 1 "
                "}, found: 255 }"},
        Refusal{"Surrogate",
                {0x00, 0x01, 0x01, 0xED, 0xA0, 0x80},
                "InvalidCharEncoding([237, 160, 128, 0])"},
        Refusal{"LeadC0", {0x00, 0x01, 0x01, 0xC0}, "InvalidCharEncoding([192, 0, 0, 0])"},
        Refusal{
            "LoneContinuation", {0x00, 0x01, 0x01, 0x80}, "InvalidCharEncoding([128, 0, 0, 0])"},
        Refusal{"LeadF5", {0x00, 0x01, 0x01, 0xF5, 0x80}, "InvalidCharEncoding([245, 0, 0, 0])"},
        Refusal{"AboveMaximum",
                {0x00, 0x01, 0x01, 0xF4, 0x90, 0x80, 0x80},
                "InvalidCharEncoding([244, 144, 128, 128])"},
        Refusal{"OverlongThreeBytes",
                {0x00, 0x01, 0x01, 0xE0, 0x80, 0x80},
                "InvalidCharEncoding([224, 128, 128, 0])"},
        Refusal{"OverlongFourBytes",
                {0x00, 0x01, 0x01, 0xF0, 0x8F, 0xBF, 0xBF},
                "InvalidCharEncoding([240, 143, 191, 191])"},
        Refusal{"BadLastContinuation",
                {0x00, 0x01, 0x01, 0xE2, 0x82, 0x28},
                "InvalidCharEncoding([226, 130, 40, 0])"},
        // Must fail where the input ends, without reserving 2^64 - 1 entries.
        Refusal{"HugeCountShortInput",
                {0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02},
                "UnexpectedEnd { additional: 1 }"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Draws below a bound from a seeded generator, so failures reproduce.
struct Draw {
  std::mt19937 rng{20240611};
  std::uint32_t operator()(std::uint32_t below) {
    return std::uniform_int_distribution<std::uint32_t>(0, below - 1)(rng);
  }
};

std::optional<char32_t> random_code_point(Draw& draw) {
  // Both sides of every UTF-8 length boundary and of the surrogate gap.
  static constexpr char32_t EDGES[] = {0x00,   0x7F,   0x80,    0x7FF,    0x800, 0xD7FF,
                                       0xE000, 0xFFFF, 0x10000, 0x10FFFF, U'é',  U'😀'};
  switch (draw(3)) {
    case 0:
      return std::nullopt;
    case 1:
      return EDGES[draw(std::size(EDGES))];
    default: {
      const char32_t cp = draw(0x110000);
      return cp >= 0xD800 && cp <= 0xDFFF ? cp - 0x800 : cp;
    }
  }
}

std::uint32_t random_value(Draw& draw) {
  static constexpr std::uint32_t EDGES[] = {0, 250, 251, 65535, 65536, 4294967295};
  return draw(2) == 0 ? EDGES[draw(std::size(EDGES))] : draw(0xFFFFFFFF) >> draw(32);
}

// Arrays of independent lengths and arbitrary contents, consistent or not.
TEST(Serial, RandomTriesRoundTrip) {
  Draw draw;
  for (int round = 0; round < 500; ++round) {
    Trie trie;
    for (auto i = draw(40); i > 0; --i) trie.node_shifts.push_back(random_value(draw));
    for (auto i = draw(40); i > 0; --i) trie.node_chars.push_back(random_code_point(draw));
    for (auto i = draw(40); i > 0; --i) {
      trie.node_payloads.push_back(draw(3) == 0 ? std::nullopt : std::optional(random_value(draw)));
    }
    for (auto i = draw(40); i > 0; --i) trie.child_indices.push_back(random_value(draw));
    const Bytes bytes = prefix::encode_to_vec(trie);
    ASSERT_EQ(bytes.size(), prefix::encoded_size(trie));
    ASSERT_EQ(decoded(bytes), trie) << "round " << round;
  }
}

}  // namespace
