// The byte form of a Trie: its four arrays as counts and entries with varints,
// nothing before, between or after them; encoding, and decoding with typed errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "prefix/store/compact_tree.hpp"
#include "prefix/store/decode_error.hpp"
#include "prefix/store/shared_tree.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

// Exact number of bytes in the byte form of `trie`. One pass over the
// four arrays, nothing allocated.
[[nodiscard]] std::size_t encoded_size(const Trie& trie) noexcept;
// The same for the Trie `tree` was made from, without laying it out.
[[nodiscard]] std::size_t encoded_size(const CompactTree& tree);
// The same for arrays.to_trie(), without converting.
[[nodiscard]] std::size_t encoded_size(const FlatArrays& arrays) noexcept;
// The same for the tree `tree` stands for: a pass over its nodes.
[[nodiscard]] std::size_t encoded_size(const SharedTree& tree);

namespace detail {
// Writes the byte form of `trie` into `out`, which holds exactly
// encoded_size(trie) bytes. Reached only through encode_with, which sizes `out`.
void write_encoded(const Trie& trie, std::span<std::uint8_t> out);
// The byte form of the Trie `tree` was made from. Holds a code point per
// node while writing, to put node_chars back in node order.
void write_encoded(const CompactTree& tree, std::span<std::uint8_t> out);
// The byte form of arrays.to_trie().
void write_encoded(const FlatArrays& arrays, std::span<std::uint8_t> out);
// The byte form of the tree `tree` stands for: a pass over its nodes,
// writing the four arrays at once, each into its own part of `out`.
void write_encoded(const SharedTree& tree, std::span<std::uint8_t> out);
}  // namespace detail

// Writes the byte form of `trie` (node_shifts, node_chars, node_payloads and
// child_indices in that order, each as a varint count followed by its entries)
// into a buffer obtained from `allocate(size)`, which must return a pointer to
// `size` writable bytes or throw; it is called once, with the exact size. This
// lets a caller encode straight into a buffer it owns (a Python bytes object)
// without an intermediate copy. Costs a sizing pass and a writing pass. Never
// fails for any combination of array lengths. Requires every present code point
// to be a Unicode scalar value (a surrogate or a value above U+10FFFF would be
// written as bytes that decoding refuses).
//
// A CompactTree, FlatArrays or SharedTree is written as the Trie it stands
// for, byte for byte (a damaged SharedTree throws InternalFailure).
template <class Arrays, class Allocate>
void encode_with(const Arrays& trie, Allocate allocate) {
  const std::size_t size = encoded_size(trie);
  std::uint8_t* const out = allocate(size);
  detail::write_encoded(trie, std::span<std::uint8_t>(out, size));
}

// The byte form of `trie` as encode_with writes it, in a vector allocated once
// at its exact size and never grown.
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

// try_decode's outcome in the flat form: the same refusal, or arrays whose
// to_trie() is the Trie try_decode gives. Reads the common forms (one-byte
// values, ASCII code points, absent entries) in place, straight into arrays of
// the declared sizes, and holds half the memory of a Trie.
using FlatDecodeResult = std::variant<FlatArrays, DecodeError>;
[[nodiscard]] FlatDecodeResult try_decode_flat(std::span<const std::uint8_t> bytes);

// As try_decode_flat, but a refusal throws decode_or_fail's InternalFailure.
[[nodiscard]] FlatArrays decode_flat_or_fail(std::span<const std::uint8_t> bytes);

}  // namespace prefix
