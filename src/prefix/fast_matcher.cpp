// The walk of the fuzzy and exact queries over a tree: banded, saturating
// Levenshtein rows in one flat buffer, the node's text as a code-point stack
// by depth, and an explicit stack of pending children.
#include "prefix/fast_matcher.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "prefix/utf8.hpp"

namespace prefix {
namespace {

// Pushes the children of `node` through `push` so that a stack pops them in
// visiting order: the children whose code point is `*wanted` first, then
// (unless `front_only`) all others, each group in stored order. `front` is
// scratch space for the first group, empty on entry and on return. One pass
// over the child range, from its end.
template <class Push>
void push_in_visiting_order(const Trie& trie, NodeId node, std::optional<char32_t> wanted,
                            bool front_only, std::vector<NodeId>& front, Push push) {
  const std::size_t start = trie.node_shifts[node];
  const std::size_t end = node + std::size_t{1} < trie.node_shifts.size()
                              ? std::size_t{trie.node_shifts[node + std::size_t{1}]}
                              : trie.child_indices.size();
  if (start >= end) return;
  if (!wanted) {
    if (front_only) return;
    for (std::size_t k = end; k-- > start;) {
      const NodeId child = trie.child_indices[k];
      push(child, *trie.node_chars[child]);
    }
    return;
  }
  for (std::size_t k = end; k-- > start;) {
    const NodeId child = trie.child_indices[k];
    const char32_t code_point = *trie.node_chars[child];
    if (code_point == *wanted) {
      front.push_back(child);
    } else if (!front_only) {
      push(child, code_point);
    }
  }
  // Collected from the end, so the first stored one is pushed last.
  for (const NodeId child : front) push(child, *wanted);
  front.clear();
}

// The row of one node, summed up for the walk's two decisions.
template <class Cell>
struct RowSummary {
  Cell least;  // smallest cell: the node stays open while it is within max_dist
  Cell last;   // cell n: the node's distance from the whole query
};

// Rows of the Levenshtein table between node texts and the query. A cell is
// the true distance when that is at most max_dist and `cap` otherwise: a cell
// above max_dist can neither be reported nor keep a node open, and every cell
// derived from it is at least as large, so clamping changes no decision.
//
// Cell j of a node at depth d is at least |j - d|, so only the band of
// columns d - max_dist .. d + max_dist can be within reach. When that band
// is narrower than the whole row (2 max_dist < n), a row stores just it, as
// 2 max_dist + 1 cells starting at column d - max_dist; columns outside 0..n
// hold `cap`. Otherwise a row stores all n + 1 columns. Each stored row is
// followed by one more cell that is always `cap`: the parent's column just
// past its band, read without a bounds test.
template <class Cell>
class Rows {
 public:
  Rows(std::u32string_view query, std::uint64_t max_dist, Cell cap)
      : query_(query),
        banded_(max_dist < (query.size() + 1) / 2),
        half_(banded_ ? static_cast<std::size_t>(max_dist) : 0),
        width_(banded_ ? 2 * half_ + 1 : query.size() + 1),
        cap_(cap) {}

  // Cells per stored row, the trailing `cap` cell included.
  [[nodiscard]] std::size_t stride() const noexcept { return width_ + 1; }
  [[nodiscard]] Cell cap() const noexcept { return cap_; }
  [[nodiscard]] bool within(Cell cell) const noexcept { return cell < cap_; }

  // The root's row: column j is j.
  void root(Cell* row) const noexcept {
    const std::ptrdiff_t low = first_column(0);
    for (std::size_t i = 0; i < width_; ++i)
      row[i] = clamp_column(low + static_cast<std::ptrdiff_t>(i));
    row[width_] = cap_;
  }

