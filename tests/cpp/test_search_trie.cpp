// The form a trie is kept in: trees of sorted keys as shared trees, other
// complete trees in the compact form, answer every node query, search and
// encoding as their arrays do; other tries keep the arrays.
#include "prefix/search_trie.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "prefix/checked/matcher.hpp"
#include "prefix/failure.hpp"
#include "prefix/ranked_search.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/layout.hpp"
#include "prefix/store/payload_minima.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/shared_tree_builder.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/utf8.hpp"
#include "trie_fixtures.hpp"

namespace prefix {
namespace {

using testing::lay_out;
using testing::path_trie;

constexpr std::nullopt_t NONE = std::nullopt;
constexpr NodeId MAX_ID = std::numeric_limits<NodeId>::max();

// A value, or the failure message.
template <class T>
using Outcome = std::variant<T, std::string>;

template <class Query>
auto outcome(Query query) -> Outcome<decltype(query())> {
  try {
    return query();
  } catch (const InternalFailure& failure) {
    return std::string(failure.what());
  }
}

std::vector<std::uint8_t> encoded(const SearchTrie& trie) {
  std::vector<std::uint8_t> bytes;
  trie.encode_with([&bytes](std::size_t size) {
    bytes.resize(size);
    return bytes.data();
  });
  return bytes;
}

// Records as Python sees them: text, payload, distance (a record's node_id
// is a key number on a shared tree).
using Answer = std::tuple<std::string, std::optional<std::uint32_t>, std::uint64_t>;
template <class PayloadOf>
std::vector<Answer> answers(const std::vector<MatchRecord>& records, PayloadOf payload_of) {
  std::vector<Answer> out;
  for (const MatchRecord& record : records) {
    out.emplace_back(record.text, payload_of(record), record.distance);
  }
  return out;
}

// Node queries for every id up to two past the last and the largest id,
// searches for `queries` at a few distances, and the byte form: `kept`
// answers each as the arrays of `trie` do, failures included.
void expect_same_answers(const Trie& trie, const SearchTrie& kept,
                         const std::vector<std::u32string>& queries) {
  const auto node_count = static_cast<NodeId>(
      std::max({trie.node_shifts.size(), trie.node_chars.size(), trie.node_payloads.size()}));
  std::vector<NodeId> ids{MAX_ID};
  for (NodeId id = 0; id < node_count + 2; ++id) ids.push_back(id);
  const auto kept_answers = [&kept](const std::vector<MatchRecord>& records) {
    return answers(records, [&kept](const MatchRecord& record) { return kept.payload_of(record); });
  };
  const auto trie_answers = [&trie](const std::vector<MatchRecord>& records) {
    return answers(records,
                   [&trie](const MatchRecord& record) { return trie.get_payload(record.node_id); });
  };
  for (const NodeId id : ids) {
    EXPECT_EQ(outcome([&] { return kept.get_children(id); }),
              outcome([&] { return trie.get_children(id); }))
        << "node " << id;
    EXPECT_EQ(outcome([&] { return kept.get_payload(id); }),
              outcome([&] { return trie.get_payload(id); }))
        << "node " << id;
  }
  for (const std::u32string& query : queries) {
    for (const std::uint64_t max_dist :
         {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{40}}) {
      EXPECT_EQ(outcome([&] { return kept_answers(kept.fuzzy_match(query, max_dist, NONE)); }),
                outcome([&] { return trie_answers(fuzzy_match(trie, query, max_dist, NONE)); }));
    }
    EXPECT_EQ(outcome([&] { return kept_answers(kept.fuzzy_match(query, 1, 2)); }),
              outcome([&] { return trie_answers(fuzzy_match(trie, query, 1, 2)); }));
    const auto exact = [](const std::optional<MatchRecord>& record) {
      return record ? std::vector<MatchRecord>{*record} : std::vector<MatchRecord>{};
    };
    EXPECT_EQ(outcome([&] { return kept_answers(exact(kept.exact_match(query))); }),
              outcome([&] { return trie_answers(exact(exact_match(trie, query))); }));
  }
  EXPECT_EQ(encoded(kept), encode_to_vec(trie));
}

// A tree of `size` nodes with random parents and code points from
// `alphabet`, node ids shuffled; payloads on about half of the nodes, among
// them the largest value; the root with or without a code point.
Trie random_tree(std::mt19937& rng, std::size_t size, std::u32string_view alphabet, bool ascending,
                 bool shuffle_ids = true) {
  std::vector<std::vector<NodeId>> children(size);
  std::vector<std::optional<char32_t>> chars(size);
  std::vector<std::optional<std::uint32_t>> payloads(size);
  if (rng() % 2 == 0) chars[0] = alphabet[rng() % alphabet.size()];
  std::vector<NodeId> id(size);
  for (NodeId i = 0; i < size; ++i) id[i] = i;
  // Unshuffled, every child id is above its parent's.
  if (shuffle_ids) std::shuffle(id.begin() + 1, id.end(), rng);
  for (NodeId i = 1; i < size; ++i) {
    const NodeId parent = id[rng() % i];
    children[parent].push_back(id[i]);
    chars[id[i]] = alphabet[rng() % alphabet.size()];
  }
  for (auto& payload : payloads) {
    const std::uint32_t draw = rng() % 8;
    if (draw == 0) payload = std::numeric_limits<std::uint32_t>::max();
    if (draw > 4) payload = rng();
  }
  if (ascending) {
    // Distinct code points in each range, ascending, as laid out from sorted words.
    for (auto& list : children) {
      for (std::size_t k = 0; k < list.size(); ++k) {
        chars[list[k]] = alphabet[0] + static_cast<char32_t>(k);
      }
    }
  }
  return lay_out(children, chars, payloads);
}

std::vector<std::u32string> random_queries(std::mt19937& rng, std::u32string_view alphabet) {
  std::vector<std::u32string> queries{U""};
  for (int q = 0; q < 4; ++q) {
    std::u32string query;
    for (std::size_t i = rng() % 6; i > 0; --i) query.push_back(alphabet[rng() % alphabet.size()]);
    queries.push_back(query);
  }
  return queries;
}

TEST(SearchTrie, KeepsCompleteTreesCompactWithTheSameAnswersAndBytes) {
  // Code points that fit one, two and four bytes.
  const std::u32string alphabets[] = {U"ab\u00ff", U"ab\u00e9\u0100\uffff",
                                      U"ab\U0001F600\U0010FFFF"};
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const std::u32string& alphabet = alphabets[round % 3];
    const std::size_t size = round < 3 ? 1 : 1 + rng() % 60;
    const Trie trie = random_tree(rng, size, alphabet, round % 4 == 3);
    const SearchTrie kept{Trie(trie)};
    ASSERT_TRUE(kept.is_compact()) << "round " << round;
    expect_same_answers(trie, kept, random_queries(rng, alphabet));
    ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
  }
}

// Subtree heights past a byte are held as "that many or more": deep keys and
// queries longer than the held height must still be found.
TEST(SearchTrie, FindsKeysBelowSubtreesTooDeepForTheirHeightByte) {
  const std::u32string deep(300, U'a');
  const Trie trie = testing::words_trie({U"ab", deep.substr(0, 299) + U"b", deep});
  const SearchTrie kept{Trie(trie)};
  ASSERT_TRUE(kept.is_compact());
  expect_same_answers(trie, kept,
                      {deep, deep + U"a", deep.substr(0, 298) + U"c", deep.substr(0, 260)});
  EXPECT_EQ(kept.fuzzy_match(deep.substr(0, 298) + U"c", 2, NONE).size(), 2U);
}

TEST(SearchTrie, CompactFormGivesBackItsArraysAndHoldsAboutTwelveBytesANode) {
  std::mt19937 rng(5);
  const Trie trie = random_tree(rng, 20000, U"abcdefghijklmnopqrstuvwxyz", false);
  const TreeShape shape = check_tree(trie);
  ASSERT_TRUE(is_complete_tree(trie, shape));
  const CompactTree compact(Trie(trie), shape);
  EXPECT_EQ(compact.to_trie(), trie);
  // 4 + 4 + 1 + 1 bytes, half the nodes with a 4-byte payload, and 2.5 bits.
  EXPECT_LE(compact.memory_bytes(), 25 * trie.node_shifts.size() / 2);
  EXPECT_TRUE(std::holds_alternative<CodePointsOf<std::uint8_t>>(compact.child_code_points()));
}

struct Incomplete {
  const char* name;
  Trie trie;
};

// Tries that a query can walk, some of them trees, that are not complete:
// each keeps its arrays, with every answer and failure they give.
TEST(SearchTrie, KeepsTheArraysOfTriesThatAreNoCompleteTree) {
  // Root 0 with children 1 ('a', payload 7) and 2 ('b').
  const auto base = [] { return lay_out({{1, 2}, {}, {}}, {NONE, U'a', U'b'}, {NONE, 7, NONE}); };
  std::vector<Incomplete> cases;
  {
    Trie trie = base();  // node 3 is never reached
    trie.node_shifts.push_back(2);
    trie.node_chars.emplace_back(U'c');
    trie.node_payloads.emplace_back(1);
    cases.push_back({"unreachable node", std::move(trie)});
  }
  {
    Trie trie = base();  // an entry in node 2's range, past the node count
    trie.child_indices.push_back(1);
    cases.push_back({"extra child entry", std::move(trie)});
  }
  {
    Trie trie = base();
    trie.node_chars.emplace_back(U'z');
    cases.push_back({"node_chars longer", std::move(trie)});
  }
  {
    Trie trie = base();
    trie.node_payloads.pop_back();
    cases.push_back({"node_payloads shorter", std::move(trie)});
  }
  {
    Trie trie = base();
    trie.node_shifts.pop_back();
    cases.push_back({"node_shifts shorter", std::move(trie)});
  }
  // A lone root beside nodes 1 and 2 that list each other.
  cases.push_back({"detached cycle", Trie{{0, 0, 1}, {NONE, U'a', U'b'}, {NONE, 1, 2}, {2, 1}}});
  cases.push_back({"shared child", lay_out({{1, 1}, {}}, {NONE, U'a'}, {NONE, 3})});
  cases.push_back({"child without code point", lay_out({{1}, {}}, {NONE, NONE}, {NONE, 3})});
  cases.push_back({"empty", Trie{}});
  for (const Incomplete& c : cases) {
    SCOPED_TRACE(c.name);
    const SearchTrie kept{Trie(c.trie)};
    EXPECT_FALSE(kept.is_compact());
    expect_same_answers(c.trie, kept, {U"", U"a", U"b", U"c", U"ab"});
  }
}

// The form from_flat lays out against the one the constructor makes from the
// Trie and its shape, member for member.
void expect_same_compact(const CompactTree& made, const CompactTree& reference) {
  EXPECT_EQ(made.node_shifts(), reference.node_shifts());
  EXPECT_EQ(made.child_indices(), reference.child_indices());
  EXPECT_EQ(made.child_code_points(), reference.child_code_points());
  EXPECT_EQ(made.child_has_payload(), reference.child_has_payload());
  EXPECT_EQ(made.root_code_point(), reference.root_code_point());
  EXPECT_EQ(made.has_payload(), reference.has_payload());
  EXPECT_EQ(made.payload_values(), reference.payload_values());
  EXPECT_EQ(made.height(), reference.height());
  EXPECT_EQ(made.sorted_children(), reference.sorted_children());
  EXPECT_EQ(made.memory_bytes(), reference.memory_bytes());
}

FlatArrays flat(const Trie& trie) {
  return std::get<FlatArrays>(try_decode_flat(encode_to_vec(trie)));
}

// from_flat lays out exactly the complete trees it is for, as the
// constructor would, and leaves any other arrays as they were for the Trie.
void expect_from_flat_agrees(const Trie& trie, bool laid_out) {
  FlatArrays arrays = flat(trie);
  const std::optional<CompactTree> made = CompactTree::from_flat(arrays);
  ASSERT_EQ(made.has_value(), laid_out);
  if (made) {
    const TreeShape shape = check_tree(trie);
    ASSERT_TRUE(is_complete_tree(trie, shape));
    expect_same_compact(*made, CompactTree(Trie(trie), shape));
  } else {
    EXPECT_EQ(std::move(arrays).to_trie(), trie);
  }
}

TEST(SearchTrie, FromFlatLaysOutCompleteTreesWithAscendingIdsAsTheConstructorDoes) {
  const std::u32string alphabets[] = {U"ab\u00ff", U"ab\u00e9\u0100\uffff",
                                      U"ab\U0001F600\U0010FFFF"};
  std::mt19937 rng(23);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    const std::size_t size = round < 3 ? 1 : 1 + rng() % 60;
    const Trie trie = random_tree(rng, size, alphabets[round % 3], round % 4 == 3, false);
    expect_from_flat_agrees(trie, true);
  }
  // Complete trees that this pass leaves to check_tree: a child id below its
  // parent's, a tree deeper than a byte counts.
  expect_from_flat_agrees(lay_out({{2}, {}, {1}}, {NONE, U'a', U'b'}, {NONE, 1, NONE}), false);
  expect_from_flat_agrees(path_trie(255), true);
  expect_from_flat_agrees(path_trie(256), false);
  // No complete tree: ranges out of node order, a child listed twice, a child
  // id past the nodes or without a code point, a range past child_indices, a
  // node not reached.
  expect_from_flat_agrees(Trie{{1, 0, 2}, {NONE, U'a', U'b'}, {NONE, 1, 2}, {2, 1}}, false);
  expect_from_flat_agrees(lay_out({{1, 1}, {}}, {NONE, U'a'}, {NONE, 3}), false);
  expect_from_flat_agrees(lay_out({{2}, {}}, {NONE, U'a'}, {NONE, 3}), false);
  expect_from_flat_agrees(lay_out({{1}, {}}, {NONE, NONE}, {NONE, 3}), false);
  expect_from_flat_agrees(Trie{{0, 2}, {NONE, U'a'}, {NONE, 3}, {1}}, false);
  expect_from_flat_agrees(lay_out({{1}, {}, {}}, {NONE, U'a', U'b'}, {NONE, 3, 4}), false);
  expect_from_flat_agrees(Trie{}, false);
}

