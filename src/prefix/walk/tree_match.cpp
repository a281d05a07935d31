// The fuzzy and exact queries over a tree, in either form: the fuzzy one is
// the tree walk with a LimitSink, the exact one a descent along the query.
#include "prefix/walk/tree_match.hpp"

#include <cstddef>
#include <utility>
#include <variant>

#include "prefix/distance/choice.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/sinks.hpp"
#include "prefix/walk/tree_view.hpp"
#include "prefix/walk/tree_walk.hpp"

namespace prefix {
namespace {

template <class View>
std::vector<MatchRecord> fuzzy_walk(const View& tree, std::u32string_view query,
                                    std::uint64_t max_dist, std::optional<std::uint64_t> limit) {
  walk::LimitSink sink(max_dist, limit);
  distance::with_rows(query, max_dist, [&](auto&& rows) {
    walk::walk_tree(tree, std::forward<decltype(rows)>(rows), query, max_dist, sink);
  });
  return std::move(sink).take();
}

template <class View>
std::optional<MatchRecord> exact_walk(const View& tree, std::u32string_view query) {
  // The root is never reported.
  if (query.empty()) return std::nullopt;
  struct Step {
    NodeId node;
    std::size_t from;  // the position it was reached over
    std::size_t depth;
    std::uint32_t key;
    std::uint32_t rank;
  };
  std::vector<Step> pending{{tree.root(), tree.child_count, 0, 0, 0}};
  std::vector<std::size_t> front;
  while (!pending.empty()) {
    const Step step = pending.back();
    pending.pop_back();
    if (step.depth == query.size()) {
      if ((step.key & walk::HAS_PAYLOAD) != 0) {
        return MatchRecord{encode_utf8(query), tree.reported(step.node, step.rank), 0};
      }
      continue;
    }
    const auto range =
        tree.range_below(step.node, step.from, static_cast<std::uint32_t>(step.depth));
    walk::push_in_visiting_order(
        tree, range, query[step.depth], true, front, [&tree, &pending, &step](std::size_t k) {
          pending.push_back(
              Step{tree.target(k), k, step.depth + 1, tree.key(k), tree.rank_of(step.rank, k)});
        });
  }
  return std::nullopt;
}

}  // namespace

std::vector<MatchRecord> fuzzy_match_tree(const Trie& trie, const TreeShape& shape,
                                          std::u32string_view query, std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return fuzzy_walk(walk::ShapeView(trie, shape), query, max_dist, limit);
}

std::optional<MatchRecord> exact_match_tree(const Trie& trie, const TreeShape& shape,
                                            std::u32string_view query) {
  return exact_walk(walk::ShapeView(trie, shape), query);
}

std::vector<MatchRecord> fuzzy_match_tree(const CompactTree& tree, std::u32string_view query,
                                          std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return fuzzy_walk(walk::CompactView<T>(tree, code_points), query, max_dist, limit);
      },
      tree.child_code_points());
}

std::optional<MatchRecord> exact_match_tree(const CompactTree& tree, std::u32string_view query) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return exact_walk(walk::CompactView<T>(tree, code_points), query);
      },
      tree.child_code_points());
}

std::vector<MatchRecord> fuzzy_match_tree(const SharedTree& tree, std::u32string_view query,
                                          std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return walk::with_shared_view(
      tree, [&](const auto& view) { return fuzzy_walk(view, query, max_dist, limit); });
}

std::optional<MatchRecord> exact_match_tree(const SharedTree& tree, std::u32string_view query) {
  return walk::with_shared_view(tree, [&](const auto& view) { return exact_walk(view, query); });
}

}  // namespace prefix
