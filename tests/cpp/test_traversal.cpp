// Tests of Trie::dfs driven by a recording agent: call order, visiting order,
// pruning, and the failures of inconsistent node arrays.
#include "prefix/checked/traversal.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "prefix/failure.hpp"
#include "trie_fixtures.hpp"

namespace prefix {
namespace {

using testing::lay_out;

// Records every call. A child's State holds "TAG": its position in the list
// that its parent's get_children_to_visit returned.
struct RecordingAgent {
  std::map<NodeId, std::vector<NodeId>> chosen;  // nodes absent here descend into all children
  std::optional<NodeId> stop_after;              // descend into nothing once this node is visited
  bool stopped = false;
  std::vector<std::string> calls;
  std::vector<NodeId> visits;

  [[nodiscard]] State initial_state() const {
    State state;
    state.put("TAG", std::string("root"));
    return state;
  }

  void visit_node(NodeId node_id, std::optional<std::uint32_t> payload, State& state) {
    calls.push_back("visit " + std::to_string(node_id) + " " + *state.get<std::string>("TAG") +
                    " " + (payload ? std::to_string(*payload) : "-"));
    visits.push_back(node_id);
    stopped = stopped || node_id == stop_after;
  }

  std::vector<PendingEntry> get_children_to_visit(NodeId node_id, const State& /*state*/,
                                                  const std::vector<Child>& children) {
    std::string call = "children " + std::to_string(node_id) + ":";
    std::vector<NodeId> ids;
    for (const Child& child : children) {
      call += " " + std::to_string(child.id);
      ids.push_back(child.id);
    }
    calls.push_back(call);
    if (const auto it = chosen.find(node_id); it != chosen.end()) ids = it->second;
    if (stopped) ids.clear();
    std::vector<PendingEntry> entries;
    for (std::size_t k = 0; k < ids.size(); ++k) {
      State child_state;
      child_state.put("TAG", "#" + std::to_string(k));
      entries.push_back(PendingEntry{ids[k], std::move(child_state)});
    }
    return entries;
  }
};

static_assert(Agent<RecordingAgent>);

// Root 0 with children 1, 2, 3; 1 has child 4, 2 has child 5.
Trie sample_trie() {
  return lay_out({{1, 2, 3}, {4}, {5}, {}, {}, {}}, {std::nullopt, U'x', U'y', U'z', U'u', U'v'},
                 {std::nullopt, 1, std::nullopt, 3, 4, 5});
}

TEST(Dfs, CallsPerNodeInOrderAndWalksPreOrder) {
  RecordingAgent agent;
  sample_trie().dfs(agent);
  EXPECT_EQ(agent.calls, (std::vector<std::string>{
                             "visit 0 root -", "children 0: 1 2 3", "visit 1 #0 1", "children 1: 4",
                             "visit 4 #0 4", "children 4:", "visit 2 #1 -", "children 2: 5",
                             "visit 5 #0 5", "children 5:", "visit 3 #2 3", "children 3:"}));
}

struct VisitCase {
  const char* name;
  std::map<NodeId, std::vector<NodeId>> chosen;
  std::optional<NodeId> stop_after;
  std::vector<NodeId> visits;
};

class DfsVisits : public ::testing::TestWithParam<VisitCase> {};

TEST_P(DfsVisits, FollowTheAgentsChoices) {
  RecordingAgent agent;
  agent.chosen = GetParam().chosen;
  agent.stop_after = GetParam().stop_after;
  sample_trie().dfs(agent);
  EXPECT_EQ(agent.visits, GetParam().visits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DfsVisits,
    ::testing::Values(
        VisitCase{"returned_order_not_stored_order", {{0, {3, 2, 1}}}, {}, {0, 3, 2, 5, 1, 4}},
        VisitCase{"empty_list_skips_only_that_subtree", {{1, {}}}, {}, {0, 1, 2, 5, 3}},
        VisitCase{"stacked_entries_still_visited_after_stop", {}, 1, {0, 1, 2, 3}},
        VisitCase{"ids_not_checked_against_the_tree", {{0, {5}}, {5, {3}}}, {}, {0, 5, 3}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(Dfs, AnIdReturnedTwiceIsVisitedTwiceWithItsOwnState) {
  RecordingAgent agent;
  agent.chosen = {{0, {3, 3}}};
  sample_trie().dfs(agent);
  EXPECT_EQ(agent.calls[2], "visit 3 #0 3");
  EXPECT_EQ(agent.calls[4], "visit 3 #1 3");
}

TEST(Dfs, FailsOnNodeIdsBeyondThePayloads) {
  RecordingAgent agent;
  EXPECT_THROW(Trie{}.dfs(agent), InternalFailure);
  EXPECT_TRUE(agent.calls.empty());
  agent.chosen = {{0, {6}}};
  EXPECT_THROW(sample_trie().dfs(agent), InternalFailure);
  EXPECT_EQ(agent.visits, (std::vector<NodeId>{0}));
}

TEST(Dfs, FailsOnAChildWithoutCodePointEvenWhenDescendingIntoNone) {
  // Node 1 lists node 2, whose code point is absent.
  const Trie trie = lay_out({{1}, {2}, {}}, {std::nullopt, U'a', std::nullopt}, {{}, {}, {}});
  RecordingAgent agent;
  agent.chosen = {{1, {}}};
  EXPECT_THROW(trie.dfs(agent), InternalFailure);
  EXPECT_EQ(agent.calls.back(), "visit 1 #0 -");
}

TEST(Dfs, WalksAPathOfDepth100000WithoutRecursion) {
  RecordingAgent agent;
  testing::path_trie(100'000).dfs(agent);
  ASSERT_EQ(agent.visits.size(), 100'001U);
  EXPECT_EQ(agent.visits.back(), 100'000U);
}

}  // namespace
}  // namespace prefix
