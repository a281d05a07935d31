// DecodeError: why a byte string is refused as a trie, and its one display form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace prefix {

// The integer forms a varint's first byte can announce.
enum class IntegerType { U32, U64, U128, Reserved };

// The input ended inside an item; `additional` more bytes would have completed it.
struct UnexpectedEnd {
  std::size_t additional;

  friend bool operator==(const UnexpectedEnd&, const UnexpectedEnd&) = default;
};

// A varint's first byte announces a form too wide for the integer being read.
struct InvalidIntegerType {
  IntegerType expected;
  IntegerType found;

  friend bool operator==(const InvalidIntegerType&, const InvalidIntegerType&) = default;
};

// An inclusive range of allowed tag values.
struct TagRange {
  std::uint32_t min;
  std::uint32_t max;

  friend bool operator==(const TagRange&, const TagRange&) = default;
};

// A tag byte outside `allowed` while reading an optional of type `type_name`.
// `type_name` always points at one of the static names below.
struct UnexpectedVariant {
  std::string_view type_name;
  TagRange allowed;
  std::uint32_t found;

  friend bool operator==(const UnexpectedVariant&, const UnexpectedVariant&) = default;
};

// A code point whose UTF-8 bytes are invalid: the sequence as read, zero-padded
// to four bytes (a lead byte that starts no sequence is followed by three zeros).
struct InvalidCharEncoding {
  std::array<std::uint8_t, 4> bytes;

  friend bool operator==(const InvalidCharEncoding&, const InvalidCharEncoding&) = default;
};

using DecodeError =
    std::variant<UnexpectedEnd, InvalidIntegerType, UnexpectedVariant, InvalidCharEncoding>;

// Type names reported by UnexpectedVariant for the two optional entries of the
// byte form: a node's code point and a node's payload.
inline constexpr std::string_view OPTIONAL_CODE_POINT_NAME = "Option<char>";
inline constexpr std::string_view OPTIONAL_PAYLOAD_NAME = "Option<u32>";

// The display form of `error`: its kind name followed by its fields, e.g.
// `UnexpectedEnd { additional: 1 }` or `InvalidCharEncoding([192, 0, 0, 0])`.
[[nodiscard]] std::string to_string(const DecodeError& error);

}  // namespace prefix
