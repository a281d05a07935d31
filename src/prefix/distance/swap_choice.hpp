// The choice of row kind for a query that counts adjacent swaps as one edit
// (the optimal-string-alignment distance).
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "prefix/distance/band_swap_sets.hpp"
#include "prefix/distance/choice.hpp"
#include "prefix/distance/packed_swap_band.hpp"
#include "prefix/distance/row_kind.hpp"

namespace prefix::distance {

// Calls `use(rows)` with the swap row kind made for `query` and `max_dist`:
//
//   max_dist      kind                     a step costs
//   0 .. 3        PackedSwapBand<max_dist> ~13 word operations, row in three words
//   4 .. 31       BandSwapSets             ~4 (max_dist + 1) word operations and
//                                          max_dist + 1 stores
//   32 .. 253     CellRows<uint8_t, true>  two passes over min(n + 1,
//                                          2 max_dist + 1) cells, three in place
//   254 and up    CellRows<uint64_t, true> as above
//
// As for with_rows, the bit sets need 2 max_dist + 1 < 64 bits per word; the
// query length does not enter.
template <class Use>
decltype(auto) with_swap_rows(std::u32string_view query, std::uint64_t max_dist, Use&& use) {
  if (max_dist <= MAX_PACKED) return with_packed<PackedSwapBand>(query, max_dist, use);
  if (max_dist <= BandSwapSets::MAX_DIST) {
    return std::forward<Use>(use)(BandSwapSets(query, max_dist));
  }
  return with_cell_rows<true>(query, max_dist, std::forward<Use>(use));
}

// with_swap_rows when `swaps`, else with_rows (choice.hpp): `use` is
// instantiated for the kinds of both.
template <class Use>
decltype(auto) with_rows_of(bool swaps, std::u32string_view query, std::uint64_t max_dist,
                            Use&& use) {
  if (swaps) return with_swap_rows(query, max_dist, std::forward<Use>(use));
  return with_rows(query, max_dist, std::forward<Use>(use));
}

// with_rows_of with fewer kinds, for walks that seldom go beyond max_dist 3
// (case-folded lookups, the spelling ranker's candidates): the packed kinds
// up to 3, and from 4 on one banded kind that serves every max_dist and
// length, CellRows<uint64_t> with or without swaps. `use` is instantiated for
// 10 kinds rather than 15, and each walk instantiated costs its share of the
// build; a walk beyond 3 steps through cells rather than bit sets.
template <class Use>
decltype(auto) with_near_rows_of(bool swaps, std::u32string_view query, std::uint64_t max_dist,
                                 Use&& use) {
  if (swaps) {
    if (max_dist <= MAX_PACKED) return with_packed<PackedSwapBand>(query, max_dist, use);
    return std::forward<Use>(use)(widest_cells<true>(query, max_dist));
  }
  if (max_dist <= MAX_PACKED) return with_packed<PackedBand>(query, max_dist, use);
  return std::forward<Use>(use)(widest_cells(query, max_dist));
}

static_assert(RowKind<PackedSwapBand<0>> && RowKind<PackedSwapBand<3>> && RowKind<BandSwapSets> &&
              RowKind<CellRows<std::uint8_t, true>> && RowKind<CellRows<std::uint64_t, true>>);

}  // namespace prefix::distance
