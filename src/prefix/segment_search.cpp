// The segmentation of a text into keys: the sink that takes every end a key
// reaches from one position, and the dynamic program over positions.
#include "prefix/segment_search.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/swap_choice.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/tree_of.hpp"
#include "prefix/walk/tree_walk.hpp"
#include "prefix/word_cost.hpp"

namespace prefix {
namespace {

constexpr double UNREACHED = std::numeric_limits<double>::infinity();

// The cheapest way found so far to the position, and its last piece.
struct Step {
  double cost = UNREACHED;
  std::uint32_t from = 0;
  PieceKind kind = PieceKind::KEPT;
  std::u32string key;
  std::uint32_t payload = 0;
  std::uint64_t distance = 0;
};

// The table of the dynamic program: a Step per position, and the cost of
// the cuts a piece makes.
class Ways {
 public:
  explicit Ways(const SegmentQuery& query)
      : query_(query), steps_(query.text.size() + 1), inside_(query.text.size() + 2, 0) {
    steps_[0].cost = 0.0;
    std::vector<bool> cut(query.text.size() + 1, false);
    for (const std::uint32_t at : query.boundaries) {
      if (at > 0 && at < query.text.size()) cut[at] = true;
    }
    cut_ = std::move(cut);
    // inside_[k]: boundaries at positions below k.
    for (std::size_t k = 1; k < inside_.size(); ++k) {
      inside_[k] = inside_[k - 1] + (k - 1 < cut_.size() && cut_[k - 1] ? 1 : 0);
    }
  }

  // Whether the text is cut at `position` (its ends included).
  [[nodiscard]] bool is_cut(std::size_t position) const noexcept {
    return position == 0 || position >= query_.text.size() || cut_[position];
  }

  [[nodiscard]] double cost_at(std::size_t position) const noexcept {
    return steps_[position].cost;
  }

  // What the cuts of a piece [start, end) cost: the text's boundaries inside
  // it, and its end when the text has none there.
  [[nodiscard]] double cuts(std::size_t start, std::size_t end) const noexcept {
    const std::uint32_t joined = inside_[end] - inside_[start + 1];
    const bool split = end < query_.text.size() && !cut_[end];
    return joined * query_.costs.join + (split ? query_.costs.split : 0.0);
  }

  // Takes the piece [start, end) at `cost` (its own, cuts included) when
  // that makes a cheaper way to `end`.
  template <class Fill>
  void offer(std::size_t start, std::size_t end, double cost, Fill fill) {
    const double total = steps_[start].cost + cost;
    Step& step = steps_[end];
    if (total < step.cost) {
      step.cost = total;
      step.from = static_cast<std::uint32_t>(start);
      fill(step);
    }
  }

  [[nodiscard]] Segmentation take() && {
    Segmentation out;
    const std::size_t n = query_.text.size();
    out.cost = steps_[n].cost;
    for (std::size_t end = n; end > 0;) {
      Step& step = steps_[end];
      const bool keyed = step.kind == PieceKind::KEY;
      out.pieces.push_back(Piece{step.from, static_cast<std::uint32_t>(end), step.kind,
                                 keyed ? encode_utf8(step.key) : std::string(),
                                 keyed ? step.payload : 0, keyed ? step.distance : 0});
      end = step.from;
    }
    std::reverse(out.pieces.begin(), out.pieces.end());
    return out;
  }

 private:
  const SegmentQuery& query_;
  std::vector<Step> steps_;
  std::vector<bool> cut_;
  std::vector<std::uint32_t> inside_;
};

// Takes, for one start position, every key the walk reaches with each end of
// the text it reaches, into the table.
template <class PayloadOf>
class EndSink {
 public:
  static constexpr bool TAKES_ENDS = true;
  static constexpr bool ANY_ORDER = true;

  EndSink(Ways& ways, std::size_t start, std::uint64_t radius, const SegmentQuery& query,
          PayloadOf payload_of)
      : ways_(ways),
        start_(start),
        radius_(radius),
        query_(query),
        payload_of_(std::move(payload_of)) {}

  [[nodiscard]] std::uint64_t radius() const noexcept { return radius_; }
  [[nodiscard]] static bool is_done() noexcept { return false; }

  template <class Ends>
  void accept_ends(NodeId node, std::u32string_view key, Ends ends) {
    const std::uint32_t payload = payload_of_(node);
    const double cost = query_.words(payload);
    ends([&](std::size_t length, std::uint64_t distance) {
      if (length == 0 || distance > edits_allowed(std::min(length, key.size()))) return;
      const std::size_t end = start_ + length;
      ways_.offer(
          start_, end,
          cost + static_cast<double>(distance) * query_.costs.per_edit + ways_.cuts(start_, end),
          [&](Step& step) {
            step.kind = PieceKind::KEY;
            step.key.assign(key);
            step.payload = payload;
            step.distance = distance;
          });
    });
  }

 private:
  Ways& ways_;
  std::size_t start_;
  std::uint64_t radius_;
  const SegmentQuery& query_;
  PayloadOf payload_of_;
};

}  // namespace

Segmentation segment(const SearchTrie& trie, const SegmentQuery& query) {
  return walk::on_folded_tree(
      trie,
      [&](const auto& view, auto payload_of) {
        const std::u32string_view text = query.text;
        const std::size_t n = text.size();
        Ways ways(query);
        std::vector<std::vector<const FixedPiece*>> fixed_from(n);
        // within[k]: k lies strictly inside a fixed piece.
        std::vector<bool> within(n, false);
        for (const FixedPiece& piece : query.fixed) {
          if (piece.start < piece.end && piece.end <= n) {
            fixed_from[piece.start].push_back(&piece);
            for (std::size_t k = piece.start + 1; k < piece.end; ++k) within[k] = true;
          }
        }
        // No key is longer than the tree is high, nor within max_dist of a piece
        // more than max_dist longer.
        const std::size_t reach =
            std::size_t{view.height} + std::min<std::uint64_t>(query.max_dist, n);
        for (std::size_t start = 0; start < n; ++start) {
          if (ways.cost_at(start) == UNREACHED) continue;
          const std::u32string_view rest = text.substr(start, reach);
          // A word the caller knows (a fixed piece) is seldom the start of a
          // typo: only pieces at the start of other words take max_dist, and
          // a piece that begins inside a known word takes none.
          const bool starts_word = ways.is_cut(start) && fixed_from[start].empty();
          const std::uint64_t radius = within[start] ? 0
                                       : starts_word ? query.max_dist
                                                     : std::min(query.max_dist, INSIDE_MAX_DIST);
          EndSink sink(ways, start, radius, query, payload_of);
          distance::with_end_rows_of(query.swaps, rest, radius, [&](auto&& rows) {
            walk::walk_tree(view, std::forward<decltype(rows)>(rows), rest, radius, sink);
          });
          for (const FixedPiece* piece : fixed_from[start]) {
            ways.offer(start, piece->end, piece->cost + ways.cuts(start, piece->end),
                       [](Step& step) { step.kind = PieceKind::FIXED; });
          }
          const std::size_t longest = std::min<std::size_t>(MAX_KEPT, n - start);
          for (std::size_t length = 1; length <= longest; ++length) {
            const double cost = query.costs.kept_piece +
                                static_cast<double>(length) * query.costs.kept_per_code +
                                ways.cuts(start, start + length);
            ways.offer(start, start + length, cost,
                       [](Step& step) { step.kind = PieceKind::KEPT; });
          }
        }
        return std::move(ways).take();
      },
      "segmentations");
}

}  // namespace prefix
