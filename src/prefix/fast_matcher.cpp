// The walk of the fuzzy and exact queries over a tree: banded, saturating
// Levenshtein rows in one flat buffer, the node's text as a code-point stack
// by depth, and an explicit stack of pending children.
#include "prefix/fast_matcher.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <limits>
#include <string>
#include <utility>
#include <variant>

#include "prefix/utf8.hpp"

namespace prefix {
namespace {

constexpr std::uint32_t HAS_PAYLOAD = TreeShape::HAS_PAYLOAD;

// Above every code point a tree holds (check_tree refuses 2^31 and up), so
// it stands for "no code point".
constexpr char32_t NO_CODE_POINT = 0xFFFF'FFFF;

// What the walk reads of a tree, through one of the views below: per node
// its child range, per child position the child's id, code point and
// whether it carries a payload.
//
// A Trie with its TreeShape: child_keys holds code point and payload bit.
struct ShapeView {
  explicit ShapeView(const Trie& trie, const TreeShape& shape)
      : shifts(trie.node_shifts.data()),
        node_count(trie.node_shifts.size()),
        child_ids(trie.child_indices.data()),
        child_count(trie.child_indices.size()),
        keys(shape.child_keys.data()),
        height(shape.height),
        sorted_children(shape.sorted_children) {}

  // The child's code point, with HAS_PAYLOAD set when it carries a payload.
  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept { return keys[k]; }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept { return keys[k] & ~HAS_PAYLOAD; }
  void prefetch_children(std::size_t k) const noexcept { __builtin_prefetch(keys + k); }

  const std::uint32_t* shifts;
  std::size_t node_count;
  const NodeId* child_ids;
  std::size_t child_count;
  const std::uint32_t* keys;
  std::uint32_t height;
  bool sorted_children;
};

// A CompactTree whose child code points are held in T.
template <class T>
struct CompactView {
  CompactView(const CompactTree& tree, const CodePointsOf<T>& points)
      : shifts(tree.node_shifts().data()),
        node_count(tree.node_shifts().size()),
        child_ids(tree.child_indices().data()),
        child_count(tree.child_indices().size()),
        code_points(points.data()),
        payload_bits(tree.child_has_payload().words().data()),
        height(tree.height()),
        sorted_children(tree.sorted_children()) {}

  [[nodiscard]] std::uint32_t key(std::size_t k) const noexcept {
    const auto bit = static_cast<std::uint32_t>((payload_bits[k / 64] >> (k % 64)) & 1);
    return std::uint32_t{code_points[k]} | (bit << 31);
  }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept { return code_points[k]; }
  void prefetch_children(std::size_t k) const noexcept {
    __builtin_prefetch(code_points + k);
    __builtin_prefetch(payload_bits + k / 64);
  }

