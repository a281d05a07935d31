// libFuzzer target for index images, the bytes a mapped file gives: arbitrary
// bytes are refused by the open check or give a trie whose queries (ranked,
// case-folded and spelling ones included), node queries and byte form answer
// or throw InternalFailure, and never read outside the image, crash or walk
// without end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/ranked_search.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/spell/spell_index.hpp"
#include "prefix/spell/speller.hpp"
#include "prefix/store/image_storage.hpp"
#include "prefix/store/index_image.hpp"

namespace {

template <class Query>
void tolerate(Query query) {
  try {
    query();
  } catch (const prefix::InternalFailure&) {
    // A damaged section may be noticed where it is read.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As a mapping would hold it: aligned storage of exactly the input's size.
  prefix::OwnedImage image;
  image.size = size;
  image.words.resize((size + 7) / 8);
  if (size > 0) std::memcpy(image.words.data(), data, size);
  const std::shared_ptr<const prefix::ImageStorage> storage =
      prefix::stored_in_memory(std::move(image));
  const prefix::ParsedImage parsed = prefix::parse_image(storage->bytes());
  const auto* parts = std::get_if<prefix::ImageParts>(&parsed);
  if (parts == nullptr) return 0;
  std::optional<prefix::SearchTrie> trie;
  tolerate([&] { trie = prefix::SearchTrie::from_image(*parts, storage); });
  if (!trie) return 0;
  const std::u32string queries[] = {U"", U"a", U"car", U"\u0105b\U0001F600", U"abcdefgh"};
  const prefix::ScoreOf no_scores;
  for (const std::u32string& query : queries) {
    for (const std::uint64_t max_dist : {0, 1, 3}) {
      tolerate([&] {
        for (const prefix::MatchRecord& record : trie->fuzzy_match(query, max_dist, 50)) {
          (void)trie->payload_of(record);
        }
      });
      for (const bool fold : {false, true}) {
        tolerate([&] {
          (void)prefix::suggest(*trie, {query, 5, max_dist, true, fold, no_scores});
        });
        tolerate([&] {
          (void)prefix::complete(*trie, {query, 5, max_dist, false, fold, no_scores});
        });
      }
    }
    tolerate([&] { (void)trie->exact_match(query); });
  }
  for (prefix::NodeId node = 0; node < 64; ++node) {
    tolerate([&] { (void)trie->get_children(node); });
    tolerate([&] { (void)trie->get_payload(node); });
  }
  // A shared tree may stand for a tree far larger than its image: its byte
  // form and the spelling indexes (a text per key) are made only for small
  // ones.
  const prefix::SharedTree* shared = trie->shared_tree();
  if (shared == nullptr || shared->node_count() <= 4096) {
    tolerate([&] {
      const prefix::SpellIndex index(*trie);
      for (const std::u32string& query : queries) {
        for (const bool fold : {false, true}) {
          (void)prefix::spell(*trie, index, {query, 5, std::nullopt, fold, {}});
          (void)prefix::spell(*trie, index, {query, 5, 2, fold, {}});
        }
      }
    });
    tolerate([&] {
      trie->encode_with([](std::size_t length) {
        static std::vector<std::uint8_t> out;
        out.resize(length);
        return out.data();
      });
    });
  }
  return 0;
}
