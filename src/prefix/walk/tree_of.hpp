// The one place where a query on a SearchTrie picks the view its tree walk
// reads: the shared tree, the compact form or the arrays.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/walk/payload_of.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix::walk {

// Calls `use(view, payload_of)` with a view of the trie's tree and a reader
// of the payload of a key a walk over that view reported (payload_of.hpp),
// and returns what it returns. Throws InternalFailure, whatever the query,
// when the trie's arrays are not a tree.
template <class Use>
decltype(auto) on_tree(const SearchTrie& trie, Use use) {
  if (const SharedTree* tree = trie.shared_tree()) {
    return with_shared_view(*tree,
                            [&](const auto& view) { return use(view, SharedPayloadOf{tree}); });
  }
  if (const CompactTree* tree = trie.compact_tree()) {
    return std::visit(
        [&]<class T>(const CodePointsOf<T>& code_points) {
          return use(CompactView<T>(*tree, code_points), CompactPayloadOf{tree});
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
  return use(ShapeView(*arrays, *shape), ArrayPayloadOf{arrays});
}

}  // namespace prefix::walk
