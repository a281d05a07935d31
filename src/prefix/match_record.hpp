// One key a fuzzy or exact query reports, whichever walk found it.
#pragma once

#include <cstdint>
#include <string>

#include "prefix/store/trie.hpp"

namespace prefix {

struct MatchRecord {
  std::string text;        // UTF-8 code points on the path from the root
  NodeId node_id;          // the reported node
  std::uint64_t distance;  // edit distance between `text` and the whole query

  friend bool operator==(const MatchRecord&, const MatchRecord&) = default;
};

}  // namespace prefix
