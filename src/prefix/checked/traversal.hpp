// The depth-first walk over a Trie: the pending entry, the Agent contract that
// drives the walk, and the definition of Trie::dfs.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "prefix/checked/state.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

// A node still to be visited and the State it will be visited with.
struct PendingEntry {
  NodeId node_id;
  State state;
};

// What Trie::dfs asks of whatever drives it, in call order:
// - initial_state() on a const agent: the root's State.
// - visit_node(node_id, payload, state): the node's payload as read from
//   node_payloads and its own State, writable; where the agent records finds.
// - get_children_to_visit(node_id, state, children): the node's State, read
//   only, and all of its children from Trie::get_children, handed over. Returns
//   the children to descend into, first to be visited first, each with a new
//   State. Returning none prunes the subtree; the walk does not check the ids.
template <class A>
concept Agent = requires(A& agent, const A& const_agent, NodeId node_id,
                         std::optional<std::uint32_t> payload, State& state,
                         const State& const_state, std::vector<Child> children) {
  { const_agent.initial_state() } -> std::same_as<State>;
  agent.visit_node(node_id, payload, state);
  {
    agent.get_children_to_visit(node_id, const_state, std::move(children))
    } -> std::same_as<std::vector<PendingEntry>>;
};

template <class A>
void Trie::dfs(A& agent) const {
  static_assert(Agent<A>, "Trie::dfs needs a type that models prefix::Agent");
  std::vector<PendingEntry> stack;
  stack.push_back(PendingEntry{0, std::as_const(agent).initial_state()});
  while (!stack.empty()) {
    PendingEntry entry = std::move(stack.back());
    stack.pop_back();
    const std::optional<std::uint32_t> payload = get_payload(entry.node_id);
    agent.visit_node(entry.node_id, payload, entry.state);
    // The agent always sees the full list, so an inconsistent child range fails
    // the query when its node is visited, whether or not the agent descends.
    std::vector<Child> children = get_children(entry.node_id);
    std::vector<PendingEntry> to_visit =
        agent.get_children_to_visit(entry.node_id, std::as_const(entry.state), std::move(children));
    // Pushed last-first so that the first returned child is popped next.
    for (auto it = to_visit.rbegin(); it != to_visit.rend(); ++it) stack.push_back(std::move(*it));
  }
}

}  // namespace prefix