  // The row of a node at `depth` >= 1 whose edge code point is `edge`, from
  // its parent's row. `row` may be `parent` itself: each step reads the
  // parent's cells at and after the one it writes, keeping the one before.
  RowSummary<Cell> step(const Cell* parent, Cell* row, std::size_t depth,
                        char32_t edge) const noexcept {
    const std::size_t n = query_.size();
    const std::ptrdiff_t low = first_column(depth);
    // The parent's column j sits at parent[j - low + shift].
    const std::size_t shift = banded_ ? 1 : 0;
    // Stored positions [begin, end) hold the columns 1..n; before them lie
    // column 0 and columns below it, after them columns above n.
    const std::size_t begin = low >= 1 ? 0 : std::min(width_, static_cast<std::size_t>(1 - low));
    const std::ptrdiff_t past_n = static_cast<std::ptrdiff_t>(n) + 1 - low;
    const std::size_t end = past_n <= 0 ? 0 : std::min(width_, static_cast<std::size_t>(past_n));
    // The parent's cell diagonally up-left of position `begin`.
    Cell diagonal = begin + shift >= 1 ? parent[begin + shift - 1] : cap_;
    Cell least = cap_;
    Cell left = cap_;
    for (std::size_t i = 0; i < begin; ++i) {
      // Column 0 costs `depth` deletions; columns below 0 do not exist.
      left = low + static_cast<std::ptrdiff_t>(i) == 0 ? clamp(depth) : cap_;
      row[i] = left;
      least = std::min(least, left);
    }
    const char32_t* query = query_.data() + (low + static_cast<std::ptrdiff_t>(begin) - 1);
    for (std::size_t i = begin; i < end; ++i, ++query) {
      const Cell up = parent[i + shift];
      const Cell substitute = static_cast<Cell>(diagonal + (*query == edge ? 0 : 1));
      const Cell cell =
          std::min({static_cast<Cell>(up + 1), static_cast<Cell>(left + 1), substitute, cap_});
      row[i] = cell;
      left = cell;
      diagonal = up;
      least = std::min(least, cell);
    }
    for (std::size_t i = end; i < width_; ++i) row[i] = cap_;
    const std::ptrdiff_t at_n = static_cast<std::ptrdiff_t>(n) - low;
    const Cell last = at_n >= 0 && static_cast<std::size_t>(at_n) < width_ ? row[at_n] : cap_;
    return {least, last};
  }

 private:
  // The column held at position 0 of a row at `depth`.
  [[nodiscard]] std::ptrdiff_t first_column(std::size_t depth) const noexcept {
    return banded_ ? static_cast<std::ptrdiff_t>(depth) - static_cast<std::ptrdiff_t>(half_) : 0;
  }
  [[nodiscard]] Cell clamp(std::size_t value) const noexcept {
    return value < cap_ ? static_cast<Cell>(value) : cap_;
  }
  [[nodiscard]] Cell clamp_column(std::ptrdiff_t column) const noexcept {
    if (column < 0 || column > static_cast<std::ptrdiff_t>(query_.size())) return cap_;
    return clamp(static_cast<std::size_t>(column));
  }

  std::u32string_view query_;
  bool banded_;
  std::size_t half_;   // max_dist when banded
  std::size_t width_;  // stored cells per row, without the trailing one
  Cell cap_;
};

// One fuzzy query over a tree. Rows live in `slots`, one flat buffer: a node
// that is its parent's last pending child overwrites the parent's row in
// place, any other child takes the slot just above the parent's. So a slot is
// held only by an ancestor with siblings still pending (and a chain of single
// children uses one slot), and entries of one parent are told apart by their
// parent's slot: stacked groups have strictly increasing parent slots.
template <class Cell>
class TreeWalk {
 public:
  TreeWalk(const Trie& trie, std::u32string_view query, std::uint64_t max_dist,
           std::optional<std::uint64_t> limit, std::uint32_t height, Cell cap)
      : trie_(trie),
        query_(query),
        rows_(query, max_dist, cap),
        limit_(limit.value_or(std::numeric_limits<std::uint64_t>::max())) {
    // No node deeper than n + max_dist + 1 is visited.
    const std::uint64_t reach = max_dist < height ? query.size() + max_dist + 1 : height;
    text_.reserve(std::min<std::uint64_t>(height, reach));
  }

  std::vector<MatchRecord> run() && {
    // The root is never reported, and its row (least cell 0) keeps it open.
    if (limit_ == 0) return {};
    const std::size_t stride = rows_.stride();
    slots_.assign(stride, rows_.cap());
    rows_.root(slots_.data());
    open(0, 0, 0);
    while (!pending_.empty()) {
      const Pending entry = pending_.back();
      pending_.pop_back();
      const bool last_sibling =
          pending_.empty() || pending_.back().parent_slot != entry.parent_slot;
      const std::uint32_t slot = last_sibling ? entry.parent_slot : entry.parent_slot + 1;
      if ((std::size_t{slot} + 1) * stride > slots_.size()) {
        slots_.resize((std::size_t{slot} + 1) * stride, rows_.cap());
      }
      Cell* const row = slots_.data() + std::size_t{slot} * stride;
      const Cell* const parent = slots_.data() + std::size_t{entry.parent_slot} * stride;
      if (entry.depth > text_.size()) {
        text_.push_back(entry.code_point);
      } else {
        text_[entry.depth - 1] = entry.code_point;
      }
      const RowSummary<Cell> summary = rows_.step(parent, row, entry.depth, entry.code_point);
      if (trie_.node_payloads[entry.node] && rows_.within(summary.last)) {
        results_.push_back(MatchRecord{encode_utf8(std::u32string_view(text_.data(), entry.depth)),
                                       entry.node, std::uint64_t{summary.last}});
        // Nothing more can be recorded, and a tree cannot fail the query.
        if (results_.size() >= limit_) break;
      }
      if (rows_.within(summary.least)) open(entry.node, entry.depth, slot);
    }
    return std::move(results_);
  }

