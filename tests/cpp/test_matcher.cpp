// Tests of the fuzzy matcher: rows, pruning, limit, child order, and the
// failure on a child relation that is not a tree.
#include "prefix/checked/matcher.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/utf8.hpp"
#include "trie_fixtures.hpp"

namespace prefix {
namespace {

using testing::lay_out;
using Found = std::tuple<std::string, std::optional<std::uint32_t>, std::uint64_t>;

constexpr std::uint64_t MAX_U64 = std::numeric_limits<std::uint64_t>::max();

// 'car' (7), 'cart' (8), 'cat' (9).
Trie car_trie() {
  return lay_out({{1}, {2}, {3, 5}, {4}, {}, {}}, {std::nullopt, U'c', U'a', U'r', U't', U't'},
                 {std::nullopt, std::nullopt, std::nullopt, 7, 8, 9});
}

std::vector<Found> fuzzy(const Trie& trie, std::u32string_view query, std::uint64_t max_dist,
                         std::optional<std::uint64_t> limit = std::nullopt) {
  std::vector<Found> found;
  for (const MatchRecord& record : fuzzy_match(trie, query, max_dist, limit)) {
    found.emplace_back(record.text, trie.get_payload(record.node_id), record.distance);
  }
  return found;
}

// Drives a Matcher and notes each visited node's text and row.
struct RowSpy {
  Matcher matcher;
  std::vector<std::string> rows;

  [[nodiscard]] State initial_state() const { return matcher.initial_state(); }
  void visit_node(NodeId node_id, std::optional<std::uint32_t> payload, State& state) {
    matcher.visit_node(node_id, payload, state);
    std::string line = encode_utf8(state.get<SharedText>("CUR_PREFIX")->to_u32string()) + ":";
    for (const std::uint64_t cell : **state.get<SharedRow>("CUR_ROW")) {
      line += " " + std::to_string(cell);
    }
    rows.push_back(line);
  }
  std::vector<PendingEntry> get_children_to_visit(NodeId node_id, const State& state,
                                                  std::vector<Child> children) {
    return matcher.get_children_to_visit(node_id, state, std::move(children));
  }
};

TEST(Matcher, CarriesOneRowPerVisitedNode) {
  const Trie trie = car_trie();
  RowSpy spy{Matcher(U"car", 1, std::nullopt, trie.node_payloads.size()), {}};
  trie.dfs(spy);
  EXPECT_EQ(spy.rows, (std::vector<std::string>{": 0 1 2 3", "c: 1 0 1 2", "ca: 2 1 0 1",
                                                "car: 3 2 1 0", "cart: 4 3 2 1", "cat: 3 2 1 1"}));
  EXPECT_EQ(spy.matcher.results()[1], (MatchRecord{"cart", 4, 1}));
}

struct FuzzyCase {
  const char* name;
  std::u32string query;
  std::uint64_t max_dist;
  std::optional<std::uint64_t> limit;
  std::vector<Found> expected;
};

class FuzzyOnCarTrie : public ::testing::TestWithParam<FuzzyCase> {};

TEST_P(FuzzyOnCarTrie, FindsKeysInWalkOrder) {
  const FuzzyCase& c = GetParam();
  EXPECT_EQ(fuzzy(car_trie(), c.query, c.max_dist, c.limit), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FuzzyOnCarTrie,
    ::testing::Values(
        FuzzyCase{"worked_example", U"car", 1, {}, {{"car", 7, 0}, {"cart", 8, 1}, {"cat", 9, 1}}},
        FuzzyCase{"limit_2_keeps_the_first_two", U"car", 1, 2, {{"car", 7, 0}, {"cart", 8, 1}}},
        FuzzyCase{"limit_0_closes_the_root", U"car", 1, 0, {}},
        FuzzyCase{"empty_query", U"", 3, {}, {{"car", 7, 3}, {"cat", 9, 3}}},
        FuzzyCase{"largest_max_dist",
                  U"xyz",
                  MAX_U64,
                  MAX_U64,
                  {{"car", 7, 3}, {"cart", 8, 4}, {"cat", 9, 3}}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(FuzzyMatch, CountsASupplementaryCodePointAsOneUnit) {
  const Trie trie = lay_out({{1}, {2}, {}}, {std::nullopt, U'\U0001F600', U'a'}, {{}, {}, 1});
  EXPECT_EQ(fuzzy(trie, U"\U0001F601a", 1), (std::vector<Found>{{"\U0001F600a", 1, 1}}));
  EXPECT_EQ(fuzzy(trie, U"\U0001F601a", 0), std::vector<Found>{});
}

TEST(FuzzyMatch, VisitsEverySiblingThatRepeatsACodePointMatchingOnesFirst) {
  // Root children 1 'b' (10), 2 'a' (20) with child 4 'c' (40), 3 'a' (30).
  const Trie trie = lay_out({{1, 2, 3}, {}, {4}, {}, {}}, {std::nullopt, U'b', U'a', U'a', U'c'},
                            {std::nullopt, 10, 20, 30, 40});
  EXPECT_EQ(fuzzy(trie, U"a", 1),
            (std::vector<Found>{{"a", 20, 0}, {"ac", 40, 1}, {"a", 30, 0}, {"b", 10, 1}}));
  EXPECT_EQ(exact_match(trie, U"a"), (MatchRecord{"a", 2, 0}));
}

TEST(FuzzyMatch, FailsWhenTheChildRelationIsNotATree) {
  const Trie self_loop = lay_out({{1}, {1}}, {std::nullopt, U'a'}, {{}, 1});
  const Trie shared_child = lay_out({{1, 2}, {2}, {}}, {std::nullopt, U'a', U'b'}, {{}, {}, 3});
  for (const Trie* trie : {&self_loop, &shared_child}) {
    try {
      (void)fuzzy_match(*trie, U"a", MAX_U64, std::nullopt);
      ADD_FAILURE() << "no failure";
    } catch (const InternalFailure& failure) {
      EXPECT_NE(std::string(failure.what()).find("not a tree"), std::string::npos);
    }
  }
}

TEST(FuzzyMatch, ReachesTheBottomOfATrieOfDepth100000) {
  const Trie trie = testing::path_trie(100'000);
  const std::vector<MatchRecord> found = fuzzy_match(trie, U"", MAX_U64, std::nullopt);
  ASSERT_EQ(found.size(), 1U);
  EXPECT_EQ(found[0], (MatchRecord{std::string(100'000, 'a'), 100'000, 100'000}));
}

}  // namespace
}  // namespace prefix