// Loading the byte form keeps the form the Trie would be kept in, with all
// its answers, for complete trees in every layout and for other tries; a
// refusal fails as decode_or_fail does.
TEST(SearchTrie, FromBytesKeepsTheFormAndAnswersOfTheDecodedTrie) {
  std::mt19937 rng(31);
  std::vector<Trie> tries;
  for (int round = 0; round < 120; ++round) {
    const std::size_t size = 1 + rng() % 40;
    tries.push_back(random_tree(rng, size, U"ab\u00e9", round % 2 == 0, round % 3 == 0));
  }
  tries.push_back(path_trie(300));
  tries.push_back(Trie{});
  tries.push_back(lay_out({{1, 1}, {}}, {NONE, U'a'}, {NONE, 3}));
  tries.push_back(lay_out({{2}, {}, {1}}, {NONE, U'a', U'b'}, {NONE, 1, NONE}));
  tries.push_back(lay_out({{1}, {}, {}}, {NONE, U'a', U'b'}, {NONE, 3, 4}));
  // A pre-order tree whose root has a code point and a payload, and a leaf
  // without one: shared, the root's extras kept beside the automaton.
  tries.push_back(lay_out({{1, 3}, {2}, {}, {}}, {U'r', U'a', U'b', U'c'}, {5, 3, NONE, 7}));
  for (const Trie& trie : tries) {
    const std::vector<std::uint8_t> bytes = encode_to_vec(trie);
    const SearchTrie loaded = SearchTrie::from_bytes(bytes);
    EXPECT_EQ(loaded.is_compact(), SearchTrie(Trie(trie)).is_compact());
    expect_same_answers(trie, loaded, random_queries(rng, U"ab\u00e9"));
    ASSERT_FALSE(::testing::Test::HasFailure()) << ::testing::PrintToString(bytes);
  }
  const std::vector<std::uint8_t> refused{0, 1, 1, 0xC0};
  EXPECT_EQ(outcome([&] { return SearchTrie::from_bytes(refused).is_compact(); }),
            (Outcome<bool>{"cannot decode trie bytes: InvalidCharEncoding([192, 0, 0, 0])"}));
}

