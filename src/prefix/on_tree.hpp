// The views a tree walk reads a SearchTrie through: its compact form, or its
// arrays when they form a tree.
#pragma once

#include <string>
#include <variant>

#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix {

// Returns use(view, payload_of) with a view of the trie's tree and a reader
// of the payload of a node known to carry one. Throws InternalFailure
// ("child relation is not a tree: <what> need one ...") when the trie's
// arrays are not a tree; `what` names the queries that need one.
template <class Use>
decltype(auto) on_tree(const SearchTrie& trie, const char* what, Use use) {
  if (const CompactTree* tree = trie.compact_tree()) {
    const auto payload_of = [tree](NodeId node) { return *tree->get_payload(node); };
    return std::visit(
        [&]<class T>(const CodePointsOf<T>& code_points) {
          return use(walk::CompactView<T>(*tree, code_points), payload_of);
        },
        tree->child_code_points());
  }
  const Trie* const arrays = trie.arrays().first;
  const TreeShape* const shape = trie.arrays().second;
  if (!shape->is_tree) {
    throw InternalFailure("child relation is not a tree: " + std::string(what) + " need one (" +
                          std::to_string(arrays->node_shifts.size()) + " nodes, " +
                          std::to_string(arrays->child_indices.size()) + " child entries)");
  }
  const auto payload_of = [arrays](NodeId node) { return *arrays->node_payloads[node]; };
  return use(walk::ShapeView(*arrays, *shape), payload_of);
}

}  // namespace prefix
