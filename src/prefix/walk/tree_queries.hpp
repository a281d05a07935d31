// The walks of every query on one form of tree, behind a class per view.
// Each walk is instantiated for every row kind, which makes them most of the
// build: their definitions (tree_queries_impl.hpp) are compiled in units of
// their own, one per view and per stored or folded (walk/instances/), which
// spread over the cores; callers see only these declarations. The row
// kinds' steps are always inlined, so that how a walk is compiled does not
// depend on which other walks share its unit.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "prefix/match_record.hpp"
#include "prefix/walk/candidate_sink.hpp"
#include "prefix/walk/payload_of.hpp"
#include "prefix/walk/top_sink.hpp"
#include "prefix/walk/tree_view.hpp"

namespace prefix::walk {

// The queries over the tree `View` (tree_view.hpp) reads, as stored. The
// view must be a tree (check_tree): it is read without checks. Each picks
// its row kind by max_dist (distance/choice.hpp, swap_choice.hpp) and runs
// one walk; costs are the walk's (tree_walk.hpp, completion_walk.hpp).
template <class View, class PayloadOf>
struct TreeQueries {
  // The records of fuzzy_match: the tree walk with a LimitSink.
  static std::vector<MatchRecord> fuzzy(const View& tree, std::u32string_view query,
                                        std::uint64_t max_dist, std::optional<std::uint64_t> limit);
  // The record of exact_match: a descent along the query, backtracking only
  // where siblings repeat a code point.
  static std::optional<MatchRecord> exact(const View& tree, std::u32string_view query);
  // One walk of suggest (walk_tree) or complete (complete_tree) at `radius`,
  // which must not be below sink.radius(), with the rows with_rows_of picks
  // (adjacent swaps as one edit when `swaps`).
  static void suggest(const View& tree, std::u32string_view query, bool swaps, std::uint64_t radius,
                      TopSink<PayloadOf>& sink);
  static void complete(const View& tree, std::u32string_view query, bool swaps,
                       std::uint64_t radius, TopSink<PayloadOf>& sink);
  // Every key within `radius` of `text` with adjacent swaps as one edit, into
  // `sink`, with the rows of with_near_rows_of (the spelling ranker's
  // candidates).
  static void candidates(const View& tree, std::u32string_view text, std::uint64_t radius,
                         CandidateSink& sink);
};

// suggest and complete on the tree with case ignored: the walks over
// FoldedView<View> of `folded` (the query folded), with the rows of
// with_near_rows_of.
template <class View, class PayloadOf>
struct FoldedQueries {
  static void suggest(const View& tree, std::u32string_view folded, bool swaps,
                      std::uint64_t radius, TopSink<PayloadOf>& sink);
  static void complete(const View& tree, std::u32string_view folded, bool swaps,
                       std::uint64_t radius, TopSink<PayloadOf>& sink);
};

// Compiled in walk/instances/, a unit each.
extern template struct TreeQueries<ShapeView, ArrayPayloadOf>;
extern template struct TreeQueries<CompactView<std::uint8_t>, CompactPayloadOf>;
extern template struct TreeQueries<CompactView<std::uint16_t>, CompactPayloadOf>;
extern template struct TreeQueries<CompactView<std::uint32_t>, CompactPayloadOf>;
extern template struct TreeQueries<SharedView<std::uint8_t>, SharedPayloadOf>;
extern template struct TreeQueries<SharedView<std::uint16_t>, SharedPayloadOf>;
extern template struct TreeQueries<SharedView<std::uint32_t>, SharedPayloadOf>;
extern template struct FoldedQueries<ShapeView, ArrayPayloadOf>;
extern template struct FoldedQueries<CompactView<std::uint8_t>, CompactPayloadOf>;
extern template struct FoldedQueries<CompactView<std::uint16_t>, CompactPayloadOf>;
extern template struct FoldedQueries<CompactView<std::uint32_t>, CompactPayloadOf>;
extern template struct FoldedQueries<SharedView<std::uint8_t>, SharedPayloadOf>;
extern template struct FoldedQueries<SharedView<std::uint16_t>, SharedPayloadOf>;
extern template struct FoldedQueries<SharedView<std::uint32_t>, SharedPayloadOf>;

}  // namespace prefix::walk
