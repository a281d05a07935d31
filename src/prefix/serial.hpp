// The byte form of a Trie: its four arrays as counts and entries with varints,
// nothing before, between or after them; encoding, and decoding with typed errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "prefix/decode_error.hpp"
#include "prefix/trie.hpp"

namespace prefix {

// Exact number of bytes that encode_to_vec writes for `trie`. One pass over the
// four arrays, nothing allocated.
[[nodiscard]] std::size_t encoded_size(const Trie& trie) noexcept;

// The byte form of `trie`: node_shifts, node_chars, node_payloads and
// child_indices in that order, each as a varint count followed by its entries.
// Costs a sizing pass and a writing pass; the result is allocated once at its
// exact size. Never fails for any combination of array lengths. Requires every
// present code point to be a Unicode scalar value (a surrogate or a value above
// U+10FFFF would be written as bytes that decoding refuses).
[[nodiscard]] std::vector<std::uint8_t> encode_to_vec(const Trie& trie);

// A decoded trie, or the first reason the bytes were refused.
using DecodeResult = std::variant<Trie, DecodeError>;

// Reads a trie from the start of `bytes`; bytes after the fourth array are
// ignored. Longer-than-needed varint forms are accepted. The arrays are not
// checked against each other: an inconsistent trie decodes like any other.
// Costs one pass over the bytes read. Memory reserved for an array never
// exceeds one entry per remaining input byte, so a huge declared count on a
// short input ends in UnexpectedEnd without a large allocation.
[[nodiscard]] DecodeResult try_decode(std::span<const std::uint8_t> bytes);

// As try_decode, but a refusal throws InternalFailure whose message holds the
// DecodeError's display form.
[[nodiscard]] Trie decode_or_fail(std::span<const std::uint8_t> bytes);

}  // namespace prefix
