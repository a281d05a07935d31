// The choice of row kind for a query that counts adjacent swaps as one edit
// (the optimal-string-alignment distance).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "prefix/distance/band_swap_sets.hpp"
#include "prefix/distance/choice.hpp"
#include "prefix/distance/packed_swap_band.hpp"
#include "prefix/distance/plain_row.hpp"
#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/distance/row_kind.hpp"

namespace prefix::distance {

// Calls `use(rows)` with the swap row kind made for `query` and `max_dist`:
//
//   max_dist   kind                     a step costs
//   0 .. 3     PackedSwapBand<max_dist> ~13 word operations, row in three words
//   4 .. 31    BandSwapSets             ~4 (max_dist + 1) word operations and
//                                       max_dist + 1 stores
//   32 and up  PlainSwapRows            a pass over 2 (n + 1) cells
//
// As for with_rows, the bit sets need 2 max_dist + 1 < 64 bits per word; the
// query length does not enter.
template <class Use>
decltype(auto) with_swap_rows(std::u32string_view query, std::uint64_t max_dist, Use&& use) {
  switch (max_dist) {
    case 0:
      return std::forward<Use>(use)(PackedSwapBand<0>(query));
    case 1:
      return std::forward<Use>(use)(PackedSwapBand<1>(query));
    case 2:
      return std::forward<Use>(use)(PackedSwapBand<2>(query));
    case 3:
      return std::forward<Use>(use)(PackedSwapBand<3>(query));
    default:
      break;
  }
  if (max_dist <= BandSwapSets::MAX_DIST) {
    return std::forward<Use>(use)(BandSwapSets(query, max_dist));
  }
  return std::forward<Use>(use)(PlainSwapRows(query, max_dist));
}

// with_swap_rows when `swaps`, else with_rows (choice.hpp): `use` is
// instantiated for the kinds of both.
template <class Use>
decltype(auto) with_rows_of(bool swaps, std::u32string_view query, std::uint64_t max_dist,
                            Use&& use) {
  if (swaps) return with_swap_rows(query, max_dist, std::forward<Use>(use));
  return with_rows(query, max_dist, std::forward<Use>(use));
}

// Calls `use(rows)` with a kind that lists every end of the query it
// reaches (EndRows): the packed kinds of with_rows_of for max_dist 0 to 3,
// the plain rows above, whose steps cost a pass over n + 1 cells (so the
// caller keeps n short).
template <class Use>
decltype(auto) with_end_rows_of(bool swaps, std::u32string_view query, std::uint64_t max_dist,
                                Use&& use) {
  const auto packed = [&]<std::size_t K>(std::integral_constant<std::size_t, K> /*k*/) {
    if (swaps) return std::forward<Use>(use)(PackedSwapBand<K>(query));
    return std::forward<Use>(use)(PackedBand<K>(query));
  };
  switch (max_dist) {
    case 0:
      return packed(std::integral_constant<std::size_t, 0>{});
    case 1:
      return packed(std::integral_constant<std::size_t, 1>{});
    case 2:
      return packed(std::integral_constant<std::size_t, 2>{});
    case 3:
      return packed(std::integral_constant<std::size_t, 3>{});
    default:
      break;
  }
  if (swaps) return std::forward<Use>(use)(PlainSwapRows(query, max_dist));
  return std::forward<Use>(use)(PlainRows(query, max_dist));
}

static_assert(EndRows<PackedBand<2>> && EndRows<PackedSwapBand<3>> && EndRows<PlainRows> &&
              EndRows<PlainSwapRows>);

static_assert(RowKind<PackedSwapBand<0>> && RowKind<PackedSwapBand<3>> && RowKind<BandSwapSets>);

}  // namespace prefix::distance