  const std::uint32_t* shifts;
  std::size_t node_count;
  const NodeId* child_ids;
  std::size_t child_count;
  const T* code_points;
  const std::uint64_t* payload_bits;
  std::uint32_t height;
  bool sorted_children;
};

static_assert(HAS_PAYLOAD == std::uint32_t{1} << 31);

// The first entry of `node`'s child range and one past its last.
template <class View>
std::pair<std::size_t, std::size_t> child_range(const View& tree, NodeId node) {
  return prefix::child_range(std::span(tree.shifts, tree.node_count), tree.child_count, node);
}

template <class View>
std::size_t range_size(const View& tree, NodeId node) {
  const auto [start, end] = child_range(tree, node);
  return start < end ? end - start : 0;
}

// Hands the children of `node` to `push(k, key)` (k: the child's position in
// child_indices, key: its code point and payload bit) so that a stack pops
// them in visiting order: the children whose code point is `wanted` first,
// then (unless `front_only`) all others, each group in stored order. `front`
// is scratch space, empty on entry and on return. One pass over the child
// range, from its end.
template <class View, class Push>
[[gnu::always_inline]] inline void push_in_visiting_order(const View& tree, NodeId node,
                                                          char32_t wanted, bool front_only,
                                                          std::vector<std::size_t>& front,
                                                          Push push) {
  const auto [start, end] = child_range(tree, node);
  for (std::size_t k = end; k-- > start;) {
    if (tree.code_point(k) == wanted) {
      front.push_back(k);
    } else if (!front_only) {
      push(k, tree.key(k));
    }
  }
  // Collected from the end, so the first stored one is pushed last.
  for (const std::size_t k : front) push(k, tree.key(k));
  front.clear();
}

// With ascending child ranges (sorted_children): hands the children of
// `node` whose code point is in `keep` (ascending, distinct) to `push`, in
// the order push_in_visiting_order would, found by binary search instead of
// a pass over the whole range. `found` is scratch space.
template <class View, class Push>
void push_kept(const View& tree, NodeId node, char32_t wanted, std::u32string_view keep,
               std::vector<std::size_t>& found, Push push) {
  const auto [start, end] = child_range(tree, node);
  if (start >= end) return;  // an inverted range lists no children
  found.clear();
  std::size_t from = start;
  for (const char32_t code_point : keep) {
    std::size_t count = end - from;
    while (count > 0) {  // the first entry at or above code_point
      const std::size_t half = count / 2;
      if (tree.code_point(from + half) < code_point) {
        from += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    if (from == end) break;
    if (tree.code_point(from) == code_point) found.push_back(from++);
  }
  // Code points are distinct, so at most one child is `wanted`; it is pushed
  // last, to be popped first.
  std::size_t front = end;
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    if (tree.code_point(*it) == wanted) {
      front = *it;
    } else {
      push(*it, tree.key(*it));
    }
  }
  if (front != end) push(front, tree.key(front));
}

// Fewer children are cheaper to screen one by one than to look up.
constexpr std::size_t LOOKUP_FROM = 8;

// Scratch space for handing a node's children over in visiting order.
struct ChildScratch {
  std::vector<std::size_t> front;  // children holding the wanted code point
  std::u32string keep;             // code points that may keep a child in reach
  std::vector<std::size_t> found;  // positions of children holding them
};

// What a node's row tells the walk.
struct RowSummary {
  bool open;               // some cell is within max_dist: the children are visited
  bool in_reach;           // the last cell (column n) is within max_dist
  std::uint64_t distance;  // that last cell, when in reach
};

// Rows as sets, for max_dist k up to 31. Cell j of a node at depth d is at
// least |j - d|, so only the band of columns d - k .. d + k can be within
// reach; bit i of a row word stands for column d - k + i. A row is k + 1
// words: word e holds the columns whose cell is at most e. From the parent's
// words P to the child's words C, with M the columns j whose query code point
// j - 1 equals the child's edge code point:
//   C[0] = P[0] & M
//   C[e] = (P[e] & M) | P[e - 1] | (P[e - 1] >> 1) | (C[e - 1] << 1)
// (keep a code point, substitute one, insert one into the text, delete one
// from it). Columns past n are computed as if the query went on with code
// points that match nothing; they only ever feed columns further right, so
// the tests below just mask them out. No column below 0 is ever set, and no
// bit past 2k, since no such cell can be within k.
//
// K is max_dist when it is fixed at compile time (the common small ones, so
// that a row's words stay in registers and each loop unrolls), or ANY_DIST.
constexpr std::size_t ANY_DIST = std::numeric_limits<std::size_t>::max();

template <std::size_t K = ANY_DIST>
class BandSets {
 public:
  using Word = std::uint64_t;
  static constexpr std::uint64_t MAX_DIST = 31;
  // A row costs a few word operations: worth computing for every child while
  // stacking them, so that children that are closed and not reported (most
  // of them) never reach the stack.
  static constexpr bool SCREENS_CHILDREN = true;
  // With max_dist fixed at 3 or less a row is at most 4 words, small enough
  // to stack beside each pending child (ScreenedWalk) instead of computing it
  // again when the child is visited. Wider rows would multiply the memory of
  // a node with very many children.
  static constexpr bool STACKS_ROWS = K != ANY_DIST;

  BandSets(std::u32string_view query, std::uint64_t max_dist)
      : query_(query),
        n_(query.size()),
        k_(K == ANY_DIST ? static_cast<std::size_t>(max_dist) : K) {
    // Symbol 0 stands for every code point that is not in the query, symbols
    // 1 and up for those that are.
    for (const char32_t code_point : query) {
      if (code_point < ascii_.size()) {
        ascii_[code_point] = 1;
      } else {
        others_.emplace_back(code_point, 1);
      }
    }
    std::sort(others_.begin(), others_.end());
    others_.erase(std::unique(others_.begin(), others_.end()), others_.end());
    std::uint32_t symbols = 1;
    for (auto& symbol : ascii_) symbol = symbol != 0 ? symbols++ : 0;
    for (auto& other : others_) other.second = symbols++;
    symbols_ = symbols;
    // Visited depths stay below n + k + 2.
    const std::size_t depths = n_ + k_ + 2;
    if (depths * symbols_ > MAX_TABLE_ENTRIES) {
      // The query between NO_CODE_POINTs: the columns of a child at depth d
      // stand for its code points d - k - 1 and on.
      padded_.assign(k_ + 1, NO_CODE_POINT);
      padded_.append(query);
      padded_.append(2 * k_ + 2, NO_CODE_POINT);
      return;
    }
    // Query code point t is column t + 1, which is bit t + 1 - d + k at depth d.
    table_.assign(depths * symbols_, 0);
    for (std::size_t t = 0; t < n_; ++t) {
      const std::size_t first = t + 1 > k_ ? t + 1 - k_ : 0;
      for (std::size_t depth = first; depth <= t + 1 + k_; ++depth) {
        table_[depth * symbols_ + symbol_of(query[t])] |= Word{1} << (t + 1 + k_ - depth);
      }
    }
  }

  [[nodiscard]] std::size_t stride() const noexcept { return k() + 1; }
  [[nodiscard]] std::size_t k() const noexcept {
    if constexpr (K == ANY_DIST) {
      return k_;
    } else {
      return K;
    }
  }
  [[nodiscard]] static Word fill() noexcept { return 0; }

  // The root's cell j is j: column j is in word e for j <= e.
  void root(Word* row) const noexcept {
    for (std::size_t e = 0; e <= k(); ++e) row[e] = ((Word{2} << e) - 1) << k();
  }

  // The row of a child at `depth` >= 1 with edge code point `edge`. `row` may
  // be `parent`: word e of the parent is read before it is overwritten.
  RowSummary step(const Word* parent, Word* row, std::size_t depth, char32_t edge) const noexcept {
    return advance(parent, row, depth, matches_at(depth, edge));
  }

  // Whether no cell of `row`, the row of a node at `depth`, is below max_dist.
  // A child can then stay within reach only by keeping the query code point
  // of a column its parent reaches at max_dist (its words 0 .. k - 1 stay
  // empty and word k is row[k] & matches), so only children whose code point
  // is one of those can be open or reported. When exhausted, `keep` receives
  // those code points, ascending and distinct (none at all past the query's
  // end).
  bool exhausted(const Word* row, std::size_t depth, std::u32string& keep) const {
    for (std::size_t e = 0; e < k(); ++e) {
      if (row[e] != 0) return false;
    }
    keep.clear();
    // Bit i is column depth - k + i; columns up to n - 1 have a code point.
    const auto below_n = static_cast<std::ptrdiff_t>(n_ + k()) - static_cast<std::ptrdiff_t>(depth);
    if (below_n <= 0) return true;
    Word live = row[k()] & (below_n >= 64 ? ~Word{0} : (Word{1} << below_n) - 1);
    while (live != 0) {
      const auto bit = static_cast<std::size_t>(std::countr_zero(live));
      live &= live - 1;
      keep.push_back(query_[depth - k() + bit]);
    }
    if (keep.size() > 1) {
      std::sort(keep.begin(), keep.end());
      keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
    }
    return true;
  }

 private:
  // The row of a child at `depth` whose matching columns are `matches`.
  RowSummary advance(const Word* parent, Word* row, std::size_t depth,
                     Word matches) const noexcept {
    Word before = parent[0];
    Word sets = before & matches;
    row[0] = sets;
    for (std::size_t e = 1; e <= k(); ++e) {
      const Word old = parent[e];
      sets = (old & matches) | before | (before >> 1) | (sets << 1);
      row[e] = sets;
      before = old;
    }
    // Column n is bit n + k - depth; bits above it are past the query.
    const auto top = static_cast<std::ptrdiff_t>(n_ + k()) - static_cast<std::ptrdiff_t>(depth);
    if (top < 0) return {false, false, 0};
    const Word up_to_n = top >= 63 ? ~Word{0} : (Word{2} << top) - 1;
    const bool open = (sets & up_to_n) != 0;
    if (top > static_cast<std::ptrdiff_t>(2 * k()) || ((sets >> top) & 1) == 0) {
      return {open, false, 0};
    }
    // Words grow with e; the distance is the first one that holds column n.
    std::uint64_t distance = 0;
    while (((row[distance] >> top) & 1) == 0) ++distance;
    return {open, true, distance};
  }

  // Longer queries or queries with many distinct code points compare code
  // points one by one instead of keeping a table that grows with both.
  static constexpr std::size_t MAX_TABLE_ENTRIES = std::size_t{1} << 15;

  // Bit i: the query code point of column depth - k + i equals `edge`.
  [[nodiscard]] Word matches_at(std::size_t depth, char32_t edge) const noexcept {
    if (table_.empty()) {
      const char32_t* const window = padded_.data() + depth;
      Word matches = 0;
      for (std::size_t i = 0; i <= 2 * k(); ++i) matches |= Word{window[i] == edge} << i;
      return matches;
    }
    return table_[depth * symbols_ + symbol_of(edge)];
  }

  [[nodiscard]] std::uint32_t symbol_of(char32_t code_point) const noexcept {
    if (code_point < ascii_.size()) return ascii_[code_point];
    const auto it = std::lower_bound(others_.begin(), others_.end(), code_point,
                                     [](const std::pair<char32_t, std::uint32_t>& other,
                                        char32_t value) { return other.first < value; });
    return it != others_.end() && it->first == code_point ? it->second : 0;
  }

  std::u32string_view query_;
  std::size_t n_;
  std::size_t k_;
  std::array<std::uint32_t, 128> ascii_{};                  // symbol of each ASCII code point
  std::vector<std::pair<char32_t, std::uint32_t>> others_;  // sorted, with their symbols
  std::size_t symbols_ = 0;
  std::vector<Word> table_;  // depth * symbols_ + symbol: the matches of that child
  std::u32string padded_;    // without a table
};

// Rows of cells, for any max_dist. A cell is the true distance when that is
// at most max_dist and `cap` otherwise: a cell above max_dist can neither be
// reported nor keep a node open, and every cell derived from it is at least
// as large, so clamping changes no decision.
//
// When the band of columns d - max_dist .. d + max_dist is narrower than the
// whole row (2 max_dist < n), a row stores just it, as 2 max_dist + 1 cells
// starting at column d - max_dist; columns outside 0..n hold `cap`. Otherwise
// a row stores all n + 1 columns. Each stored row is followed by one more
// cell that is always `cap`: the parent's column just past its band, read
// without a bounds test.
template <class Cell>
class CellRows {
 public:
  using Word = Cell;
  // A row costs a pass over its width, and with a large max_dist few children
  // close: each is stacked and its row computed once, when it is visited.
  static constexpr bool SCREENS_CHILDREN = false;
  static constexpr bool STACKS_ROWS = false;

  CellRows(std::u32string_view query, std::uint64_t max_dist, Cell cap)
      : query_(query),
        banded_(max_dist < (query.size() + 1) / 2),
        half_(banded_ ? static_cast<std::size_t>(max_dist) : 0),
        width_(banded_ ? 2 * half_ + 1 : query.size() + 1),
        cap_(cap) {}

  // Cells per stored row, the trailing `cap` cell included.
  [[nodiscard]] std::size_t stride() const noexcept { return width_ + 1; }
  [[nodiscard]] Cell fill() const noexcept { return cap_; }

  // The root's row: column j is j.
  void root(Cell* row) const noexcept {
    const std::ptrdiff_t low = first_column(0);
    for (std::size_t i = 0; i < width_; ++i) {
      row[i] = clamp_column(low + static_cast<std::ptrdiff_t>(i));
    }
    row[width_] = cap_;
  }

  // The row of a node at `depth` >= 1 whose edge code point is `edge`, from
  // its parent's row. `row` may be `parent`: each step reads the parent's
  // cells at and after the one it writes, keeping the one before.
  RowSummary step(const Cell* parent, Cell* row, std::size_t depth, char32_t edge) const noexcept {
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
    return {least < cap_, last < cap_, std::uint64_t{last}};
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

// Hands the children of an open node at `depth`, whose row is `row`, to
// `screen(k, key)` in visiting order: only those that can stay in reach,
// looked up, when the row is exhausted and the range is wide and ascending;
// all of them otherwise.
template <class View, class Rows, class Screen>
[[gnu::always_inline]] inline void screen_children(const View& tree, const Rows& rows, NodeId node,
                                                   std::uint32_t depth,
                                                   const typename Rows::Word* row, char32_t wanted,
                                                   ChildScratch& scratch, Screen screen) {
  if (tree.sorted_children && range_size(tree, node) >= LOOKUP_FROM &&
      rows.exhausted(row, depth, scratch.keep)) {
    push_kept(tree, node, wanted, scratch.keep, scratch.found, screen);
  } else {
    push_in_visiting_order(tree, node, wanted, false, scratch.front, screen);
  }
}

// The walk's view of the query and of the path to the node it visits: the
// code point that continues the query below each depth (the query itself,
// then no code point), and the code points from the root down.
class PathText {
 public:
  PathText(std::u32string_view query, std::uint64_t max_dist, std::uint64_t height) {
    wanted_.reserve(query.size() + 1);
    wanted_.append(query).push_back(NO_CODE_POINT);
    // No node deeper than n + max_dist + 1 is visited.
    const std::uint64_t reach = max_dist < height ? query.size() + max_dist + 1 : height;
    text_.reserve(std::min(height, reach));
  }

  // The code point that continues the query below a node at `depth`.
  [[nodiscard]] char32_t wanted(std::size_t depth) const noexcept {
    return wanted_[std::min(depth, wanted_.size() - 1)];
  }

  // Moves to a node at `depth` >= 1 with edge `code_point`, whose parent's
  // path is the one held up to depth - 1 (pre-order guarantees it).
  void enter(std::uint32_t depth, char32_t code_point) {
    if (depth > text_.size()) {
      text_.push_back(code_point);
    } else {
      text_[depth - 1] = code_point;
    }
  }

  // The text of the node entered last, at `depth`, as UTF-8.
  [[nodiscard]] std::string utf8(std::uint32_t depth) const {
    return encode_utf8(std::u32string_view(text_.data(), depth));
  }

 private:
  std::u32string wanted_;
  std::u32string text_;  // text_[d - 1]: code point at depth d on the path
};

// Starts fetching the child range of `node`, which the walk reads soon.
template <class View>
void prefetch_range(const View& tree, NodeId node) {
  const std::size_t next = tree.shifts[node];
  tree.prefetch_children(next);
  __builtin_prefetch(tree.child_ids + next);
}

// One fuzzy query over a tree, with rows of kind `Rows`. Each stacked child's
// row is computed when it is visited; with SCREENS_CHILDREN it is also worked
// out, into scratch space, while its parent stacks the children, and only
// those that are open or reported are stacked. Rows live in `slots`, one flat buffer: a node that
// is its parent's last pending child overwrites the parent's row in place, any other child takes
// the slot just above the parent's. So a slot is held only by an ancestor
// with siblings still pending (and a chain of single children uses one
// slot), and entries of one parent are told apart by their parent's slot:
// stacked groups have strictly increasing parent slots.
template <class Rows, class View>
class TreeWalk {
 public:
  using Word = typename Rows::Word;

  TreeWalk(const View& tree, std::u32string_view query, std::uint64_t max_dist,
           std::optional<std::uint64_t> limit, Rows rows)
      : tree_(tree),
        rows_(std::move(rows)),
        limit_(limit.value_or(std::numeric_limits<std::uint64_t>::max())),
        path_(query, max_dist, tree.height) {}

  std::vector<MatchRecord> run() && {
    // The root is never reported, and its row (cell 0 is 0) keeps it open.
    if (limit_ == 0) return {};
    const std::size_t stride = rows_.stride();
    slots_.assign(stride, rows_.fill());
    if constexpr (Rows::SCREENS_CHILDREN) scratch_.assign(stride, rows_.fill());
    rows_.root(slots_.data());
    open(0, 0, 0);
    while (!pending_.empty()) {
      const Pending entry = pending_.back();
      pending_.pop_back();
      const bool last_sibling =
          pending_.empty() || pending_.back().parent_slot != entry.parent_slot;
      if (!pending_.empty()) prefetch_range(tree_, pending_.back().node);
      const std::uint32_t slot = last_sibling ? entry.parent_slot : entry.parent_slot + 1;
      if ((std::size_t{slot} + 1) * stride > slots_.size()) {
        slots_.resize((std::size_t{slot} + 1) * stride, rows_.fill());
      }
      Word* const row = slots_.data() + std::size_t{slot} * stride;
      const Word* const parent = slots_.data() + std::size_t{entry.parent_slot} * stride;
      const char32_t code_point = entry.key & ~HAS_PAYLOAD;
      path_.enter(entry.depth, code_point);
      const RowSummary summary = rows_.step(parent, row, entry.depth, code_point);
      if ((entry.key & HAS_PAYLOAD) != 0 && summary.in_reach) {
        results_.push_back(MatchRecord{path_.utf8(entry.depth), entry.node, summary.distance});
        // Nothing more can be recorded, and a tree cannot fail the query.
        if (results_.size() >= limit_) break;
      }
      if (summary.open) open(entry.node, entry.depth, slot);
    }
    return std::move(results_);
  }

 private:
  struct Pending {
    NodeId node;
    std::uint32_t depth;        // the node's depth, >= 1
    std::uint32_t parent_slot;  // where the parent's row is
    std::uint32_t key;          // the node's code point and payload bit
  };

  // Stacks the children of an open node at `depth` whose row is in `slot`.
  // A screened-out child would be visited without effect: its row closes it
  // and it is not reported.
  void open(NodeId node, std::uint32_t depth, std::uint32_t slot) {
    const char32_t wanted = path_.wanted(depth);
    const auto stack =
        [ this, depth, slot ](std::size_t k, std::uint32_t key) __attribute__((always_inline)) {
      const NodeId child = tree_.child_ids[k];
      __builtin_prefetch(tree_.shifts + child);
      pending_.push_back(Pending{child, depth + 1, slot, key});
    };
    if constexpr (Rows::SCREENS_CHILDREN) {
      const Word* const row = slots_.data() + std::size_t{slot} * rows_.stride();
      const auto screen = [ this, depth, row, &stack ](std::size_t k, std::uint32_t key)
          __attribute__((always_inline)) {
        const RowSummary summary = rows_.step(row, scratch_.data(), depth + 1, key & ~HAS_PAYLOAD);
        if (summary.open || ((key & HAS_PAYLOAD) != 0 && summary.in_reach)) stack(k, key);
      };
      screen_children(tree_, rows_, node, depth, row, wanted, children_, screen);
    } else {
      push_in_visiting_order(tree_, node, wanted, false, children_.front, stack);
    }
  }

  const View tree_;  // a few pointers, copied to save an indirection
  Rows rows_;
  std::uint64_t limit_;
  std::vector<Word> slots_;
  PathText path_;
  std::vector<Pending> pending_;
  ChildScratch children_;
  std::vector<Word> scratch_;  // one row, for screening children
  std::vector<MatchRecord> results_;
};

// One fuzzy query over a tree with BandSets rows of at most 4 words, which
// are cheap enough to work out for every child while its parent is opened. A child is stacked
// only if its row keeps it open or reports it, and its row is stacked with
// it, in a flat buffer entry for entry beside the pending stack: a node's
// row is never computed twice, and no slot bookkeeping is needed. The
// pending stack and its rows grow to the range of the node being opened
// before its children are screened, so each child is written in place and
// kept by moving the top up.
template <class Rows, class View>
class ScreenedWalk {
 public:
  using Word = typename Rows::Word;

  ScreenedWalk(const View& tree, std::u32string_view query, std::uint64_t max_dist,
               std::optional<std::uint64_t> limit, Rows rows)
      : tree_(tree),
        rows_(std::move(rows)),
        stride_(rows_.stride()),
        limit_(limit.value_or(std::numeric_limits<std::uint64_t>::max())),
        path_(query, max_dist, tree.height) {}

  std::vector<MatchRecord> run() && {
    // The root is never reported, and its row (cell 0 is 0) keeps it open.
    if (limit_ == 0) return {};
    parent_.assign(stride_, 0);
    rows_.root(parent_.data());
    open(0, 0);
    while (top_ > 0) {
      --top_;
      const Pending entry = pending_[top_];
      if (top_ > 0) prefetch_range(tree_, pending_[top_ - 1].node);
      const char32_t code_point = entry.key & ~HAS_PAYLOAD;
      path_.enter(entry.depth, code_point);
      if (entry.reported) {
        results_.push_back(MatchRecord{path_.utf8(entry.depth), entry.node, entry.distance});
        // Nothing more can be recorded, and a tree cannot fail the query.
        if (results_.size() >= limit_) break;
      }
      if (entry.open) {
        // Its children are written from this entry's place on: take its row out first.
        const Word* const row = rows_stack_.data() + top_ * stride_;
        std::copy(row, row + stride_, parent_.data());
        open(entry.node, entry.depth);
      }
    }
    return std::move(results_);
  }

 private:
  struct Pending {
    NodeId node;
    std::uint32_t depth;  // the node's depth, >= 1
    std::uint32_t key;    // the node's code point and payload bit
    bool open;            // its row keeps its children in reach
    bool reported;        // it carries a payload and its last cell is in reach
    std::uint8_t distance;
  };

  // Screens the children of the open node at `depth`, whose row is in
  // parent_, and stacks those that are open or reported, in visiting order.
  void open(NodeId node, std::uint32_t depth) {
    const auto [start, end] = child_range(tree_, node);
    if (start >= end) return;
    const std::size_t room = top_ + (end - start);
    if (room > pending_.size()) {
      // Both grow geometrically, like any vector.
      pending_.resize(room);
      rows_stack_.resize(room * stride_);
    }
    const char32_t wanted = path_.wanted(depth);
    const Word* const row = parent_.data();
    const auto screen =
        [ this, depth, row ](std::size_t k, std::uint32_t key) __attribute__((always_inline)) {
      const RowSummary summary =
          rows_.step(row, rows_stack_.data() + top_ * stride_, depth + 1, key & ~HAS_PAYLOAD);
      const NodeId child = tree_.child_ids[k];
      const bool reported = (key & HAS_PAYLOAD) != 0 && summary.in_reach;
      pending_[top_] =
          Pending{child,        depth + 1, key,
                  summary.open, reported,  static_cast<std::uint8_t>(summary.distance)};
      if (summary.open || reported) {
        __builtin_prefetch(tree_.shifts + child);
        ++top_;
      }
    };
    screen_children(tree_, rows_, node, depth, row, wanted, children_, screen);
  }

  const View tree_;  // a few pointers, copied to save an indirection
  Rows rows_;
  std::size_t stride_;
  std::uint64_t limit_;
  PathText path_;
  std::vector<Pending> pending_;  // entries below top_ are pending
  std::size_t top_ = 0;
  std::vector<Word> rows_stack_;  // the row of pending_[i] at i * stride_
  std::vector<Word> parent_;      // the row of the node being opened
  ChildScratch children_;
  std::vector<MatchRecord> results_;
};

template <class View, class Rows>
std::vector<MatchRecord> walk_with(const View& tree, std::u32string_view prefix,
                                   std::uint64_t max_dist, std::optional<std::uint64_t> limit,
                                   Rows rows) {
  if constexpr (Rows::STACKS_ROWS) {
    return ScreenedWalk<Rows, View>(tree, prefix, max_dist, limit, std::move(rows)).run();
  } else {
    return TreeWalk<Rows, View>(tree, prefix, max_dist, limit, std::move(rows)).run();
  }
}

template <class View, class Cell>
std::vector<MatchRecord> walk_with_cells(const View& tree, std::u32string_view prefix,
                                         std::uint64_t max_dist, std::optional<std::uint64_t> limit,
                                         Cell cap) {
  return walk_with(tree, prefix, max_dist, limit, CellRows<Cell>(prefix, max_dist, cap));
}

template <class View>
std::vector<MatchRecord> fuzzy_walk(const View& tree, std::u32string_view prefix,
                                    std::uint64_t max_dist, std::optional<std::uint64_t> limit) {
  switch (max_dist) {
    case 0:
      return walk_with(tree, prefix, max_dist, limit, BandSets<0>(prefix, max_dist));
    case 1:
      return walk_with(tree, prefix, max_dist, limit, BandSets<1>(prefix, max_dist));
    case 2:
      return walk_with(tree, prefix, max_dist, limit, BandSets<2>(prefix, max_dist));
    case 3:
      return walk_with(tree, prefix, max_dist, limit, BandSets<3>(prefix, max_dist));
    default:
      break;
  }
  if (max_dist <= BandSets<>::MAX_DIST) {
    return walk_with(tree, prefix, max_dist, limit, BandSets<>(prefix, max_dist));
  }
  // The narrowest cell that holds max_dist + 2, so that cap + 1 cannot
  // wrap. Beyond that, no cell can reach 2^63 (cells are at most depth +
  // n), so clamping there changes nothing.
  const auto fits = [max_dist]<class Cell>(Cell /*type*/) {
    return max_dist <= std::numeric_limits<Cell>::max() - std::uint64_t{2};
  };
  if (fits(std::uint8_t{})) {
    return walk_with_cells(tree, prefix, max_dist, limit, static_cast<std::uint8_t>(max_dist + 1));
  }
  if (fits(std::uint16_t{})) {
    return walk_with_cells(tree, prefix, max_dist, limit, static_cast<std::uint16_t>(max_dist + 1));
  }
  if (fits(std::uint32_t{})) {
    return walk_with_cells(tree, prefix, max_dist, limit, static_cast<std::uint32_t>(max_dist + 1));
  }
  constexpr std::uint64_t never_reached = std::uint64_t{1} << 63;
  return walk_with_cells(tree, prefix, max_dist, limit,
                         max_dist < never_reached ? max_dist + 1 : never_reached);
}

template <class View>
std::optional<MatchRecord> exact_walk(const View& tree, std::u32string_view prefix) {
  // The root is never reported.
  if (prefix.empty()) return std::nullopt;
  struct Step {
    NodeId node;
    std::size_t depth;
    std::uint32_t key;
  };
  std::vector<Step> pending{{0, 0, 0}};
  std::vector<std::size_t> front;
  while (!pending.empty()) {
    const Step step = pending.back();
    pending.pop_back();
    if (step.depth == prefix.size()) {
      if ((step.key & HAS_PAYLOAD) != 0) return MatchRecord{encode_utf8(prefix), step.node, 0};
      continue;
    }
    push_in_visiting_order(tree, step.node, prefix[step.depth], true, front,
                           [&tree, &pending, &step](std::size_t k, std::uint32_t key) {
                             pending.push_back(Step{tree.child_ids[k], step.depth + 1, key});
                           });
  }
  return std::nullopt;
}

}  // namespace

std::vector<MatchRecord> fuzzy_match_tree(const Trie& trie, const TreeShape& shape,
                                          std::u32string_view prefix, std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return fuzzy_walk(ShapeView(trie, shape), prefix, max_dist, limit);
}

std::optional<MatchRecord> exact_match_tree(const Trie& trie, const TreeShape& shape,
                                            std::u32string_view prefix) {
  return exact_walk(ShapeView(trie, shape), prefix);
}

std::vector<MatchRecord> fuzzy_match_tree(const CompactTree& tree, std::u32string_view prefix,
                                          std::uint64_t max_dist,
                                          std::optional<std::uint64_t> limit) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return fuzzy_walk(CompactView<T>(tree, code_points), prefix, max_dist, limit);
      },
      tree.child_code_points());
}

std::optional<MatchRecord> exact_match_tree(const CompactTree& tree, std::u32string_view prefix) {
  return std::visit(
      [&]<class T>(const CodePointsOf<T>& code_points) {
        return exact_walk(CompactView<T>(tree, code_points), prefix);
      },
      tree.child_code_points());
}

}  // namespace prefix
