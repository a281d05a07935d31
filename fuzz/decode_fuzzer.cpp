// libFuzzer target for the trie decoder: arbitrary bytes decode or are refused,
// and whatever decodes survives a re-encoding unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/serial.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  prefix::Trie trie;
  try {
    trie = prefix::decode_or_fail(input);
  } catch (const prefix::InternalFailure&) {
    // A refusal is the one failure allowed; anything else escapes and aborts.
    return 0;
  }
  const std::vector<std::uint8_t> bytes = prefix::encode_to_vec(trie);
  check(bytes.size() == prefix::encoded_size(trie));
  // Re-encoding uses the shortest forms and drops trailing bytes, so it never grows.
  check(bytes.size() <= size);
  const prefix::DecodeResult again = prefix::try_decode(bytes);
  const auto* round_trip = std::get_if<prefix::Trie>(&again);
  check(round_trip != nullptr && *round_trip == trie);
  check(prefix::encode_to_vec(*round_trip) == bytes);
  return 0;
}
