// Tests of the fuzzy matcher and the fuzzy and exact queries.
#include "prefix/matcher.hpp"

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
using testing::trie_from_words;
using Found = std::tuple<std::string, std::optional<std::uint32_t>, std::uint64_t>;
using Row = std::vector<std::uint64_t>;

constexpr std::uint64_t MAX_U64 = std::numeric_limits<std::uint64_t>::max();

Trie car_trie() {
  return trie_from_words({{U"car", 7}, {U"cart", 8}, {U"cat", 9}});
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
    std::string line = encode_utf8(*state.get<std::u32string>("CUR_PREFIX")) + ":";
    for (const std::uint64_t cell : *state.get<Row>("CUR_ROW")) line += " " + std::to_string(cell);
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
  ASSERT_EQ(spy.matcher.results().size(), 3U);
  EXPECT_EQ(spy.matcher.results()[1], (MatchRecord{"cart", 4, 1}));
}

TEST(Matcher, VisitsButDoesNotOpenNodesBeyondReach) {
  // With max_dist 0 only the query's path is opened; 'cart' and 'cat' get
  // their rows and are closed.
  const Trie trie = car_trie();
  RowSpy spy{Matcher(U"car", 0, std::nullopt, trie.node_payloads.size()), {}};
  trie.dfs(spy);
  EXPECT_EQ(spy.rows.size(), 6U);
  EXPECT_EQ(spy.rows.back(), "cat: 3 2 1 1");
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
        FuzzyCase{
            "limit_above_count", U"car", 1, 3, {{"car", 7, 0}, {"cart", 8, 1}, {"cat", 9, 1}}},
        FuzzyCase{"distance_0_is_exact", U"car", 0, {}, {{"car", 7, 0}}},
        FuzzyCase{"inner_node_without_payload", U"ca", 0, {}, {}},
        FuzzyCase{"longer_query", U"cart", 1, {}, {{"car", 7, 1}, {"cart", 8, 0}, {"cat", 9, 1}}},
        FuzzyCase{"case_counts", U"Car", 1, {}, {{"car", 7, 1}}},
        FuzzyCase{"empty_query_depth_3", U"", 3, {}, {{"car", 7, 3}, {"cat", 9, 3}}},
        FuzzyCase{"empty_query_depth_1", U"", 1, {}, {}},
        FuzzyCase{"largest_max_dist",
                  U"xyz",
                  MAX_U64,
                  {},
                  {{"car", 7, 3}, {"cart", 8, 4}, {"cat", 9, 3}}},
        FuzzyCase{
            "largest_limit", U"car", 1, MAX_U64, {{"car", 7, 0}, {"cart", 8, 1}, {"cat", 9, 1}}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(FuzzyMatch, TheChildThatContinuesTheQueryGoesFirst) {
  // Under 'ca' the child 't' is stored before 'r'.
  const Trie trie =
      lay_out({{1}, {2}, {4, 3}, {5}, {}, {}}, {std::nullopt, U'c', U'a', U'r', U't', U't'},
              {std::nullopt, std::nullopt, std::nullopt, 7, 9, 8});
  EXPECT_EQ(fuzzy(trie, U"car", 1),
            (std::vector<Found>{{"car", 7, 0}, {"cart", 8, 1}, {"cat", 9, 1}}));
  EXPECT_EQ(fuzzy(trie, U"", 4),
            (std::vector<Found>{{"cat", 9, 3}, {"car", 7, 3}, {"cart", 8, 4}}));
}

TEST(FuzzyMatch, NeverReportsTheRoot) {
  const Trie trie = lay_out({{1}, {}}, {std::nullopt, U'a'}, {5, 6});
  EXPECT_EQ(fuzzy(trie, U"", 1), (std::vector<Found>{{"a", 6, 1}}));
  EXPECT_EQ(exact_match(trie, U""), std::nullopt);
}

TEST(FuzzyMatch, CountsASupplementaryCodePointAsOneUnit) {
  const Trie trie = trie_from_words({{U"\U0001F600a", 1}, {U"b\U00010348", 2}});
  EXPECT_EQ(fuzzy(trie, U"\U0001F601a", 1), (std::vector<Found>{{"\U0001F600a", 1, 1}}));
  EXPECT_EQ(fuzzy(trie, U"\U0001F601a", 0), std::vector<Found>{});
  EXPECT_EQ(exact_match(trie, U"b\U00010348"), (MatchRecord{"b\U00010348", 4, 0}));
}

TEST(ExactMatch, FindsOnlyAWholeKeyWithPayload) {
  const Trie trie = car_trie();
  EXPECT_EQ(exact_match(trie, U"car"), (MatchRecord{"car", 3, 0}));
  EXPECT_EQ(exact_match(trie, U"cart"), (MatchRecord{"cart", 4, 0}));
  for (const std::u32string_view miss : {U"ca", U"carts", U"cab", U"Car", U""}) {
    EXPECT_EQ(exact_match(trie, miss), std::nullopt) << encode_utf8(miss);
  }
}

TEST(Search, FailsOnATrieWithoutNodes) {
  EXPECT_THROW((void)fuzzy_match(Trie{}, U"a", 1, std::nullopt), InternalFailure);
  EXPECT_THROW((void)exact_match(Trie{}, U"a"), InternalFailure);
}

// Root children 1 'b' (10), 2 'a' (20) with child 4 'c' (40), 3 'a' (30).
Trie repeated_code_point_trie() {
  return lay_out({{1, 2, 3}, {}, {4}, {}, {}}, {std::nullopt, U'b', U'a', U'a', U'c'},
                 {std::nullopt, 10, 20, 30, 40});
}

TEST(RepeatedCodePoints, EveryChildIsVisitedAndAllMatchingOnesGoFirst) {
  const Trie trie = repeated_code_point_trie();
  EXPECT_EQ(fuzzy(trie, U"a", 1),
            (std::vector<Found>{{"a", 20, 0}, {"ac", 40, 1}, {"a", 30, 0}, {"b", 10, 1}}));
  EXPECT_EQ(fuzzy(trie, U"", 1), (std::vector<Found>{{"b", 10, 1}, {"a", 20, 1}, {"a", 30, 1}}));
}

TEST(RepeatedCodePoints, ExactMatchGivesTheFirstRecord) {
  EXPECT_EQ(exact_match(repeated_code_point_trie(), U"a"), (MatchRecord{"a", 2, 0}));
}

struct NotATreeCase {
  const char* name;
  Trie trie;
  std::u32string query;
  std::uint64_t max_dist;
};

class NotATree : public ::testing::TestWithParam<NotATreeCase> {};

TEST_P(NotATree, FailsInsteadOfWalkingOn) {
  const NotATreeCase& c = GetParam();
  try {
    (void)fuzzy_match(c.trie, c.query, c.max_dist, std::nullopt);
    FAIL() << "no failure";
  } catch (const InternalFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("not a tree"), std::string::npos) << failure.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotATree,
    ::testing::Values(
        NotATreeCase{"self_loop_with_unbounded_distance",
                     lay_out({{1}, {1}}, {std::nullopt, U'a'}, {{}, 1}), U"a", MAX_U64},
        NotATreeCase{"self_loop_along_the_query",
                     lay_out({{1}, {1}}, {std::nullopt, U'a'}, {{}, 1}), U"aaaaaa", 0},
        NotATreeCase{"child_under_two_parents",
                     lay_out({{1, 2}, {2}, {}}, {std::nullopt, U'a', U'b'}, {{}, {}, 3}), U"", 5},
        NotATreeCase{"root_listed_as_a_child", lay_out({{1}, {0}}, {U'r', U'a'}, {{}, {}}), U"",
                     5}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(NotATree, WalksOnWhileWithinTheNodeCount) {
  // The cycle is closed by the distance bound before more nodes are reached
  // than there are (nodes 2 to 9 are unreachable), so the query succeeds.
  Trie trie = lay_out({{1}, {1}}, {std::nullopt, U'a'}, {{}, 1});
  trie.node_payloads.resize(10);
  EXPECT_EQ(fuzzy(trie, U"a", 0), (std::vector<Found>{{"a", 1, 0}}));
}

TEST(FuzzyMatch, ReachesTheBottomOfATrieOfDepth100000) {
  constexpr NodeId DEPTH = 100'000;
  std::vector<std::vector<NodeId>> children(DEPTH + 1);
  for (NodeId id = 0; id < DEPTH; ++id) children[id] = {id + 1};
  std::vector<std::optional<std::uint32_t>> payloads(DEPTH + 1);
  payloads[DEPTH] = 1;
  const Trie trie =
      lay_out(children, std::vector<std::optional<char32_t>>(DEPTH + 1, U'a'), std::move(payloads));
  const std::vector<MatchRecord> found = fuzzy_match(trie, U"", MAX_U64, std::nullopt);
  ASSERT_EQ(found.size(), 1U);
  EXPECT_EQ(found[0], (MatchRecord{std::string(DEPTH, 'a'), DEPTH, DEPTH}));
}

}  // namespace
}  // namespace prefix
