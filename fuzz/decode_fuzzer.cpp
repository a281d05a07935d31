// libFuzzer target for the trie decoder: arbitrary bytes decode or are refused,
// and whatever decodes survives a re-encoding unchanged. The flat decoder gives
// the same refusal or the same arrays, and loading the bytes keeps the form,
// and the byte form, of the decoded trie.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/serial.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  prefix::DecodeResult decoded = prefix::try_decode(input);
  prefix::FlatDecodeResult flat = prefix::try_decode_flat(input);
  if (const auto* error = std::get_if<prefix::DecodeError>(&decoded)) {
    const auto* flat_error = std::get_if<prefix::DecodeError>(&flat);
    check(flat_error != nullptr && *flat_error == *error);
    return 0;
  }
  prefix::Trie trie = std::get<prefix::Trie>(std::move(decoded));
  check(std::holds_alternative<prefix::FlatArrays>(flat) &&
        std::get<prefix::FlatArrays>(std::move(flat)).to_trie() == trie);
  const prefix::SearchTrie loaded = prefix::SearchTrie::from_bytes(input);
  // Complete trees are kept compact, or shared when they are pre-order trees
  // with ascending child ranges.
  check((loaded.is_compact() || loaded.shared_tree() != nullptr) ==
        prefix::SearchTrie(prefix::Trie(trie)).is_compact());
  const std::vector<std::uint8_t> bytes = prefix::encode_to_vec(trie);
  check(bytes.size() == prefix::encoded_size(trie));
  // Re-encoding uses the shortest forms and drops trailing bytes, so it never grows.
  check(bytes.size() <= size);
  const prefix::DecodeResult again = prefix::try_decode(bytes);
  const auto* round_trip = std::get_if<prefix::Trie>(&again);
  check(round_trip != nullptr && *round_trip == trie);
  check(prefix::encode_to_vec(*round_trip) == bytes);
  std::vector<std::uint8_t> loaded_bytes;
  loaded.encode_with([&loaded_bytes](std::size_t length) {
    loaded_bytes.resize(length);
    return loaded_bytes.data();
  });
  check(loaded_bytes == bytes);
  return 0;
}
