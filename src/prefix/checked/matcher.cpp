// The fuzzy matcher: Levenshtein rows carried down the walk, pruning, child
// order, and the fuzzy and exact queries.
#include "prefix/checked/matcher.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

#include "prefix/distance/plain_row.hpp"
#include "prefix/failure.hpp"
#include "prefix/utf8.hpp"

namespace prefix {
namespace {

constexpr std::string_view CUR_PREFIX = "CUR_PREFIX";
constexpr std::string_view PREV_ROW = "PREV_ROW";
constexpr std::string_view CUR_ROW = "CUR_ROW";

using Row = std::vector<std::uint64_t>;

// The value the matcher itself put under `key`; its absence is a broken invariant.
template <class T>
const T& require(const State& state, std::string_view key, NodeId node_id) {
  const T* value = state.get<T>(key);
  if (value == nullptr) {
    throw InternalFailure("state of node " + std::to_string(node_id) + " has no " +
                          std::string(key) + " of the expected type");
  }
  return *value;
}

const Row& require_row(const State& state, std::string_view key, NodeId node_id,
                       std::size_t cells) {
  const SharedRow& shared = require<SharedRow>(state, key, node_id);
  if (shared == nullptr || shared->size() != cells) {
    const std::size_t size = shared == nullptr ? 0 : shared->size();
    throw InternalFailure(std::string(key) + " of node " + std::to_string(node_id) + " has " +
                          std::to_string(size) + " cells, not " + std::to_string(cells));
  }
  return *shared;
}

}  // namespace

Matcher::Matcher(std::u32string query, std::uint64_t max_dist, std::optional<std::uint64_t> limit,
                 std::size_t node_budget)
    : query_(std::move(query)),
      max_dist_(max_dist),
      limit_(limit),
      node_budget_(node_budget),
      reached_(node_budget) {
  if (!reached_.empty()) reached_[0] = true;  // the root
}

State Matcher::initial_state() const {
  State state;
  state.put(std::string(CUR_PREFIX), SharedText());
  return state;
}

void Matcher::visit_node(NodeId node_id, std::optional<std::uint32_t> payload, State& state) {
  const std::size_t n = query_.size();
  const auto& text = require<SharedText>(state, CUR_PREFIX, node_id);
  if (text.empty()) {
    // The root: its text is empty, so cell j costs j insertions. Never reported.
    Row row(n + 1);
    std::iota(row.begin(), row.end(), std::uint64_t{0});
    state.put(std::string(CUR_ROW), SharedRow(std::make_shared<const Row>(std::move(row))));
    return;
  }
  Row row = next_row(require_row(state, PREV_ROW, node_id, n + 1), text.back());
  if (payload && row[n] <= max_dist_ && !is_full()) {
    results_.push_back(MatchRecord{encode_utf8(text.to_u32string()), node_id, row[n]});
  }
  state.put(std::string(CUR_ROW), SharedRow(std::make_shared<const Row>(std::move(row))));
}

std::vector<PendingEntry> Matcher::get_children_to_visit(NodeId node_id, const State& state,
                                                         std::vector<Child> children) {
  const auto& text = require<SharedText>(state, CUR_PREFIX, node_id);
  const Row& row = require_row(state, CUR_ROW, node_id, query_.size() + 1);
  const std::vector<Child> open = children_to_open(row, text.size(), std::move(children));

  // A tree reaches each node at most once, so reaching more nodes than there
  // are means a cycle or a shared child. Counting at hand-out rather than at
  // visit also bounds the States alive at once, not only the visits.
  const std::size_t room = node_budget_ - std::min(nodes_reached_, node_budget_);
  if (open.size() > room) {
    throw InternalFailure("child relation is not a tree: node " + std::to_string(node_id) +
                          " would bring the walk to " +
                          std::to_string(nodes_reached_ + open.size()) +
                          " nodes, more than node_payloads length " + std::to_string(node_budget_));
  }
  nodes_reached_ += open.size();
  // A tree reaches each node once. Stopping at the first node reached twice
  // keeps a cycle from being walked round and round until the count above
  // trips.
  for (const Child& child : open) {
    if (child.id >= reached_.size()) continue;  // the walk fails on its payload when popped
    if (reached_[child.id]) {
      throw InternalFailure("child relation is not a tree: node " + std::to_string(child.id) +
                            " is reached a second time, from node " + std::to_string(node_id));
    }
    reached_[child.id] = true;
  }

  // The children share this node's row and text rather than copy them: a
  // copy per pending child would cost the row's length per child, and the
  // text's length per child on a deep path, which on arrays that are not a
  // tree (a long chain closed into a cycle, a node with a great many
  // children) means time quadratic in the nodes or gigabytes of rows.
  const SharedRow& shared_row = require<SharedRow>(state, CUR_ROW, node_id);
  std::vector<PendingEntry> entries;
  entries.reserve(open.size());
  for (const Child& child : open) {
    State child_state;
    child_state.put(std::string(PREV_ROW), shared_row);
    child_state.put(std::string(CUR_PREFIX), SharedText(text, child.code_point));
    entries.push_back(PendingEntry{child.id, std::move(child_state)});
  }
  return entries;
}

bool Matcher::is_full() const noexcept {
  return limit_ && results_.size() >= *limit_;
}

std::vector<std::uint64_t> Matcher::next_row(std::span<const std::uint64_t> parent_row,
                                             char32_t edge) const {
  Row row(parent_row.size());
  distance::plain_step(query_, parent_row.data(), row.data(), edge);
  return row;
}

std::vector<Child> Matcher::children_to_open(std::span<const std::uint64_t> row, std::size_t depth,
                                             std::vector<Child> children) const {
  // A descendant's cells never drop below this row's least cell, so once that
  // exceeds max_dist nothing below can be reported.
  if (is_full() || *std::min_element(row.begin(), row.end()) > max_dist_) return {};
  if (depth < query_.size()) {
    // Children that continue the query at this position go first. All of them
    // stay, even when siblings repeat the code point, so no subtree is lost.
    const char32_t wanted = query_[depth];
    std::stable_partition(children.begin(), children.end(),
                          [wanted](const Child& child) { return child.code_point == wanted; });
  }
  return children;
}

std::vector<MatchRecord> fuzzy_match(const Trie& trie, std::u32string_view query,
                                     std::uint64_t max_dist, std::optional<std::uint64_t> limit) {
  Matcher matcher(std::u32string(query), max_dist, limit, trie.node_payloads.size());
  trie.dfs(matcher);
  return std::move(matcher).take_results();
}

std::optional<MatchRecord> exact_match(const Trie& trie, std::u32string_view query) {
  std::vector<MatchRecord> records = fuzzy_match(trie, query, 0, std::nullopt);
  if (records.empty()) return std::nullopt;
  return std::move(records.front());
}

}  // namespace prefix
