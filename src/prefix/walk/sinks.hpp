// Result sinks: what the tree walk does with a node in reach, and how a sink
// narrows the walk as it learns.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/match_record.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/utf8.hpp"

namespace prefix::walk {

// The contract between the tree walk and a sink:
// - radius(): the largest distance the sink still wants. The walk reads it
//   before it starts and again after every accept(). It must not exceed the
//   max_dist the walk was started with, and it never grows. Once it drops,
//   the walk offers no node beyond it and opens no node whose row has no
//   cell within it: a subtree is skipped only when nothing in it is within
//   the radius. Nodes stacked before it dropped are still visited.
// - is_done(): whether the sink wants nothing more; the walk tests it before
//   it starts and after every accept(), and stops at once when it holds.
// - accept(node, text, distance): a node with a payload whose text (code
//   points from the root, valid until the walk moves on) is `distance` <=
//   radius() edits from the whole query. Nodes come in the walk's visiting
//   order; the root is never offered. The walk itself cannot fail on a tree,
//   so whatever accept() throws is the only way out of it.
// A sink whose answer does not depend on the order nodes come in says so
// with a static ANY_ORDER that is true; the walk then takes each node's
// children in stored order instead of the query's continuation first.
template <class S>
concept ResultSink = requires(S& sink, const S& const_sink, NodeId node, std::u32string_view text,
                              std::uint64_t distance) {
  { const_sink.radius() } -> std::same_as<std::uint64_t>;
  { const_sink.is_done() } -> std::same_as<bool>;
  sink.accept(node, text, distance);
};

template <class S>
constexpr bool takes_any_order = requires {
  requires S::ANY_ORDER;
};

// A sink that matches keys against every beginning of the query rather than
// the whole of it: the walk offers it every node with a payload that it
// visits (each has some cell within the radius) as accept_ends(node, text,
// ends), where ends(f) calls f(j, distance) for every j whose cell is within
// the radius: the key is `distance` edits from the query's first j code
// points. radius() and is_done() are as for a ResultSink. The walk then
// prunes no subtree by its height, since a short key can match a beginning.
template <class S>
concept EndsSink = requires(S& sink, const S& const_sink) {
  { const_sink.radius() } -> std::same_as<std::uint64_t>;
  { const_sink.is_done() } -> std::same_as<bool>;
  requires S::TAKES_ENDS;
};

// What the tree walk hands its nodes to.
template <class S>
concept WalkSink = ResultSink<S> || EndsSink<S>;

// A sink that can tell, before the walk visits a subtree, that no key below
// it can enter: is_full() once a further key must beat one it holds, then
// settles(first, end, below_radius) for the keys numbered first to end - 1
// below a node, whose row may (below_radius) or may not have a cell below
// the radius. The walk asks only in views that number keys (in pre-order,
// so the keys below a node are a range of numbers), in any visiting order.
// Wrong (true when a key there would enter): records lost.
template <class S>
constexpr bool settles_key_ranges = requires(const S& sink, std::uint32_t key, bool below) {
  { sink.is_full() } -> std::same_as<bool>;
  { sink.settles(key, key, below) } -> std::same_as<bool>;
};

// The sink of fuzzy_match: records every node offered, in order, until it
// holds `limit` of them. Its radius stays max_dist.
class LimitSink {
 public:
  LimitSink(std::uint64_t max_dist, std::optional<std::uint64_t> limit)
      : max_dist_(max_dist), limit_(limit.value_or(std::numeric_limits<std::uint64_t>::max())) {}

  [[nodiscard]] std::uint64_t radius() const noexcept { return max_dist_; }
  [[nodiscard]] bool is_done() const noexcept { return records_.size() >= limit_; }
  void accept(NodeId node, std::u32string_view text, std::uint64_t distance) {
    records_.push_back(MatchRecord{encode_utf8(text), node, distance});
  }

  [[nodiscard]] std::vector<MatchRecord> take() && { return std::move(records_); }

 private:
  std::uint64_t max_dist_;
  std::uint64_t limit_;
  std::vector<MatchRecord> records_;
};

static_assert(ResultSink<LimitSink>);

}  // namespace prefix::walk
