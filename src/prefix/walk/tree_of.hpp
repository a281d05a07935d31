// The one place where a query on a SearchTrie picks the view its tree walk
// reads: the shared tree, the compact form or the arrays, as stored or with
// case folded.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/walk/folded_view.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix::walk {

// Calls `use(view, payload_of)` with a view of the trie's tree and a reader
// of the payload of a key a walk over that view reported (a node id, or a
// key number on a shared tree), and returns what it returns. Throws
// InternalFailure, whatever the query, when the trie's arrays are not a tree.
template <class Use>
decltype(auto) on_tree(const SearchTrie& trie, Use use) {
  if (const SharedTree* tree = trie.shared_tree()) {
    const auto payload_of = [tree](std::uint32_t key) { return tree->payload_of_key(key); };
    return with_shared_view(*tree, [&](const auto& view) { return use(view, payload_of); });
  }
  if (const CompactTree* tree = trie.compact_tree()) {
    const auto payload_of = [tree](NodeId node) { return *tree->get_payload(node); };
    return std::visit(
        [&]<class T>(const CodePointsOf<T>& code_points) {
          return use(CompactView<T>(*tree, code_points), payload_of);
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
  return use(ShapeView(*arrays, *shape), payload_of);
}

// on_tree with the view wrapped in a FoldedView: walks that ignore case.
// Only callers that fold instantiate the folded walks.
template <class Use>
decltype(auto) on_folded_tree(const SearchTrie& trie, Use use) {
  return on_tree(
      trie, [&](const auto& view, auto payload_of) { return use(FoldedView(view), payload_of); });
}

}  // namespace prefix::walk
