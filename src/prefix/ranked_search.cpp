// The ranked queries: walks at growing radii on the form the trie is kept
// in, as stored or with case folded. The walks themselves, with their row
// kinds, are compiled apart (walk/tree_queries.hpp).
#include "prefix/ranked_search.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "prefix/spell/case_fold.hpp"
#include "prefix/walk/tree_of.hpp"
#include "prefix/walk/tree_queries.hpp"

namespace prefix {
namespace {

// Radii tried before max_dist itself: each walk costs several times the one
// before, so when n keys lie within a small radius, the walks up to it cost
// less than one at max_dist; when they do not, the smaller walks add a
// fraction of the last one.
constexpr std::uint64_t DEEPEN_UP_TO = 3;

// Words of this many code points or more rarely have several keys one edit
// away (in an English word list, 4% of 1,000 misspellings of 9 code points
// on average have 5), so suggest's walks start at radius 2 for them, unless
// one key is asked for: the walk at radius 1 would cost a tenth of the one at
// 2 and seldom spare it.
constexpr std::size_t LONG_WORD = 6;

// The first radius of suggest's walks. The best key alone (n = 1) is often
// the word itself (a third of a column of messy data is spelled right), and
// radius 0 is a descent along the word (offer_exact): trying it first costs
// little and spares the walk at 1 for those words (6% fewer instructions on
// words with 0 to 2 random edits against a word list of 663,473; the
// descent takes 1,700 instructions a word where a walk at radius 0 took
// 6,600). Going from 0 straight to max_dist, the
// query's continuation first so that the radius drops as soon as a near key
// is found, costs more than the walk at 1 it spares.
std::uint64_t first_radius(const RankedQuery& query) {
  if (query.n == 1) return 0;
  return query.text.size() >= LONG_WORD ? 2 : 1;
}

// The first radius of complete's walks.
constexpr std::uint64_t FIRST_COMPLETION_RADIUS = 1;

enum class Walk : bool { Suggest, Complete };

// Offers `sink` every key whose text (as `view` reads code points) is
// `text`, at distance 0: what a walk at radius 0 finds, by a descent along
// the text instead, without the walk's rows and their set-up, which is
// most of that walk's cost. Siblings may repeat a code point: each of them
// is followed, in stored order.
template <class View, class Sink>
void offer_exact(const View& view, std::u32string_view text, Sink& sink) {
  // The root is never offered.
  if (text.empty() || sink.is_done()) return;
  struct Step {
    std::size_t position;  // the child's position, reached from its parent
    std::uint32_t depth;   // the child's depth, >= 1
    std::uint32_t parent_rank;
  };
  // The path's code points as stored, which a folded view does not read.
  std::u32string path(text.size(), U'\0');
  std::vector<Step> pending;
  const auto push_children = [&](NodeId node, std::size_t from, std::uint32_t depth,
                                 std::uint32_t rank) {
    const auto [start, end] = view.range_below(node, from, depth);
    const char32_t wanted = text[depth];
    if (view.sorted_children) {
      // Distinct and ascending: one child at most, found by binary search.
      std::size_t low = start;
      std::size_t high = end;
      while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (view.code_point(middle) < wanted) {
          low = middle + 1;
        } else {
          high = middle;
        }
      }
      if (low < end && view.code_point(low) == wanted) pending.push_back({low, depth + 1, rank});
    } else {
      // Pushed from the end, so that the first stored is taken first.
      for (std::size_t k = end; k-- > start;) {
        if (view.code_point(k) == wanted) pending.push_back({k, depth + 1, rank});
      }
    }
  };
  push_children(view.root(), view.child_count, 0, 0);
  while (!pending.empty() && !sink.is_done()) {
    const Step step = pending.back();
    pending.pop_back();
    const std::uint32_t key = view.key(step.position);
    const std::uint32_t rank = view.rank_of(step.parent_rank, step.position);
    path[step.depth - 1] = key & ~walk::HAS_PAYLOAD;
    const NodeId node = view.target(step.position);
    if (step.depth < text.size()) {
      push_children(node, step.position, step.depth, rank);
    } else if ((key & walk::HAS_PAYLOAD) != 0) {
      sink.accept(view.reported(node, rank), path, 0);
    }
  }
}

// Whether `Queries` are the walks with case ignored.
template <template <class, class> class Queries>
constexpr bool FOLDED = std::is_same_v<Queries<walk::ShapeView, walk::ArrayPayloadOf>,
                                       walk::FoldedQueries<walk::ShapeView, walk::ArrayPayloadOf>>;

// Walks `text` (the query's, folded when query.fold) at radius `first`,
// first + 1, ... DEEPEN_UP_TO, then max_dist, each with a fresh sink, until
// one holds n keys: every key within that radius was offered to it, so its
// n best are the n best within max_dist. A walk after one that found nothing
// knows that no key lies nearer than the radius that one walked at, plus
// one. suggest's sinks rank by payload without scores, and then pass over
// ranges of keys by the trie's payload minima (walk::TopSink).
template <template <class, class> class Queries>
std::vector<RankedMatch> ranked(const SearchTrie& trie, const RankedQuery& query,
                                std::u32string_view text, std::uint64_t first, Walk kind) {
  const bool by_payload = kind == Walk::Suggest && !query.score_of;
  walk::RankedBounds bounds{0, by_payload ? trie.payload_minima() : nullptr};
  return walk::on_tree(
      trie, [&]<class View, class PayloadOf>(const View& view, PayloadOf payload_of) {
        std::uint64_t radius = std::min(query.max_dist, first);
        while (true) {
          walk::TopSink sink(query.n, radius, payload_of, query.score_of, bounds);
          if (kind == Walk::Suggest && radius == 0) {
            if constexpr (FOLDED<Queries>) {
              offer_exact(walk::FoldedView(view), text, sink);
            } else {
              offer_exact(view, text, sink);
            }
          } else if (kind == Walk::Suggest) {
            Queries<View, PayloadOf>::suggest(view, text, query.swaps, radius, sink);
          } else {
            Queries<View, PayloadOf>::complete(view, text, query.swaps, radius, sink);
          }
          if (radius == query.max_dist || sink.size() >= query.n) return std::move(sink).take();
          if (sink.size() == 0) bounds.floor = radius + 1;
          radius = radius < DEEPEN_UP_TO ? radius + 1 : query.max_dist;
        }
      });
}

std::vector<RankedMatch> ranked(const SearchTrie& trie, const RankedQuery& query,
                                std::uint64_t first, Walk kind) {
  if (!query.fold) return ranked<walk::TreeQueries>(trie, query, query.text, first, kind);
  const std::u32string folded = fold_case(query.text);
  return ranked<walk::FoldedQueries>(trie, query, folded, first, kind);
}

}  // namespace

std::vector<RankedMatch> suggest(const SearchTrie& trie, const RankedQuery& query) {
  return ranked(trie, query, first_radius(query), Walk::Suggest);
}

std::vector<RankedMatch> complete(const SearchTrie& trie, const RankedQuery& query) {
  return ranked(trie, query, FIRST_COMPLETION_RADIUS, Walk::Complete);
}

}  // namespace prefix
