// Tests of Trie::dfs driven by a recording agent: call order, visiting order,
// pruning, and the failures of inconsistent node arrays.
#include "prefix/traversal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
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

// Records every call. Each State carries "TAG": the positions, in the lists it
// returned, of the entries that led from the root to the node.
struct RecordingAgent {
  std::map<NodeId, std::vector<NodeId>> chosen;  // nodes absent here descend into all children
  std::optional<NodeId> stop_after;              // descend into nothing once this node is visited
  bool stopped = false;
  std::vector<std::string> calls;
  std::vector<NodeId> visits;

  [[nodiscard]] State initial_state() const {
    State state;
    state.put("TAG", std::string());
    return state;
  }

  void visit_node(NodeId node_id, std::optional<std::uint32_t> payload, State& state) {
    calls.push_back("visit " + std::to_string(node_id) + " tag '" + *state.get<std::string>("TAG") +
                    "' payload " + (payload ? std::to_string(*payload) : "none"));
    visits.push_back(node_id);
    stopped = stopped || node_id == stop_after;
  }

  std::vector<PendingEntry> get_children_to_visit(NodeId node_id, const State& state,
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
      child_state.put("TAG", *state.get<std::string>("TAG") + std::to_string(k));
      entries.push_back(PendingEntry{ids[k], std::move(child_state)});
    }
    return entries;
  }
};

static_assert(Agent<RecordingAgent>);

// Root 0 with children 1, 2, 3 (code points x, y, z); 1 has child 4, 2 has child 5.
Trie sample_trie() {
  return lay_out({{1, 2, 3}, {4}, {5}, {}, {}, {}}, {std::nullopt, U'x', U'y', U'z', U'u', U'v'},
                 {std::nullopt, 1, std::nullopt, 3, 4, 5});
}

TEST(Dfs, RootOnlyIsVisitedOnceWithNoChildren) {
  const Trie trie = lay_out({{}}, {std::nullopt}, {9});
  RecordingAgent agent;
  trie.dfs(agent);
  EXPECT_EQ(agent.calls, (std::vector<std::string>{"visit 0 tag '' payload 9", "children 0:"}));
}

TEST(Dfs, CallsPerNodeInOrderAndDescendsPreOrder) {
  const Trie trie = sample_trie();
  RecordingAgent agent;
  trie.dfs(agent);
  EXPECT_EQ(agent.calls,
            (std::vector<std::string>{
                "visit 0 tag '' payload none", "children 0: 1 2 3", "visit 1 tag '0' payload 1",
                "children 1: 4", "visit 4 tag '00' payload 4", "children 4:",
                "visit 2 tag '1' payload none", "children 2: 5", "visit 5 tag '10' payload 5",
                "children 5:", "visit 3 tag '2' payload 3", "children 3:"}));
}

struct VisitCase {
  const char* name;
  std::map<NodeId, std::vector<NodeId>> chosen;
  std::optional<NodeId> stop_after;
  std::vector<NodeId> visits;
};

class DfsVisits : public ::testing::TestWithParam<VisitCase> {};

TEST_P(DfsVisits, FollowTheAgentsChoices) {
  const Trie trie = sample_trie();
  RecordingAgent agent;
  agent.chosen = GetParam().chosen;
  agent.stop_after = GetParam().stop_after;
  trie.dfs(agent);
  EXPECT_EQ(agent.visits, GetParam().visits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DfsVisits,
    ::testing::Values(
        VisitCase{"returned_order_not_stored_order", {{0, {3, 2, 1}}}, {}, {0, 3, 2, 5, 1, 4}},
        VisitCase{"empty_list_skips_only_that_subtree", {{1, {}}}, {}, {0, 1, 2, 5, 3}},
        VisitCase{"stacked_entries_still_visited_after_stop", {}, 1, {0, 1, 2, 3}},
        VisitCase{"ids_are_not_checked_against_the_tree", {{0, {5}}, {5, {3}}}, {}, {0, 5, 3}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(Dfs, AnIdReturnedTwiceIsVisitedTwiceWithItsOwnState) {
  const Trie trie = sample_trie();
  RecordingAgent agent;
  agent.chosen = {{0, {3, 3}}};
  trie.dfs(agent);
  EXPECT_EQ(agent.calls[2], "visit 3 tag '0' payload 3");
  EXPECT_EQ(agent.calls[4], "visit 3 tag '1' payload 3");
  EXPECT_EQ(agent.visits, (std::vector<NodeId>{0, 3, 3}));
}

TEST(Dfs, FailsOnATrieWithoutNodes) {
  RecordingAgent agent;
  EXPECT_THROW(Trie{}.dfs(agent), InternalFailure);
  EXPECT_TRUE(agent.calls.empty());
}

TEST(Dfs, FailsOnAReturnedIdBeyondThePayloads) {
  const Trie trie = sample_trie();
  RecordingAgent agent;
  agent.chosen = {{0, {6}}};
  EXPECT_THROW(trie.dfs(agent), InternalFailure);
  EXPECT_EQ(agent.visits, (std::vector<NodeId>{0}));
}

TEST(Dfs, FailsOnAChildWithoutCodePointEvenWhenDescendingIntoNone) {
  // Node 1 lists node 2, whose code point is absent.
  const Trie trie = lay_out({{1}, {2}, {}}, {std::nullopt, U'a', std::nullopt}, {{}, {}, {}});
  RecordingAgent agent;
  agent.chosen = {{1, {}}};
  EXPECT_THROW(trie.dfs(agent), InternalFailure);
  EXPECT_EQ(agent.calls.back(), "visit 1 tag '0' payload none");
}

// Descends into every child and keeps nothing per node but the depth.
struct DepthAgent {
  std::size_t visits = 0;
  std::uint64_t deepest = 0;

  [[nodiscard]] State initial_state() const {
    State state;
    state.put("DEPTH", std::uint64_t{0});
    return state;
  }
  void visit_node(NodeId /*node_id*/, std::optional<std::uint32_t> /*payload*/, State& state) {
    ++visits;
    deepest = std::max(deepest, *state.get<std::uint64_t>("DEPTH"));
  }
  std::vector<PendingEntry> get_children_to_visit(NodeId /*node_id*/, const State& state,
                                                  const std::vector<Child>& children) {
    std::vector<PendingEntry> entries;
    for (const Child& child : children) {
      State child_state;
      child_state.put("DEPTH", *state.get<std::uint64_t>("DEPTH") + 1);
      entries.push_back(PendingEntry{child.id, std::move(child_state)});
    }
    return entries;
  }
};

TEST(Dfs, WalksAPathOfDepth100000WithoutRecursion) {
  constexpr NodeId DEPTH = 100'000;
  std::vector<std::vector<NodeId>> children(DEPTH + 1);
  for (NodeId id = 0; id < DEPTH; ++id) children[id] = {id + 1};
  const Trie trie = lay_out(children, std::vector<std::optional<char32_t>>(DEPTH + 1, U'a'),
                            std::vector<std::optional<std::uint32_t>>(DEPTH + 1));
  DepthAgent agent;
  trie.dfs(agent);
  EXPECT_EQ(agent.visits, DEPTH + 1);
  EXPECT_EQ(agent.deepest, DEPTH);
}

}  // namespace
}  // namespace prefix
