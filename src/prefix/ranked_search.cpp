// The ranked queries: the walk and row kind for each, on the form the trie
// is kept in.
#include "prefix/ranked_search.hpp"

#include <string>
#include <utility>
#include <variant>

#include "prefix/distance/swap_choice.hpp"
#include "prefix/failure.hpp"
#include "prefix/walk/completion_walk.hpp"
#include "prefix/walk/tree_view.hpp"
#include "prefix/walk/tree_walk.hpp"

namespace prefix {
namespace {

// Calls `use(view, payload_of)` with a view of the trie's tree and a reader
// of a node's payload (one that is known to have one).
template <class Use>
std::vector<RankedMatch> on_tree(const SearchTrie& trie, Use use) {
  if (const CompactTree* tree = trie.compact_tree()) {
    const auto payload_of = [tree](NodeId node) { return *tree->get_payload(node); };
    return std::visit(
        [&]<class T>(const CodePointsOf<T>& code_points) {
          return use(walk::CompactView<T>(*tree, code_points), payload_of);
        },
        tree->child_code_points());
  }
  const auto [arrays, shape] = trie.arrays();
  if (!shape->is_tree) {
    throw InternalFailure("child relation is not a tree: ranked queries need one (" +
                          std::to_string(arrays->node_shifts.size()) + " nodes, " +
                          std::to_string(arrays->child_indices.size()) + " child entries)");
  }
  const auto payload_of = [arrays](NodeId node) { return *arrays->node_payloads[node]; };
  return use(walk::ShapeView(*arrays, *shape), payload_of);
}

template <class Walk>
std::vector<RankedMatch> ranked(const SearchTrie& trie, const RankedQuery& query, Walk walk) {
  return on_tree(trie, [&](const auto& view, auto payload_of) {
    walk::TopSink sink(query.n, query.max_dist, payload_of, query.score_of);
    distance::with_rows_of(query.swaps, query.text, query.max_dist, [&](auto&& rows) {
      walk(view, std::move(rows), query.text, query.max_dist, sink);
    });
    return std::move(sink).take();
  });
}

}  // namespace

std::vector<RankedMatch> suggest(const SearchTrie& trie, const RankedQuery& query) {
  return ranked(trie, query,
                [](const auto& view, auto&& rows, auto text, auto max_dist, auto& sink) {
                  walk::walk_tree(view, std::move(rows), text, max_dist, sink);
                });
}

std::vector<RankedMatch> complete(const SearchTrie& trie, const RankedQuery& query) {
  return ranked(trie, query,
                [](const auto& view, auto&& rows, auto text, auto max_dist, auto& sink) {
                  walk::complete_tree(view, std::move(rows), text, max_dist, sink);
                });
}

}  // namespace prefix
