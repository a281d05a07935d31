// The fuzzy and exact queries over a tree, in each form: the view of its
// form handed to the walks of TreeQueries (compiled per view).
#include "prefix/walk/tree_match.hpp"

#include <variant>

#include "prefix/walk/tree_queries.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix {

using ArrayQueries = walk::TreeQueries<walk::ShapeView, walk::ArrayPayloadOf>;

std::vector<MatchRecord> fuzzy_match_tree(const Trie& trie, const TreeShape& shape,
                                          std::u32string_view query, std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return ArrayQueries::fuzzy(walk::ShapeView(trie, shape), query, max_dist, limit);
}

std::optional<MatchRecord> exact_match_tree(const Trie& trie, const TreeShape& shape,
                                            std::u32string_view query) {
  return ArrayQueries::exact(walk::ShapeView(trie, shape), query);
}

std::vector<MatchRecord> fuzzy_match_tree(const CompactTree& tree, std::u32string_view query,
                                          std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return walk::TreeQueries<walk::CompactView<T>, walk::CompactPayloadOf>::fuzzy(
            walk::CompactView<T>(tree, code_points), query, max_dist, limit);
      },
      tree.child_code_points());
}

std::optional<MatchRecord> exact_match_tree(const CompactTree& tree, std::u32string_view query) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return walk::TreeQueries<walk::CompactView<T>, walk::CompactPayloadOf>::exact(
            walk::CompactView<T>(tree, code_points), query);
      },
      tree.child_code_points());
}

std::vector<MatchRecord> fuzzy_match_tree(const SharedTree& tree, std::u32string_view query,
                                          std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return walk::with_shared_view(tree, [&]<class View>(const View& view) {
    return walk::TreeQueries<View, walk::SharedPayloadOf>::fuzzy(view, query, max_dist, limit);
  });
}

std::optional<MatchRecord> exact_match_tree(const SharedTree& tree, std::u32string_view query) {
  return walk::with_shared_view(tree, [&]<class View>(const View& view) {
    return walk::TreeQueries<View, walk::SharedPayloadOf>::exact(view, query);
  });
}

}  // namespace prefix
