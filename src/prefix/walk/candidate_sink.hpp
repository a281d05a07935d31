// The sink that gathers candidates for a ranking done after the walk: every
// key offered, with its text and distance, in flat storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/store/trie.hpp"

namespace prefix::walk {

// Keeps every node offered (its radius stays the walk's max_dist): its
// text, appended to one buffer, its node id and distance. O(text) per node.
class CandidateSink {
 public:
  explicit CandidateSink(std::uint64_t max_dist) : max_dist_(max_dist) {}

  [[nodiscard]] std::uint64_t radius() const noexcept { return max_dist_; }
  [[nodiscard]] static bool is_done() noexcept { return false; }
  static constexpr bool ANY_ORDER = true;

  void accept(NodeId node, std::u32string_view text, std::uint64_t distance) {
    found_.push_back(Found{node, distance, texts_.size(), text.size()});
    texts_.append(text);
  }

  struct Found {
    NodeId node;
    std::uint64_t distance;
    std::size_t start;  // of its text in texts()
    std::size_t length;
  };

  [[nodiscard]] const std::vector<Found>& found() const noexcept { return found_; }
  [[nodiscard]] std::u32string_view text(const Found& found) const noexcept {
    return std::u32string_view(texts_).substr(found.start, found.length);
  }

 private:
  std::uint64_t max_dist_;
  std::vector<Found> found_;
  std::u32string texts_;
};

}  // namespace prefix::walk
