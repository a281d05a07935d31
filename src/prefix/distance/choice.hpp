// The choice of row kind for a query: the one place where max_dist picks how
// the walk computes its Levenshtein rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include "prefix/distance/band_sets.hpp"
#include "prefix/distance/cell_rows.hpp"
#include "prefix/distance/packed_band.hpp"
#include "prefix/distance/row_kind.hpp"

namespace prefix::distance {

// The largest max_dist of the packed kinds.
constexpr std::uint64_t MAX_PACKED = 3;

// Calls `use(Packed<max_dist>(query))` for a max_dist of at most MAX_PACKED.
template <template <std::size_t> class Packed, class Use>
decltype(auto) with_packed(std::u32string_view query, std::uint64_t max_dist, Use& use) {
  switch (max_dist) {
    case 0:
      return use(Packed<0>(query));
    case 1:
      return use(Packed<1>(query));
    case 2:
      return use(Packed<2>(query));
    default:
      return use(Packed<MAX_PACKED>(query));
  }
}

// CellRows of 64-bit cells, which serve any max_dist (with swaps or not).
// From 2^63 on no cell can reach the cap (cells are at most depth + n), so
// the cap stays there.
template <bool SWAPS = false>
CellRows<std::uint64_t, SWAPS> widest_cells(std::u32string_view query, std::uint64_t max_dist) {
  constexpr std::uint64_t never_reached = std::uint64_t{1} << 63;
  return {query, max_dist, max_dist < never_reached ? max_dist + 1 : never_reached};
}

// Calls `use(rows)` with CellRows<Cell, SWAPS> made for `query` and
// `max_dist`: 8-bit cells while they hold max_dist + 2 (so that cap + 1
// cannot wrap), 64-bit ones beyond. Two widths only: every walk is
// instantiated for every kind, and past max_dist 253 a walk is rare and
// visits most of the tree, so wider cells cost it little.
template <bool SWAPS, class Use>
decltype(auto) with_cell_rows(std::u32string_view query, std::uint64_t max_dist, Use&& use) {
  if (max_dist <= std::numeric_limits<std::uint8_t>::max() - std::uint64_t{2}) {
    return std::forward<Use>(use)(
        CellRows<std::uint8_t, SWAPS>(query, max_dist, static_cast<std::uint8_t>(max_dist + 1)));
  }
  return std::forward<Use>(use)(widest_cells<SWAPS>(query, max_dist));
}

// Calls `use(rows)` with the row kind made for `query` and `max_dist`, and
// returns what it returns:
//
//   max_dist              kind                 a step costs
//   0, 1, 2, 3            PackedBand<max_dist> ~10 word operations, row in one word
//   4 .. 31               BandSets             ~4 (max_dist + 1) word operations
//   32 .. 253             CellRows<uint8_t>    min(n + 1, 2 max_dist + 1) cells
//   254 and up            CellRows<uint64_t>   as above
//
// The set rows need a bit per column of the band, 2 max_dist + 1 < 64 of
// them; cells are 8 or 64 bits wide (with_cell_rows). The
// query length does not enter: each kind serves every length, and the
// banded kinds cost the same for long queries.
template <class Use>
decltype(auto) with_rows(std::u32string_view query, std::uint64_t max_dist, Use&& use) {
  if (max_dist <= MAX_PACKED) return with_packed<PackedBand>(query, max_dist, use);
  if (max_dist <= BandSets::MAX_DIST) return std::forward<Use>(use)(BandSets(query, max_dist));
  return with_cell_rows<false>(query, max_dist, std::forward<Use>(use));
}

static_assert(RowKind<PackedBand<0>> && RowKind<PackedBand<3>> && RowKind<BandSets> &&
              RowKind<CellRows<std::uint8_t>> && RowKind<CellRows<std::uint64_t>>);

}  // namespace prefix::distance
