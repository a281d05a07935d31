// The definitions of TreeQueries' and FoldedQueries' walks, included only by
// the units that compile them for one view each (walk/instances/).
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "prefix/distance/choice.hpp"
#include "prefix/distance/swap_choice.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/completion_walk.hpp"
#include "prefix/walk/folded_view.hpp"
#include "prefix/walk/sinks.hpp"
#include "prefix/walk/tree_queries.hpp"
#include "prefix/walk/tree_walk.hpp"

namespace prefix::walk {

template <class View, class PayloadOf>
std::vector<MatchRecord> TreeQueries<View, PayloadOf>::fuzzy(const View& tree,
                                                             std::u32string_view query,
                                                             std::uint64_t max_dist,
                                                             std::optional<std::uint64_t> limit) {
  LimitSink sink(max_dist, limit);
  distance::with_rows(query, max_dist, [&](auto&& rows) {
    walk_tree(tree, std::forward<decltype(rows)>(rows), query, max_dist, sink);
  });
  return std::move(sink).take();
}

template <class View, class PayloadOf>
std::optional<MatchRecord> TreeQueries<View, PayloadOf>::exact(const View& tree,
                                                               std::u32string_view query) {
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
      if ((step.key & HAS_PAYLOAD) != 0) {
        return MatchRecord{encode_utf8(query), tree.reported(step.node, step.rank), 0};
      }
      continue;
    }
    const auto range =
        tree.range_below(step.node, step.from, static_cast<std::uint32_t>(step.depth));
    push_in_visiting_order(
        tree, range, query[step.depth], true, front, [&tree, &pending, &step](std::size_t k) {
          pending.push_back(
              Step{tree.target(k), k, step.depth + 1, tree.key(k), tree.rank_of(step.rank, k)});
        });
  }
  return std::nullopt;
}

template <class View, class PayloadOf>
void TreeQueries<View, PayloadOf>::suggest(const View& tree, std::u32string_view query, bool swaps,
                                           std::uint64_t radius, TopSink<PayloadOf>& sink) {
  distance::with_rows_of(swaps, query, radius, [&](auto&& rows) {
    walk_tree(tree, std::forward<decltype(rows)>(rows), query, radius, sink);
  });
}

template <class View, class PayloadOf>
void TreeQueries<View, PayloadOf>::complete(const View& tree, std::u32string_view query, bool swaps,
                                            std::uint64_t radius, TopSink<PayloadOf>& sink) {
  distance::with_rows_of(swaps, query, radius, [&](auto&& rows) {
    complete_tree(tree, std::forward<decltype(rows)>(rows), query, radius, sink);
  });
}

template <class View, class PayloadOf>
void TreeQueries<View, PayloadOf>::candidates(const View& tree, std::u32string_view text,
                                              std::uint64_t radius, CandidateSink& sink) {
  distance::with_near_rows_of(true, text, radius, [&](auto&& rows) {
    walk_tree(tree, std::forward<decltype(rows)>(rows), text, radius, sink);
  });
}

template <class View, class PayloadOf>
void FoldedQueries<View, PayloadOf>::suggest(const View& tree, std::u32string_view folded,
                                             bool swaps, std::uint64_t radius,
                                             TopSink<PayloadOf>& sink) {
  distance::with_near_rows_of(swaps, folded, radius, [&](auto&& rows) {
    walk_tree(FoldedView(tree), std::forward<decltype(rows)>(rows), folded, radius, sink);
  });
}

template <class View, class PayloadOf>
void FoldedQueries<View, PayloadOf>::complete(const View& tree, std::u32string_view folded,
                                              bool swaps, std::uint64_t radius,
                                              TopSink<PayloadOf>& sink) {
  distance::with_near_rows_of(swaps, folded, radius, [&](auto&& rows) {
    complete_tree(FoldedView(tree), std::forward<decltype(rows)>(rows), folded, radius, sink);
  });
}

}  // namespace prefix::walk
