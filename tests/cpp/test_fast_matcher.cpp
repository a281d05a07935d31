// The shape check and the unchecked walk on trees: check_tree against crafted
// arrays, and the walk against the checked Matcher walk on random tries.
#include "prefix/walk/tree_match.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "prefix/checked/matcher.hpp"
#include "prefix/distance/choice.hpp"
#include "prefix/distance/plain_row.hpp"
#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/tree_view.hpp"
#include "prefix/walk/tree_walk.hpp"
#include "trie_fixtures.hpp"

namespace prefix {
namespace {

using testing::lay_out;
using testing::words_trie;

constexpr std::uint64_t MAX_U64 = std::numeric_limits<std::uint64_t>::max();
constexpr std::nullopt_t NONE = std::nullopt;
constexpr std::uint32_t PAID = TreeShape::HAS_PAYLOAD;

struct ShapeCase {
  const char* name;
  Trie trie;
  TreeShape expected;
};

class CheckTree : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(CheckTree, RecordsWhetherTheReachablePartIsATree) {
  EXPECT_EQ(check_tree(GetParam().trie), GetParam().expected);
}

// Node 0 -> 1 'a' -> 2 'b', node 0 -> 3 'c'; `tweak` breaks one thing.
template <class Tweak>
Trie small(Tweak tweak) {
  Trie trie = lay_out({{1, 3}, {2}, {}, {}}, {NONE, U'a', U'b', U'c'}, {{}, 1, 2, 3});
  tweak(trie);
  return trie;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckTree,
    ::testing::Values(
        ShapeCase{"tree",
                  small([](Trie& /*arrays*/) {}),
                  {true, 2, {U'a' | PAID, U'c' | PAID, U'b' | PAID}, true, 4}},
        ShapeCase{"siblings_out_of_order",
                  small([](Trie& arrays) {
                    std::swap(arrays.child_indices[0], arrays.child_indices[1]);
                  }),
                  {true, 2, {U'c' | PAID, U'a' | PAID, U'b' | PAID}, false, 4}},
        ShapeCase{"siblings_repeating_a_code_point",
                  small([](Trie& arrays) { arrays.node_chars[3] = U'a'; }),
                  {true, 2, {U'a' | PAID, U'a' | PAID, U'b' | PAID}, false, 4}},
        ShapeCase{"lone_root", lay_out({{}}, {NONE}, {{}}), {true, 0, {}, true, 1}},
        // 0 -> 3 'a' -> 1 'b' -> 2 'c': ids are not in pre-order.
        ShapeCase{"child_id_below_its_parent",
                  lay_out({{3}, {2}, {}, {1}}, {NONE, U'b', U'c', U'a'}, {{}, {}, 1, {}}),
                  {true, 3, {U'a', U'c' | PAID, U'b'}, true, 4}},
        ShapeCase{"unreachable_nodes_may_be_anything",
                  small([](Trie& arrays) {
                    // Node 4 lists a child id that names no node and has no code point.
                    arrays.node_shifts.push_back(0);  // node 3's range becomes 3..0: empty
                    arrays.node_chars.push_back(NONE);
                    arrays.node_payloads.push_back(NONE);
                    arrays.child_indices.push_back(99);
                  }),
                  {true, 2, {U'a' | PAID, U'c' | PAID, U'b' | PAID, 0}, true, 4}},
        ShapeCase{"no_nodes", Trie{}, {}},
        ShapeCase{"root_without_payload_entry", lay_out({{}}, {NONE}, {}), {}},
        ShapeCase{"self_loop", small([](Trie& arrays) { arrays.child_indices[2] = 1; }), {}},
        ShapeCase{"shared_child", small([](Trie& arrays) { arrays.child_indices[1] = 2; }), {}},
        ShapeCase{"root_as_child", small([](Trie& arrays) { arrays.child_indices[2] = 0; }), {}},
        ShapeCase{"child_beyond_node_chars",
                  small([](Trie& arrays) { arrays.node_chars.pop_back(); }),
                  {}},
        ShapeCase{"child_beyond_payloads",
                  small([](Trie& arrays) { arrays.node_payloads.pop_back(); }),
                  {}},
        ShapeCase{"child_beyond_node_shifts",
                  small([](Trie& arrays) { arrays.node_shifts.pop_back(); }),
                  {}},
        ShapeCase{"code_point_above_31_bits",
                  small([](Trie& arrays) { arrays.node_chars[2] = char32_t{PAID}; }),
                  {}},
        ShapeCase{"child_without_code_point",
                  small([](Trie& arrays) { arrays.node_chars[2] = NONE; }),
                  {}},
        ShapeCase{"range_past_child_indices",
                  small([](Trie& arrays) { arrays.child_indices.pop_back(); }),
                  {}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

// A random tree of up to `size` nodes over a four-letter alphabet, ids
// shuffled, payloads on about half of the nodes. Siblings may repeat a code
// point, unless `ascending`: then each child range lists distinct code points
// in ascending order, as a trie laid out from sorted words does, from a
// nine-letter alphabet, so that ranges are long enough to be searched.
// More code points than a child range needs for the walk to look children up.
constexpr std::u32string_view ASCENDING_ALPHABET = U"abcdefghijklmnop\u00e9\U0001F600";
static_assert(ASCENDING_ALPHABET.size() > prefix::walk::LOOKUP_FROM);

Trie random_tree(std::mt19937& rng, std::size_t size, bool ascending = false) {
  const std::u32string_view alphabet = ascending ? ASCENDING_ALPHABET : U"ab\u00e9\U0001F600";
  const std::size_t most_children = ascending ? alphabet.size() : 4;
  std::vector<std::vector<NodeId>> children(1);
  std::vector<std::optional<char32_t>> chars{NONE};
  std::vector<std::optional<std::uint32_t>> payloads{NONE};
  while (chars.size() < size) {
    // Ascending trees favour early nodes as parents, so that many have
    // enough children for the walk to look some up.
    const std::size_t parents = ascending ? 1 + children.size() / 8 : children.size();
    const auto parent = static_cast<NodeId>(rng() % parents);
    if (children[parent].size() >= most_children) continue;
    const char32_t code_point = alphabet[rng() % alphabet.size()];
    if (ascending && std::ranges::any_of(children[parent], [&](NodeId sibling) {
          return chars[sibling] == code_point;
        })) {
      continue;
    }
    children[parent].push_back(static_cast<NodeId>(chars.size()));
    children.emplace_back();
    chars.emplace_back(code_point);
    payloads.push_back(rng() % 2 == 0 ? std::optional<std::uint32_t>(rng() % 100) : NONE);
  }
  // Renumber every node but the root.
  std::vector<NodeId> id(chars.size());
  for (NodeId i = 0; i < id.size(); ++i) id[i] = i;
  std::shuffle(id.begin() + 1, id.end(), rng);
  std::vector<std::vector<NodeId>> new_children(id.size());
  std::vector<std::optional<char32_t>> new_chars(id.size());
  std::vector<std::optional<std::uint32_t>> new_payloads(id.size());
  if (ascending) {
    for (auto& list : children) {
      std::ranges::sort(list, [&](NodeId a, NodeId b) { return chars[a] < chars[b]; });
    }
  }
  for (NodeId i = 0; i < id.size(); ++i) {
    for (const NodeId child : children[i]) new_children[id[i]].push_back(id[child]);
    new_chars[id[i]] = chars[i];
    new_payloads[id[i]] = payloads[i];
  }
  return lay_out(new_children, new_chars, new_payloads);
}

std::u32string random_query(std::mt19937& rng) {
  const std::u32string alphabet = U"abc\u00e9\U0001F600";
  // Mostly short; some longer than a machine word, some over 5,500 code
  // points, where the walk stops keeping a table of matches by depth and
  // code point and compares code points one by one.
  const std::size_t kind = rng() % 16;
  const std::size_t length = kind == 0 ? 5500 + rng() % 20 : kind < 3 ? 65 + rng() % 10 : rng() % 7;
  std::u32string query;
  for (std::size_t i = 0; i < length; ++i) query.push_back(alphabet[rng() % alphabet.size()]);
  return query;
}

// Every kind of row the walk picks (row sets for 0 to 3 and up to 31, cells
// of each width beyond), and the bounds between them.
constexpr std::uint64_t MAX_DISTS[] = {
    0,   1,     2,     3,          5,          31,         32,          253,
    254, 65533, 65534, 4294967293, 4294967294, 1ULL << 63, MAX_U64 - 1, MAX_U64};

TEST(TreeWalk, AgreesWithTheCheckedWalkOnRandomTrees) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    // Half of them ascending, where closed-off rows look children up instead of scanning.
    const bool ascending = round % 2 == 0;
    const Trie trie = random_tree(rng, 1 + rng() % 40, ascending);
    const TreeShape shape = check_tree(trie);
    ASSERT_TRUE(shape.is_tree);
    if (ascending) {
      ASSERT_TRUE(shape.sorted_children);
    }
    const CompactTree compact(Trie(trie), shape);
    for (int q = 0; q < 8; ++q) {
      const std::u32string query = random_query(rng);
      const std::uint64_t max_dist =
          rng() % 2 == 0 ? rng() % 5 : MAX_DISTS[rng() % std::size(MAX_DISTS)];
      const std::optional<std::uint64_t> limit =
          rng() % 3 == 0 ? std::optional<std::uint64_t>(rng() % 6) : std::nullopt;
      const auto expected = fuzzy_match(trie, query, max_dist, limit);
      EXPECT_EQ(fuzzy_match_tree(trie, shape, query, max_dist, limit), expected)
          << "round " << round << " max_dist " << max_dist;
      EXPECT_EQ(fuzzy_match_tree(compact, query, max_dist, limit), expected)
          << "round " << round << " max_dist " << max_dist;
      EXPECT_EQ(exact_match_tree(trie, shape, query), exact_match(trie, query))
          << "round " << round;
      EXPECT_EQ(exact_match_tree(compact, query), exact_match(trie, query)) << "round " << round;
    }
  }
}

// Where every reachable cell is at max_dist, children are looked up rather
// than scanned; the order of the ones found must still be the scan's.
TEST(TreeWalk, AgreesWithTheCheckedWalkWhereItLooksChildrenUp) {
  std::mt19937 rng(99);
  const std::u32string_view alphabet = ASCENDING_ALPHABET;
  for (int round = 0; round < 3000; ++round) {
    const Trie trie = random_tree(rng, 10 + rng() % 120, true);
    const TreeShape shape = check_tree(trie);
    std::u32string query;
    for (std::size_t i = 2 + rng() % 5; i > 0; --i) {
      query.push_back(alphabet[rng() % alphabet.size()]);
    }
    const std::uint64_t max_dist = 1 + rng() % 3;
    const auto expected = fuzzy_match(trie, query, max_dist, std::nullopt);
    EXPECT_EQ(fuzzy_match_tree(trie, shape, query, max_dist, std::nullopt), expected)
        << "round " << round;
    EXPECT_EQ(fuzzy_match_tree(CompactTree(Trie(trie), shape), query, max_dist, std::nullopt),
              expected)
        << "round " << round;
  }
}

// Narrows its radius once it holds its first record, as a nearest-first sink
// does once it holds enough.
class NarrowingSink {
 public:
  NarrowingSink(std::uint64_t max_dist, std::uint64_t narrowed)
      : max_dist_(max_dist), narrowed_(narrowed) {}
  [[nodiscard]] std::uint64_t radius() const { return records.empty() ? max_dist_ : narrowed_; }
  [[nodiscard]] static bool is_done() { return false; }
  void accept(NodeId node, std::u32string_view text, std::uint64_t distance) {
    records.push_back(MatchRecord{encode_utf8(text), node, distance});
  }
  std::vector<MatchRecord> records;

 private:
  std::uint64_t max_dist_;
  std::uint64_t narrowed_;
};

// After the first record, a walk whose sink narrows its radius must offer
// exactly the later records of the full walk that lie within the new radius:
// what it skips holds nothing within it. With the row kind the walk picks,
// and with plain rows.
TEST(TreeWalk, OffersWhatANarrowedRadiusStillWants) {
  std::mt19937 rng(16);
  for (int round = 0; round < 300; ++round) {
    const Trie trie = random_tree(rng, 1 + rng() % 60, round % 2 == 0);
    const TreeShape shape = check_tree(trie);
    const std::u32string query = random_query(rng);
    const std::uint64_t max_dist = rng() % 4 == 0 ? 32 + rng() % 10 : rng() % 7;
    const std::uint64_t narrowed = rng() % (max_dist + 1);
    std::vector<MatchRecord> expected = fuzzy_match(trie, query, max_dist, std::nullopt);
    if (!expected.empty()) {
      expected.erase(
          std::remove_if(expected.begin() + 1, expected.end(),
                         [&](const MatchRecord& record) { return record.distance > narrowed; }),
          expected.end());
    }
    NarrowingSink picked(max_dist, narrowed);
    distance::with_rows(query, max_dist, [&](auto rows) {
      walk::walk_tree(walk::ShapeView(trie, shape), std::move(rows), query, max_dist, picked);
    });
    EXPECT_EQ(picked.records, expected) << "round " << round << " max_dist " << max_dist;
    NarrowingSink plain(max_dist, narrowed);
    walk::walk_tree(walk::ShapeView(trie, shape), distance::PlainRows(query, max_dist), query,
                    max_dist, plain);
    EXPECT_EQ(plain.records, expected) << "round " << round << " max_dist " << max_dist;
  }
}

// Records, or the failure message.
using Outcome = std::variant<std::vector<MatchRecord>, std::string>;

template <class Query>
Outcome outcome(Query query) {
  try {
    return query();
  } catch (const InternalFailure& failure) {
    return std::string(failure.what());
  }
}

TEST(TreeWalk, LeavesEveryFailureOfInconsistentArraysToTheCheckedWalk) {
  std::mt19937 rng(7);
  int trees = 0;
  for (int round = 0; round < 3000; ++round) {
    // Arbitrary small arrays: lengths, ranges and ids all random.
    const auto pick = [&rng](std::size_t bound) {
      return static_cast<std::uint32_t>(rng() % bound);
    };
    Trie trie;
    for (std::size_t i = pick(6); i > 0; --i) trie.node_shifts.push_back(pick(7));
    std::sort(trie.node_shifts.begin(), trie.node_shifts.end());
    if (pick(4) == 0 && !trie.node_shifts.empty())
      std::swap(trie.node_shifts.front(), trie.node_shifts.back());
    for (std::size_t i = pick(7); i > 0; --i)
      trie.node_chars.push_back(pick(5) == 0 ? NONE : std::optional<char32_t>(U"ab"[pick(2)]));
    for (std::size_t i = pick(7); i > 0; --i) trie.node_payloads.emplace_back(pick(3));
    for (std::size_t i = pick(7); i > 0; --i) trie.child_indices.push_back(pick(7));
    const TreeShape shape = check_tree(trie);
    trees += shape.is_tree ? 1 : 0;
    const std::u32string query = random_query(rng);
    const std::uint64_t max_dist = rng() % 2 == 0 ? rng() % 3 : MAX_U64;
    const Outcome expected =
        outcome([&] { return fuzzy_match(trie, query, max_dist, std::nullopt); });
    EXPECT_EQ(outcome([&] { return fuzzy_match(trie, shape, query, max_dist, std::nullopt); }),
              expected)
        << "round " << round;
    const SearchTrie kept{Trie(trie)};
    EXPECT_EQ(outcome([&] { return kept.fuzzy_match(query, max_dist, std::nullopt); }), expected)
        << "round " << round;
    const auto as_list = [](std::optional<MatchRecord> record) {
      return record ? std::vector<MatchRecord>{*record} : std::vector<MatchRecord>{};
    };
    EXPECT_EQ(outcome([&] { return as_list(exact_match(trie, shape, query)); }),
              outcome([&] { return as_list(exact_match(trie, query)); }))
        << "round " << round;
    EXPECT_EQ(outcome([&] { return as_list(kept.exact_match(query)); }),
              outcome([&] { return as_list(exact_match(trie, query)); }))
        << "round " << round;
  }
  EXPECT_GT(trees, 100);  // the fast path was taken often enough to matter
}

// Words of about 300 code points drawn from 260 (a third of them past 255)
// and queries a few edits away: too many depths times code points for a
// table of matches, so the walk compares code points one by one, and the
// trees' code points need two bytes.
TEST(TreeWalk, AgreesWithTheCheckedWalkOnLongQueriesOverManyCodePoints) {
  std::mt19937 rng(99);
  const auto letter = [&rng] { return static_cast<char32_t>(U'\u0060' + rng() % 260); };
  const auto edit = [&](std::u32string word, std::size_t edits) {
    for (std::size_t e = 0; e < edits; ++e) {
      const std::size_t at = rng() % word.size();
      switch (rng() % 3) {
        case 0:
          word.insert(word.begin() + static_cast<std::ptrdiff_t>(at), letter());
          break;
        case 1:
          word.erase(word.begin() + static_cast<std::ptrdiff_t>(at));
          break;
        default:
          word[at] = letter();
      }
    }
    return word;
  };
  std::size_t records = 0;
  for (int round = 0; round < 4; ++round) {
    std::u32string base;
    for (std::size_t i = 0; i < 290 + rng() % 20; ++i) base.push_back(letter());
    std::vector<std::u32string> words{base};
    while (words.size() < 8) words.push_back(edit(words[rng() % words.size()], 1 + rng() % 3));
    const Trie trie = words_trie(words);
    const TreeShape shape = check_tree(trie);
    ASSERT_TRUE(shape.is_tree);
    const CompactTree compact(Trie(trie), shape);
    for (int q = 0; q < 5; ++q) {
      const std::u32string query = edit(words[rng() % words.size()], rng() % 4);
      for (const std::uint64_t max_dist : {0, 1, 2, 3, 5, 32}) {
        const auto expected = fuzzy_match(trie, query, max_dist, std::nullopt);
        records += expected.size();
        EXPECT_EQ(fuzzy_match_tree(trie, shape, query, max_dist, std::nullopt), expected)
            << "round " << round << " max_dist " << max_dist;
        EXPECT_EQ(fuzzy_match_tree(compact, query, max_dist, std::nullopt), expected)
            << "round " << round << " max_dist " << max_dist;
      }
    }
  }
  EXPECT_GT(records, 100U);  // most queries find their word and some neighbours
}

TEST(TreeWalk, WalksADeepChainAndALongQueryInLinearMemory) {
  const Trie chain = testing::path_trie(1'000'000);
  const TreeShape shape = check_tree(chain);
  ASSERT_TRUE(shape.is_tree);
  ASSERT_EQ(shape.height, 1'000'000U);
  const std::string word(1'000'000, 'a');
  const std::u32string query(1'000'000, U'a');
  EXPECT_EQ(fuzzy_match_tree(chain, shape, U"", MAX_U64, std::nullopt),
            (std::vector<MatchRecord>{{word, 1'000'000, 1'000'000}}));
  EXPECT_EQ(fuzzy_match_tree(chain, shape, query, 1, std::nullopt),
            (std::vector<MatchRecord>{{word, 1'000'000, 0}}));
  EXPECT_EQ(exact_match_tree(chain, shape, query), (MatchRecord{word, 1'000'000, 0}));
  // A query of a million code points against a trie of depth 3.
  const Trie car = lay_out({{1}, {2}, {3}, {}}, {NONE, U'c', U'a', U'r'}, {{}, {}, {}, 7});
  EXPECT_EQ(fuzzy_match_tree(car, check_tree(car), query, 0, std::nullopt),
            std::vector<MatchRecord>{});
  EXPECT_EQ(fuzzy_match_tree(car, check_tree(car), query, MAX_U64, std::nullopt),
            (std::vector<MatchRecord>{{"car", 3, 999'999}}));
}

}  // namespace
}  // namespace prefix
