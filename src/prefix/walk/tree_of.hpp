// The one place where a query on a SearchTrie picks the view its tree walk
// reads: the compact form or the arrays, as stored or with case folded.
#pragma once

#include <string>
#include <variant>

#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/walk/folded_view.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix::walk {

// Calls `use(view, payload_of)` with a view of the trie's tree (FoldedView
// over it when `fold`) and a reader of a node's payload (for a node known to
// have one), and returns what it returns. Throws InternalFailure, whatever
// the query, when the trie's arrays are not a tree.
template <class Use>
decltype(auto) on_tree(const SearchTrie& trie, bool fold, Use use) {
  const auto with = [&](const auto& view, auto payload_of) {
    if (fold) return use(FoldedView(view), payload_of);
    return use(view, payload_of);
  };
  if (const CompactTree* tree = trie.compact_tree()) {
    const auto payload_of = [tree](NodeId node) { return *tree->get_payload(node); };
    return std::visit(
        [&]<class T>(const CodePointsOf<T>& code_points) {
          return with(CompactView<T>(*tree, code_points), payload_of);
        },
        tree->child_code_points());
  }
  const Trie* const arrays = trie.arrays().first;
  const TreeShape* const shape = trie.arrays().second;
  if (!shape->is_tree) {
    throw InternalFailure("child relation is not a tree: ranked queries need one (" +
                          std::to_string(arrays->node_shifts.size()) + " nodes, " +
                          std::to_string(arrays->child_indices.size()) + " child entries)");
  }
  const auto payload_of = [arrays](NodeId node) { return *arrays->node_payloads[node]; };
  return with(ShapeView(*arrays, *shape), payload_of);
}

}  // namespace prefix::walk
