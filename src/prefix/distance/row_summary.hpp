// What a node's Levenshtein row tells the tree walks.
#pragma once

#include <cstdint>

namespace prefix::walk {

struct RowSummary {
  bool open;               // some cell is within max_dist: the children are visited
  bool in_reach;           // the last cell (column n) is within max_dist
  std::uint64_t distance;  // that last cell, when in reach
};

}  // namespace prefix::walk