 private:
  struct Pending {
    NodeId node;
    std::uint32_t depth;        // the node's depth, >= 1
    std::uint32_t parent_slot;  // where the parent's row is
    char32_t code_point;        // the node's edge code point
  };

  // Stacks the children of an open node at `depth` whose row is in `slot`.
  void open(NodeId node, std::uint32_t depth, std::uint32_t slot) {
    const std::optional<char32_t> wanted =
        depth < query_.size() ? std::optional<char32_t>(query_[depth]) : std::nullopt;
    push_in_visiting_order(trie_, node, wanted, false, front_,
                           [this, depth, slot](NodeId child, char32_t code_point) {
                             pending_.push_back(Pending{child, depth + 1, slot, code_point});
                           });
  }

  const Trie& trie_;
  std::u32string_view query_;
  Rows<Cell> rows_;
  std::uint64_t limit_;
  std::vector<Cell> slots_;
  std::u32string text_;  // text_[d - 1]: code point at depth d on the current path
  std::vector<Pending> pending_;
  std::vector<NodeId> front_;
  std::vector<MatchRecord> results_;
};

template <class Cell>
std::vector<MatchRecord> walk_with(const Trie& trie, const TreeShape& shape,
                                   std::u32string_view prefix, std::uint64_t max_dist,
                                   std::optional<std::uint64_t> limit, Cell cap) {
  return TreeWalk<Cell>(trie, prefix, max_dist, limit, shape.height, cap).run();
}

}  // namespace

std::vector<MatchRecord> fuzzy_match_tree(const Trie& trie, const TreeShape& shape,
                                          std::u32string_view prefix, std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  // The narrowest cell that holds max_dist + 2, so that cap + 1 cannot wrap.
  // Beyond that, no cell can reach 2^63 (cells are at most depth + n), so
  // clamping there changes nothing.
  const auto fits = [max_dist]<class Cell>(Cell /*type*/) {
    return max_dist <= std::numeric_limits<Cell>::max() - std::uint64_t{2};
  };
  if (fits(std::uint8_t{})) {
    return walk_with(trie, shape, prefix, max_dist, limit, static_cast<std::uint8_t>(max_dist + 1));
  }
  if (fits(std::uint16_t{})) {
    return walk_with(trie, shape, prefix, max_dist, limit,
                     static_cast<std::uint16_t>(max_dist + 1));
  }
  if (fits(std::uint32_t{})) {
    return walk_with(trie, shape, prefix, max_dist, limit,
                     static_cast<std::uint32_t>(max_dist + 1));
  }
  constexpr std::uint64_t never_reached = std::uint64_t{1} << 63;
  return walk_with(trie, shape, prefix, max_dist, limit,
                   max_dist < never_reached ? max_dist + 1 : never_reached);
}

std::optional<MatchRecord> exact_match_tree(const Trie& trie, std::u32string_view prefix) {
  // The root is never reported.
  if (prefix.empty()) return std::nullopt;
  std::vector<std::pair<NodeId, std::size_t>> pending{{0, 0}};  // (node, depth)
  std::vector<NodeId> front;
  while (!pending.empty()) {
    const NodeId node = pending.back().first;
    const std::size_t depth = pending.back().second;
    pending.pop_back();
    if (depth == prefix.size()) {
      if (trie.node_payloads[node]) return MatchRecord{encode_utf8(prefix), node, 0};
      continue;
    }
    push_in_visiting_order(trie, node, prefix[depth], true, front,
                           [&pending, depth](NodeId child, char32_t /*code_point*/) {
                             pending.emplace_back(child, depth + 1);
                           });
  }
  return std::nullopt;
}

}  // namespace prefix
