// The sink of ranked queries: keeps the best n nodes offered, and lowers the
// walk's radius to the worst distance it keeps once it holds n.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/store/payload_minima.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/sinks.hpp"

namespace prefix {

// A key a ranked query reports.
struct RankedMatch {
  std::string key;  // UTF-8
  std::uint32_t payload;
  std::uint64_t distance;

  friend bool operator==(const RankedMatch&, const RankedMatch&) = default;
};

// The score of a payload, higher first among keys at one distance; empty:
// keys at one distance go by payload, lower first. May throw (the walk then
// stops and the query fails with what it threw).
using ScoreOf = std::function<double(std::uint32_t payload)>;

}  // namespace prefix

namespace prefix::walk {

// What a ranked walk knows before it starts: no key lies nearer than
// `floor` (an earlier walk at floor - 1 found none), and, on a tree that
// numbers keys, the least payload of any range of key numbers (null: not
// known, or no key numbers).
struct RankedBounds {
  std::uint64_t floor = 0;
  const PayloadMinima* payloads = nullptr;
};

// Keeps the n best nodes offered: nearest first, then by score (descending)
// or payload (ascending), then by key (code points). Once it holds n its
// radius is the distance of the worst it keeps: a node further away cannot
// enter, but one at that distance can still beat the worst on the rest of
// the order, so the bound is not lowered below it and ties are exact.
// Without scores and with key numbers, it then settles (sinks.hpp) a range
// of keys that lies no nearer than the worst (by its row, or by the floor)
// and whose payloads are all larger than the worst's: each of those keys
// would rank after it, so the walk passes over their subtrees.
// O(log n) per node offered, plus a score lookup; `payload_of(node)` gives a
// node's payload; O(1) per range settled.
template <class PayloadOf>
class TopSink {
 public:
  TopSink(std::uint64_t n, std::uint64_t max_dist, PayloadOf payload_of, const ScoreOf& score_of,
          const RankedBounds& bounds = {})
      : n_(n),
        max_dist_(max_dist),
        payload_of_(std::move(payload_of)),
        score_of_(score_of),
        bounds_(bounds),
        settles_(bounds.payloads != nullptr && !score_of) {}

  [[nodiscard]] std::uint64_t radius() const noexcept {
    return kept_.size() < n_ ? max_dist_ : kept_.front().distance;
  }
  [[nodiscard]] bool is_done() const noexcept { return n_ == 0; }
  // What it keeps is ordered by its own rule, whatever order nodes come in.
  static constexpr bool ANY_ORDER = true;
  // How many nodes it keeps: min(n, the nodes offered so far).
  [[nodiscard]] std::size_t size() const noexcept { return kept_.size(); }

  // Whether a further node must beat one it keeps, and it can tell which
  // ranges of keys cannot.
  [[nodiscard]] bool is_full() const noexcept { return settles_ && kept_.size() >= n_ && n_ > 0; }
  // Whether keys first to end - 1, whose row may have a cell below the
  // radius when `below_radius`, can only rank after the worst kept; requires
  // is_full().
  [[nodiscard]] bool settles(std::uint32_t first, std::uint32_t end,
                             bool below_radius) const noexcept {
    const Kept& worst = kept_.front();
    if (below_radius && worst.distance > bounds_.floor) return false;
    return bounds_.payloads->min_over(first, end) > worst.payload;
  }

  void accept(NodeId node, std::u32string_view text, std::uint64_t distance) {
    const std::uint32_t payload = payload_of_(node);
    const double score = score_of_ ? score_of_(payload) : 0.0;
    const auto worse = [this](const Kept& a, const Kept& b) { return is_before(a, b); };
    if (kept_.size() < n_) {
      kept_.push_back(Kept{distance, score, payload, std::u32string(text)});
      std::push_heap(kept_.begin(), kept_.end(), worse);
      return;
    }
    const Kept& last = kept_.front();
    if (distance > last.distance) return;
    if (distance == last.distance) {
      const int order = compare_rank(score, payload, last);
      if (order > 0 || (order == 0 && text >= std::u32string_view(last.key))) return;
    }
    std::pop_heap(kept_.begin(), kept_.end(), worse);
    kept_.back() = Kept{distance, score, payload, std::u32string(text)};
    std::push_heap(kept_.begin(), kept_.end(), worse);
  }

  // The kept nodes, best first.
  [[nodiscard]] std::vector<RankedMatch> take() && {
    std::sort(kept_.begin(), kept_.end(),
              [this](const Kept& a, const Kept& b) { return is_before(a, b); });
    std::vector<RankedMatch> out;
    out.reserve(kept_.size());
    for (const Kept& kept : kept_) {
      out.push_back(RankedMatch{encode_utf8(kept.key), kept.payload, kept.distance});
    }
    return out;
  }

 private:
  struct Kept {
    std::uint64_t distance;
    double score;
    std::uint32_t payload;
    std::u32string key;
  };

  // Negative when (score, payload) goes before `kept`'s at one distance.
  [[nodiscard]] int compare_rank(double score, std::uint32_t payload,
                                 const Kept& kept) const noexcept {
    if (score_of_) return score > kept.score ? -1 : (score < kept.score ? 1 : 0);
    return payload < kept.payload ? -1 : (payload > kept.payload ? 1 : 0);
  }

  [[nodiscard]] bool is_before(const Kept& a, const Kept& b) const noexcept {
    if (a.distance != b.distance) return a.distance < b.distance;
    const int order = compare_rank(a.score, a.payload, b);
    return order != 0 ? order < 0 : a.key < b.key;
  }

  std::uint64_t n_;
  std::uint64_t max_dist_;
  PayloadOf payload_of_;
  const ScoreOf& score_of_;
  RankedBounds bounds_;
  bool settles_;
  std::vector<Kept> kept_;  // a heap, the worst in front, until taken
};

}  // namespace prefix::walk