// Words that share endings and beginnings, from one of three code point
// widths (`wide`: 0 one byte, 1 two, 2 beyond the BMP), some repeated, with
// capitals in the first two.
std::vector<std::u32string> shared_words(std::mt19937& rng, int wide, std::size_t count) {
  const std::u32string alphabet = wide == 0   ? U"aBc"
                                  : wide == 1 ? U"a\u0105\u0416"
                                              : U"a\U0001F600\u4E2D";
  const std::vector<std::u32string> endings = {U"", alphabet.substr(0, 1), alphabet + alphabet,
                                               alphabet.substr(1) + alphabet.substr(0, 1)};
  std::vector<std::u32string> words;
  for (std::size_t i = 0; i < count; ++i) {
    std::u32string word;
    for (std::size_t n = 1 + rng() % 4; n-- > 0;) word += alphabet[rng() % alphabet.size()];
    word += endings[rng() % endings.size()];
    words.push_back(word);
    if (rng() % 8 == 0) words.push_back(word);
  }
  return words;
}

// The shared tree built from words answers every node query, search and
// ranked query (case folded or not), and gives the byte form, as the arrays
// lay_out makes of the same words; also when read back from its image or its
// byte form.
TEST(SearchTrie, SharedTreeOfWordsAnswersAsTheirLaidOutArrays) {
  std::mt19937 rng(21);
  for (int round = 0; round < 60; ++round) {
    const std::vector<std::u32string> words = shared_words(rng, round % 3, 1 + rng() % 30);
    WordList list;
    // Payloads equal to the key numbers when the words come sorted, else not;
    // random ones, or few and repeated.
    std::vector<std::u32string> given = words;
    if (round % 4 == 0) std::sort(given.begin(), given.end());
    for (std::size_t i = 0; i < given.size(); ++i) {
      const std::uint32_t payload = round % 5 == 1   ? static_cast<std::uint32_t>(rng())
                                    : round % 5 == 2 ? static_cast<std::uint32_t>(i % 3)
                                                     : static_cast<std::uint32_t>(i);
      list.add(encode_utf8(given[i]), payload);
    }
    const std::vector<std::uint32_t> order = sorted_order(list);
    const Trie trie = lay_out(list, order).to_trie();
    const SearchTrie shared = SearchTrie::from_words(list, order);
    ASSERT_NE(shared.shared_tree(), nullptr);
    const std::vector<std::u32string> queries = random_queries(rng, words.front());
    expect_same_answers(trie, shared, queries);
    // Read back compact, and shared again when saved.
    const SearchTrie again = SearchTrie::from_bytes(encode_to_vec(trie));
    ASSERT_TRUE(again.is_compact());
    EXPECT_EQ(encoded(again), encode_to_vec(trie));
    for (const SearchTrie* saved : {&shared, &again}) {
      const OwnedImage image = saved->image();
      const ImageParts parts = std::get<ImageParts>(parse_image(image.bytes()));
      const SearchTrie mapped = SearchTrie::from_image(parts, stored_in_memory(saved->image()));
      ASSERT_NE(mapped.shared_tree(), nullptr);
      expect_same_answers(trie, mapped, queries);
    }
    const SearchTrie arrays(Trie{trie});
    EXPECT_EQ(shared.largest_payload(), arrays.largest_payload());
    const ScoreOf no_scores;
    for (const std::u32string& query : queries) {
      for (const bool swaps : {false, true}) {
        for (const bool fold : {false, true}) {
          for (const std::uint64_t n : {1, 3}) {
            const RankedQuery ranked{query, n, 2, swaps, fold, no_scores};
            EXPECT_EQ(suggest(shared, ranked), suggest(arrays, ranked));
            EXPECT_EQ(complete(shared, ranked), complete(arrays, ranked));
          }
        }
      }
    }
    ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
  }
}

