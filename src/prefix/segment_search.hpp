// Splitting text written without spaces into keys of a trie, typos within
// them corrected: a walk per position matches keys against every beginning
// of the rest of the text, and a dynamic program over the positions picks
// the cheapest way through.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "prefix/search_trie.hpp"
#include "prefix/word_cost.hpp"

namespace prefix {

// Costs in nats (negative natural logs of likelihoods); a way through the
// text costs the sum of its pieces' costs.
struct SegmentCosts {
  double per_edit = 7.0;       // per edit between a piece and its key
  double kept_piece = 10.0;    // a piece no key explains, kept as it is ...
  double kept_per_code = 2.5;  // ... plus this per code point of it
  double split = 0.0;          // a cut where the text has no boundary
  double join = 0.0;           // a boundary of the text inside a piece
};

// A piece of the text the caller can explain itself (a word it knows), with
// the cost of doing so and the key it stands for (NO_KEY: none), whose
// pairs with its neighbours count as a key piece's do. A piece that is a
// word as written (`written`) is one no pair evidence cuts into: pieces
// that begin or end inside it pay for their keys alone and pair with
// nothing after them (pair counts from a
// corpus that splits compounds, `can not`, would otherwise split `cannot`).
// start < end <= the text's length.
struct FixedPiece {
  std::uint32_t start;
  std::uint32_t end;
  double cost;
  std::uint32_t payload = NO_KEY;
  bool written = false;
};

struct SegmentQuery {
  std::u32string_view text;
  std::uint64_t max_dist;  // the most edits in one piece (see edits_allowed)
  bool swaps;              // an adjacent swap is one edit
  // Ascending positions 1 .. n - 1 where the text is already cut (spaces
  // between its words): a cut elsewhere costs `split`, a piece across one
  // costs `join`.
  std::span<const std::uint32_t> boundaries;
  std::span<const FixedPiece> fixed;
  SegmentCosts costs;
  WordCosts words;  // what each key costs
  PairCosts pairs;  // what a key costs after another (none: as alone)
  // The keys of the words just before and after the text (NO_KEY: none),
  // paired with its first and last pieces.
  std::uint32_t before = NO_KEY;
  std::uint32_t after = NO_KEY;
};

enum class PieceKind : std::uint8_t {
  KEY,    // explained by `key`, within `distance` edits
  FIXED,  // one of the query's fixed pieces
  KEPT,   // explained by nothing: kept as it is
};

struct Piece {
  std::uint32_t start;  // code points of the text, [start, end)
  std::uint32_t end;
  PieceKind kind;
  std::string key;  // UTF-8, for KEY pieces
  std::uint32_t payload;
  std::uint64_t distance;  // edits between the piece and its key

  friend bool operator==(const Piece&, const Piece&) = default;
};

struct Segmentation {
  std::vector<Piece> pieces;  // in text order, covering it
  double cost;                // the least cost of any way through the text
};

// The cheapest cover of the text by pieces: keys within
// min(max_dist, edits_allowed(length)) edits of a piece, letters compared
// with case folded (fold_case: the text is expected in small letters; a key
// is reported with its own letters), where length is the shorter of key and
// piece and the edits are at most INSIDE_MAX_DIST for a piece that begins
// where the text is not cut or where a fixed piece begins, and none for one
// that begins strictly inside a fixed piece, at words(payload)
// + per_edit per edit, the words part lowered by `pairs` after the key of
// the piece before (or `before`; the piece before on the cheapest way to
// the piece's start, as the table keeps one way per position) and before
// `after`; fixed pieces at their cost; any other run of up to
// MAX_KEPT code points kept as it is; plus the split and join costs of the
// cuts. Among ways of equal cost the one returned is fixed (the same for the
// same trie and query). Per position one walk, over at most the tree's
// height + max_dist code points of the text, so the time is linear in the
// text's length; memory is linear too. Throws InternalFailure when the
// trie's arrays are not a tree.
[[nodiscard]] Segmentation segment(const SearchTrie& trie, const SegmentQuery& query);

// The most edits in a piece that begins inside a word of the text: a walk
// at radius 2 from every position would cost twenty times one at 1, and a
// typo near a cut that was missed is a rarer thing than one at a word's
// start.
constexpr std::uint64_t INSIDE_MAX_DIST = 1;

// The longest piece kept as it is; longer unexplained runs take several.
constexpr std::uint32_t MAX_KEPT = 64;

}  // namespace prefix
