// The segmentation of a text into keys: the sink that takes every end a key
// reaches from one position, and the dynamic program over positions.
#include "prefix/segment_search.hpp"

#include <algorithm>
#include <array>
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

// A way found so far to a position: its cost, and its last piece.
struct Step {
  double cost = UNREACHED;
  std::uint32_t from = 0;     // where the piece starts ...
  std::uint8_t from_way = 0;  // ... and which of the ways there it follows
  PieceKind kind = PieceKind::KEPT;
  std::string key;  // a KEY piece's key, UTF-8: most are short enough to need no heap
  std::uint32_t payload = 0;
  std::uint64_t distance = 0;
  std::uint32_t last = NO_KEY;  // the key the piece stands for, if any
};

// The ways kept per position: the cheapest ones ending in different keys
// (or in none), so that a key that pairs well with the next piece is not
// lost to a cheaper way ending in another. Without pairs only the cheapest
// is ever followed.
constexpr std::size_t WAYS = 4;

// The table of the dynamic program: the ways to each position, cheapest
// first, and the cost of the cuts a piece makes.
class Ways {
 public:
  explicit Ways(const SegmentQuery& query)
      : query_(query),
        steps_((query.text.size() + 1) * WAYS),
        inside_(query.text.size() + 2, 0),
        sealed_(query.text.size() + 1, false) {
    for (const FixedPiece& piece : query.fixed) {
      if (!piece.written) continue;
      for (std::size_t k = piece.start + 1; k < piece.end && k < sealed_.size(); ++k) {
        sealed_[k] = true;
      }
    }
    steps_[0].cost = 0.0;
    steps_[0].last = query.before;
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

  // Readies the offers of pieces that start at `start`, whose ways are all
  // found by then: the pairs each begins with.
  void begin(std::size_t start) {
    for (std::size_t way = 0; way < WAYS; ++way) {
      const Step& from = steps_[start * WAYS + way];
      if (from.cost == UNREACHED) break;
      from_pairs_[way] = query_.pairs.from(from.last);
    }
    start_ = start;
  }

  // Whether the text is cut at `position` (its ends included).
  [[nodiscard]] bool is_cut(std::size_t position) const noexcept {
    return position == 0 || position >= query_.text.size() || cut_[position];
  }

  // The cost of the cheapest way to `position`.
  [[nodiscard]] double cost_at(std::size_t position) const noexcept {
    return steps_[position * WAYS].cost;
  }

  // What the cuts of a piece [start, end) cost: the text's boundaries inside
  // it, and its end when the text has none there.
  [[nodiscard]] double cuts(std::size_t start, std::size_t end) const noexcept {
    const std::uint32_t joined = inside_[end] - inside_[start + 1];
    const bool split = end < query_.text.size() && !cut_[end];
    return joined * query_.costs.join + (split ? query_.costs.split : 0.0);
  }

  // Takes the piece [start, end) at `cost` (its own, cuts included) after
  // each way to `start`, keeping the ways to `end` it makes cheaper. A piece
  // that stands for key `payload` (not NO_KEY), of which `alone` is the part
  // its key alone costs, pays for that key as a pair with the key that ends
  // the way before it, and with the word after the text when it ends the
  // text, unless it cuts into a word as written (then it pairs with
  // nothing, either side); a piece without a key follows the cheapest way
  // only.
  template <class Fill>
  void offer(std::size_t start, std::size_t end, double cost, std::uint32_t payload, double alone,
             Fill fill) {
    if (sealed_[start] || sealed_[end]) {
      // Priced alone, and paired with nothing after it: a piece without a key.
      keep(end, steps_[start * WAYS].cost + cost, start, 0, NO_KEY, fill);
      return;
    }
    if (payload != NO_KEY && end == query_.text.size() && query_.after != NO_KEY) {
      const double next = query_.words(query_.after);
      cost += query_.pairs.after(payload, query_.after, next) - next;
    }
    for (std::size_t way = 0; way < WAYS; ++way) {
      const Step& from = steps_[start * WAYS + way];
      if (from.cost == UNREACHED) break;
      double total = from.cost + cost;
      if (payload != NO_KEY) {
        // begin(start) has found the pairs of each way's last key.
        const PairCosts pairs = start == start_ ? from_pairs_[way] : query_.pairs.from(from.last);
        total += pairs.after(from.last, payload, alone) - alone;
      }
      keep(end, total, start, way, payload, fill);
      if (payload == NO_KEY || query_.pairs.empty()) break;
    }
  }

  [[nodiscard]] Segmentation take() && {
    Segmentation out;
    const std::size_t n = query_.text.size();
    out.cost = steps_[n * WAYS].cost;
    std::size_t way = 0;
    for (std::size_t end = n; end > 0;) {
      Step& step = steps_[end * WAYS + way];
      const bool keyed = step.kind == PieceKind::KEY;
      out.pieces.push_back(Piece{step.from, static_cast<std::uint32_t>(end), step.kind,
                                 keyed ? std::move(step.key) : std::string(),
                                 keyed ? step.payload : 0, keyed ? step.distance : 0});
      end = step.from;
      way = step.from_way;
    }
    std::reverse(out.pieces.begin(), out.pieces.end());
    return out;
  }

 private:
  // Keeps a way to `end` at `total` whose last piece stands for `last`, in
  // cost order (ties: the earlier kept first), unless a way as cheap ending
  // in the same key is kept already; the costliest way drops out.
  template <class Fill>
  void keep(std::size_t end, double total, std::size_t start, std::size_t way, std::uint32_t last,
            Fill& fill) {
    Step* ways = &steps_[end * WAYS];
    std::size_t top = WAYS;  // where the ways after the new one stop moving
    for (std::size_t k = 0; k < WAYS && ways[k].cost != UNREACHED; ++k) {
      if (ways[k].last == last) {
        if (ways[k].cost <= total) return;
        top = k;  // replaced: the ways after it stay where they are
        break;
      }
    }
    std::size_t at = 0;
    while (at < top && at < WAYS && ways[at].cost <= total) ++at;
    if (at == WAYS) return;
    const std::size_t hole = top == WAYS ? WAYS - 1 : top;
    for (std::size_t k = hole; k > at; --k) ways[k] = std::move(ways[k - 1]);
    Step& step = ways[at];
    step.cost = total;
    step.from = static_cast<std::uint32_t>(start);
    step.from_way = static_cast<std::uint8_t>(way);
    step.last = last;
    fill(step);
  }

  const SegmentQuery& query_;
  std::vector<Step> steps_;
  std::vector<bool> cut_;
  std::vector<std::uint32_t> inside_;
  std::vector<bool> sealed_;      // strictly inside a word as written
  std::size_t start_ = SIZE_MAX;  // the start readied by begin()
  std::array<PairCosts, WAYS> from_pairs_{};
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
    // The key's payload, cost and UTF-8 form, read once it explains a piece.
    bool read = false;
    std::uint32_t payload = NO_KEY;
    double cost = 0.0;
    std::string utf8;
    ends([&](std::size_t length, std::uint64_t distance) {
      if (length == 0 || distance > edits_allowed(std::min(length, key.size()))) return;
      if (!read) {
        read = true;
        payload = payload_of_(node);
        cost = query_.words(payload);
        utf8 = encode_utf8(key);
      }
      const std::size_t end = start_ + length;
      ways_.offer(
          start_, end,
          cost + static_cast<double>(distance) * query_.costs.per_edit + ways_.cuts(start_, end),
          payload, cost, [&](Step& step) {
            step.kind = PieceKind::KEY;
            step.key = utf8;
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
          ways.begin(start);
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
            const double alone = piece->payload == NO_KEY ? 0.0 : query.words(piece->payload);
            ways.offer(start, piece->end, piece->cost + ways.cuts(start, piece->end),
                       piece->payload, alone, [](Step& step) { step.kind = PieceKind::FIXED; });
          }
          const std::size_t longest = std::min<std::size_t>(MAX_KEPT, n - start);
          for (std::size_t length = 1; length <= longest; ++length) {
            const double cost = query.costs.kept_piece +
                                static_cast<double>(length) * query.costs.kept_per_code +
                                ways.cuts(start, start + length);
            ways.offer(start, start + length, cost, NO_KEY, 0.0,
                       [](Step& step) { step.kind = PieceKind::KEPT; });
          }
        }
        return std::move(ways).take();
      },
      "segmentations");
}

}  // namespace prefix
