// The ranked queries: the walk and row kind for each, on the form the trie
// is kept in.
#include "prefix/ranked_search.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstdint>
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

// Calls `use(view, payload_of, minima)` with a view of the trie's tree, a
// reader of a node's payload (one that is known to have one) and the
// trie's payload minima when its walks number keys (else null).
template <class Use>
std::vector<RankedMatch> on_tree(const SearchTrie& trie, bool settles, Use use) {
  if (const SharedTree* tree = trie.shared_tree()) {
    // Its walks hand sinks key numbers.
    const auto payload_of = [tree](std::uint32_t key) { return tree->payload_of_key(key); };
    const PayloadMinima* minima = settles ? trie.payload_minima() : nullptr;
    return walk::with_shared_view(
        *tree, [&](const auto& view) { return use(view, payload_of, minima); });
  }
  if (const CompactTree* tree = trie.compact_tree()) {
    const auto payload_of = [tree](NodeId node) { return *tree->get_payload(node); };
    return std::visit(
        [&]<class T>(const CodePointsOf<T>& code_points) {
          return use(walk::CompactView<T>(*tree, code_points), payload_of, nullptr);
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
  return use(walk::ShapeView(*arrays, *shape), payload_of, nullptr);
}

// Radii tried before max_dist itself: each walk costs several times the one
// before, so when n keys lie within a small radius, the walks up to it cost
// less than one at max_dist; when they do not, the smaller walks add a
// fraction of the last one.
constexpr std::uint64_t DEEPEN_UP_TO = 3;

// Walks at radius `first`, first + 1, ... DEEPEN_UP_TO, then max_dist, each
// with a fresh sink, until one holds n keys: every key within that radius
// was offered to it, so its n best are the n best within max_dist. A walk
// after one that found nothing knows that no key is nearer than its radius
// less one. With `settles` and no scores, the sinks pass over ranges of keys
// by their payloads.
template <class Walk>
std::vector<RankedMatch> ranked(const SearchTrie& trie, const RankedQuery& query,
                                std::uint64_t first, bool settles, Walk walk) {
  return on_tree(trie, settles && !query.score_of, [&](const auto& view, auto payload_of,
                                                       const PayloadMinima* minima) {
    std::uint64_t radius = std::min(query.max_dist, first);
    walk::RankedBounds bounds{0, minima};
    while (true) {
      walk::TopSink sink(query.n, radius, payload_of, query.score_of, bounds);
      distance::with_rows_of(query.swaps, query.text, radius, [&](auto&& rows) {
        walk(view, std::forward<decltype(rows)>(rows), query.text, radius, sink);
      });
      if (radius == query.max_dist || sink.size() >= query.n) return std::move(sink).take();
      if (sink.size() == 0) bounds.floor = radius + 1;
      radius = radius < DEEPEN_UP_TO ? radius + 1 : query.max_dist;
      static const bool skip = std::getenv("QV_SKIP") != nullptr;  // EXPERIMENT
      if (skip && query.n == 1) radius = query.max_dist;
    }
  });
}

// Words of this many code points or more rarely have several keys one edit
// away (in an English word list, 4% of 1,000 misspellings of 9 code points
// on average have 5), so suggest's walks start at radius 2 for them, unless
// one key is asked for: the walk at radius 1 would cost a tenth of the one at
// 2 and seldom spare it.
constexpr std::size_t LONG_WORD = 6;

// The first radius of suggest's walks. The best key alone (n = 1) is often
// the word itself (a third of a column of messy data is spelled right), and
// the walk at radius 0 follows one path: trying it first costs little and
// spares the walk at 1 for those words (6% fewer instructions on words with
// 0 to 2 random edits against a word list of 663,473). Going from 0 straight
// to max_dist, the query's continuation first so that the radius drops as
// soon as a near key is found, costs more than the walk at 1 it spares.
std::uint64_t first_radius(const RankedQuery& query) {
  if (query.n == 1) return 0;
  return query.text.size() >= LONG_WORD ? 2 : 1;
}

}  // namespace

std::vector<RankedMatch> suggest(const SearchTrie& trie, const RankedQuery& query) {
  return ranked(trie, query, first_radius(query), true,
                [](const auto& view, auto&& rows, auto text, auto max_dist, auto& sink) {
                  walk::walk_tree(view, std::forward<decltype(rows)>(rows), text, max_dist, sink);
                });
}

std::vector<RankedMatch> complete(const SearchTrie& trie, const RankedQuery& query) {
  return ranked(
      trie, query, 1, false, [](const auto& view, auto&& rows, auto text, auto max_dist, auto& sink) {
        walk::complete_tree(view, std::forward<decltype(rows)>(rows), text, max_dist, sink);
      });
}

}  // namespace prefix