// Equal endings are stored once: a thousand words with ten endings keep
// far fewer transitions than the tree has nodes.
TEST(SearchTrie, SharedTreeStoresEqualSubtreesOnce) {
  WordList list;
  for (int i = 0; i < 1000; ++i) {
    list.add(std::to_string(i) + "-ending" + std::to_string(i % 10), static_cast<std::uint32_t>(i));
  }
  const SearchTrie shared = SearchTrie::from_words(list, sorted_order(list));
  EXPECT_LT(shared.shared_tree()->transition_count() * 4, shared.shared_tree()->node_count());
}

// The least payload of any range of key numbers, against a scan: payloads
// in rising runs (a word list in another order), reaching the largest, or
// random; ranges within a block of the minima and across many.
TEST(PayloadMinima, GivesTheLeastPayloadOfEveryRange) {
  std::mt19937 rng(26);
  for (int round = 0; round < 4; ++round) {
    std::vector<std::uint32_t> payloads(1 + rng() % 3000);
    std::uint32_t next = 0;
    for (std::uint32_t& payload : payloads) {
      if (round == 3 || rng() % 8 == 0) next = round == 2 ? 0xFFFF'FFF0 + rng() % 16 : rng() % 5000;
      payload = next++;
    }
    const auto count = static_cast<std::uint32_t>(payloads.size());
    const PayloadMinima minima(count, [&](std::uint32_t key) { return payloads[key]; });
    for (int i = 0; i < 2000; ++i) {
      const auto first = static_cast<std::uint32_t>(rng() % (count + 1));
      const auto end = static_cast<std::uint32_t>(first + rng() % (i % 2 == 0 ? 40 : count + 1));
      const auto scan = [&] {
        const std::uint32_t stop = std::min(end, count);
        if (first >= stop) return PayloadMinima::NONE;
        return std::uint64_t{*std::min_element(payloads.begin() + first, payloads.begin() + stop)};
      };
      ASSERT_EQ(minima.min_over(first, end), scan()) << round << ": " << first << ".." << end;
    }
  }
}

}  // namespace
}  // namespace prefix
