// Candidates by the tree walk and the sound index, priced by the error model.
#include "prefix/spell/speller.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/error_model.hpp"
#include "prefix/spell/letters.hpp"
#include "prefix/spell/sound_code.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/candidate_sink.hpp"
#include "prefix/walk/tree_of.hpp"
#include "prefix/walk/tree_queries.hpp"

namespace prefix {
namespace {

constexpr std::uint64_t SPELLED_ONE_EDIT_UP_TO = 3;  // code points; walked 1 edit far
constexpr std::uint64_t SPELLED_FAR_FROM = 7;  // from here, 3 edits far when 2 find nothing good
// A best candidate costing more than this sends a long word 3 edits far.
constexpr double FAR_COST = 1.0;
// Sound codes of at least this many code points are looked up within one
// edit; shorter ones must match exactly (one edit from a short code is
// most of the dictionary).
constexpr std::size_t FUZZY_CODE = 4;
constexpr std::uint64_t NOT_WALKED = ~std::uint64_t{0};
// Queries for at most this many corrections walk two edits far in two steps.
constexpr std::uint64_t TIERED_UP_TO = 2;
// Longer queries are ranked by plain distance, without sound candidates:
// the error model's table grows with the product of the lengths.
constexpr std::size_t LONGEST_PRICED = 256;

// Candidates not from the index have their sound code worked out when priced.
constexpr std::uint32_t SOUND_UNKNOWN = SpellIndex::NO_SOUND - 1;
// Bounds are lowered by this much, more than the rounding of any rank.
constexpr double BOUND_MARGIN = 1e-9;
constexpr double INFINITY_RANK = std::numeric_limits<double>::infinity();

struct Candidate {
  std::uint32_t key;             // its number in the index, for candidates from it
  std::u32string_view text;      // as stored
  std::u32string_view compared;  // as compared with the query: folded if the query is
  std::uint32_t payload;
  std::uint32_t sound;     // its sound group in the index, or NO_SOUND, SOUND_UNKNOWN
  std::uint64_t distance;  // plain OSA; NOT_WALKED for sound candidates beyond the walk
  double frequency;        // its frequency term (frequency_of its count), set with its bound
  double bound;            // no rank below this
  bool unfolded;           // `compared` is the stored text of a folded query's candidate
};

struct Ranked {
  double rank;
  const Candidate* candidate;
  double cost;
};

bool is_before(const Ranked& a, const Ranked& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  const Candidate& x = *a.candidate;
  const Candidate& y = *b.candidate;
  if (x.distance != y.distance) return x.distance < y.distance;
  if (x.payload != y.payload) return x.payload < y.payload;
  return x.text < y.text;
}

double frequency_of(std::uint64_t count) {
  return -FREQUENCY_WEIGHT * std::log10(static_cast<double>(count) + 1.0);
}

// The least bound of a candidate at plain distance `distance` (by
// Pricing::bound, whether it sounds alike or not) with frequency term
// `frequency`.
double least_bound(std::uint64_t distance, double frequency) {
  const double least = static_cast<double>(distance) * LEAST_EDIT_COST;
  return std::min(least, SOUND_COST + SOUND_SHARE * least) + frequency - BOUND_MARGIN;
}

bool has_capital(std::u32string_view text) {
  return std::any_of(text.begin(), text.end(), [](char32_t c) { return fold_case(c) != c; });
}

// The plain optimal-string-alignment distance, for sound candidates that
// lie beyond the walk.
std::uint64_t plain_distance(std::u32string_view a, std::u32string_view b) {
  distance::PlainSwapRows rows(a, ~std::uint64_t{0} >> 2);
  std::vector<std::uint64_t> storage(2 * rows.stride());
  std::uint64_t* row = storage.data();
  std::uint64_t* next = storage.data() + rows.stride();
  rows.root(row);
  for (const char32_t c : b) {
    rows.step(rows.parent(row, 0), next, c);
    std::swap(row, next);
  }
  return rows.distance(row, b.size());
}

// The keys within `radius` of `text` in `trie`, walked with swap rows.
walk::CandidateSink walk_keys(const SearchTrie& trie, std::u32string_view text,
                              std::uint64_t radius, std::vector<std::uint32_t>& payloads) {
  walk::CandidateSink sink(radius);
  walk::on_tree(trie, [&]<class View, class PayloadOf>(const View& view, PayloadOf payload_of) {
    walk::TreeQueries<View, PayloadOf>::candidates(view, text, radius, sink);
    payloads.clear();
    for (const auto& found : sink.found()) payloads.push_back(payload_of(found.node));
    return 0;
  });
  return sink;
}

class Pricing {
 public:
  Pricing(std::u32string_view typed, const SpellQuery& query, const SpellIndex& index)
      : typed_(typed),
        query_(query),
        code_(sound_code(typed)),
        sound_(code_.empty() ? SpellIndex::NO_SOUND : index.sound_group(code_)),
        query_capital_(query.fold && !query.text.empty() &&
                       fold_case(query.text.front()) != query.text.front()),
        cost_of_(typed),
        count_logs_(query.counts.data() == index.counts().data() &&
                            query.counts.size() == index.counts().size()
                        ? index.count_logs()
                        : std::span<const double>()) {
    // Only queries this short take sound candidates, the ones it bounds.
    if (typed.size() > LONGEST_PRICED) return;
    for (const char32_t c : typed) ++letters_[letter_class(c)];
  }

  [[nodiscard]] const std::u32string& code() const noexcept { return code_; }
  [[nodiscard]] std::u32string_view typed() const noexcept { return typed_; }

  // A lower bound of the plain distance from the query to `text` (folded
  // here if the query is): an edit puts at most one letter in place of at
  // most one other (a swap none), so it takes at least as many edits as
  // either has letters the other lacks, counted by class.
  [[nodiscard]] std::uint64_t letters_apart(std::u32string_view text) const {
    std::array<std::uint16_t, LETTER_CLASSES> left = letters_;
    std::size_t shared = 0;
    for (const char32_t c : text) {
      std::uint8_t k = letter_class(c);
      if (query_.fold && k == LETTER_CLASSES - 1) k = letter_class(fold_case(c));
      if (left[k] > 0) {
        --left[k];
        ++shared;
      }
    }
    return std::max(typed_.size(), text.size()) - shared;
  }

  // Sets the candidate's frequency term, and its bound: the least rank a
  // candidate at plain distance `distance` or more can have, its cost at
  // least that many of the cheapest edits (lowered by a hair, so that
  // rounding never lifts it above its rank). For a candidate beyond the
  // walk, the letters it and the query do not share may tell a larger
  // distance.
  void bound(Candidate& candidate, std::uint64_t distance) const {
    if (candidate.distance == NOT_WALKED) {
      distance = std::max(distance, letters_apart(candidate.compared));
    }
    bound_at(candidate, distance);
  }

  // bound(), with `distance` already the lower bound of its plain distance.
  // Of its edits, at least as many as the query is longer than it are
  // insertions, which cost more than the cheapest edit.
  void bound_at(Candidate& candidate, std::uint64_t distance) const {
    candidate.frequency = frequency(candidate.payload);
    const std::uint64_t length = candidate.compared.size();
    const std::uint64_t inserted = typed_.size() > length ? typed_.size() - length : 0;
    const double least =
        static_cast<double>(inserted) * LEAST_INSERT_COST +
        static_cast<double>(distance > inserted ? distance - inserted : 0) * LEAST_EDIT_COST;
    // Whether it may sound like the query: a candidate not from the index may.
    const bool alike = candidate.sound == SOUND_UNKNOWN || sounds_alike(candidate);
    candidate.bound = (alike ? std::min(least, SOUND_COST + SOUND_SHARE * least) : least) +
                      candidate.frequency - BOUND_MARGIN;
  }

  // The plain distance of a candidate whose distance is at least `apart`
  // (letters_apart) when it is at most `radius`, else NOT_WALKED: the
  // distance a walk at `radius` finds it at.
  [[nodiscard]] std::uint64_t distance_within(const Candidate& candidate, std::uint64_t apart,
                                              std::uint64_t radius) {
    if (apart > radius) return NOT_WALKED;
    const std::uint64_t distance = plain_distance(typed_, compared(candidate));
    return distance <= radius ? distance : NOT_WALKED;
  }

  // The candidate's rank and cost; a rank of infinity when it is sure to
  // rank above `worst` (the n-th best so far), its cost then left unpriced.
  [[nodiscard]] Ranked price(const Candidate& candidate, double worst) {
    const bool alike = sounds_alike(candidate);
    const double frequency = candidate.frequency;
    const double penalty =
        query_.fold && !query_capital_ && has_capital(candidate.text) ? CASE_PENALTY : 0.0;
    double cost = static_cast<double>(candidate.distance);
    if (typed_.size() <= LONGEST_PRICED) {
      // The dearest cost that could still rank at most `worst`.
      const double slack = worst - frequency - penalty + BOUND_MARGIN;
      const double limit = alike ? std::max(slack, (slack - SOUND_COST) / SOUND_SHARE) : slack;
      cost = cost_of_(compared(candidate), limit);
      if (cost > limit) return {INFINITY_RANK, &candidate, cost};
    }
    double rank = alike ? std::min(cost, SOUND_COST + SOUND_SHARE * cost) : cost;
    rank += frequency;
    if (penalty != 0.0) rank += penalty;
    return {rank, &candidate, cost};
  }

  [[nodiscard]] Correction correction(const Ranked& ranked) {
    const Candidate& candidate = *ranked.candidate;
    const std::uint64_t distance = candidate.distance == NOT_WALKED
                                       ? plain_distance(typed_, compared(candidate))
                                       : candidate.distance;
    return Correction{encode_utf8(candidate.text), candidate.payload, distance, ranked.cost};
  }

 private:
  // The frequency term of a payload's count: the index's logarithms when
  // the query ranks by its counts (the same value, worked out once).
  [[nodiscard]] double frequency(std::uint32_t payload) const {
    if (!count_logs_.empty()) {
      return payload < count_logs_.size() ? -FREQUENCY_WEIGHT * count_logs_[payload]
                                          : frequency_of(0);
    }
    return frequency_of(payload < query_.counts.size() ? query_.counts[payload] : 0);
  }

  [[nodiscard]] bool sounds_alike(const Candidate& candidate) const {
    if (candidate.sound != SOUND_UNKNOWN) {
      return candidate.sound == sound_ && sound_ != SpellIndex::NO_SOUND;
    }
    return !code_.empty() && sound_code(candidate.compared) == code_;
  }

  // The candidate's text as compared with the query: sound candidates of a
  // folded query are folded here, when priced (most never are, and most
  // have no capital to fold).
  [[nodiscard]] std::u32string_view compared(const Candidate& candidate) {
    if (!candidate.unfolded || !has_capital(candidate.compared)) return candidate.compared;
    folded_ = fold_case(candidate.compared);
    return folded_;
  }

  std::u32string_view typed_;
  const SpellQuery& query_;
  std::u32string code_;
  std::uint32_t sound_;  // the query's sound group, or NO_SOUND
  bool query_capital_;
  ErrorCost cost_of_;
  std::span<const double> count_logs_;                   // the index's, or none
  std::array<std::uint16_t, LETTER_CLASSES> letters_{};  // the query's letters by class
  std::u32string folded_;                                // the last text compared() folded
};

// The n best of the candidates offered to it, in one batch or several.
class Best {
 public:
  explicit Best(std::uint64_t n) : n_(n) {}

  // The n-th best rank so far: no candidate ranked above it is kept.
  [[nodiscard]] double worst() const {
    return kept_.size() >= n_ ? kept_.front().rank : INFINITY_RANK;
  }

  // Prices `candidates` in order of their bounds until the next bound
  // cannot beat the n-th best. They must outlive the use of the result.
  void offer(const std::vector<Candidate>& candidates, Pricing& pricing) {
    // Pointers sort faster than candidates.
    order_.clear();
    for (const Candidate& c : candidates) order_.push_back(&c);
    std::sort(order_.begin(), order_.end(),
              [](const Candidate* a, const Candidate* b) { return a->bound < b->bound; });
    for (const Candidate* const next : order_) {
      const Candidate& candidate = *next;
      const double worst = this->worst();
      if (candidate.bound > worst) break;
      const Ranked ranked = pricing.price(candidate, worst);
      if (kept_.size() < n_) {
        kept_.push_back(ranked);
        std::push_heap(kept_.begin(), kept_.end(), is_before);
      } else if (is_before(ranked, kept_.front())) {
        std::pop_heap(kept_.begin(), kept_.end(), is_before);
        kept_.back() = ranked;
        std::push_heap(kept_.begin(), kept_.end(), is_before);
      }
    }
  }

  // The n best of all offered, best first.
  [[nodiscard]] std::vector<Ranked> take() && {
    std::sort(kept_.begin(), kept_.end(), is_before);
    return std::move(kept_);
  }

 private:
  std::uint64_t n_;
  std::vector<Ranked> kept_;  // a heap, its worst on top
  std::vector<const Candidate*> order_;
};

std::vector<Ranked> best_of(std::vector<Candidate>& candidates, Pricing& pricing, std::uint64_t n) {
  Best best(n);
  best.offer(candidates, pricing);
  return std::move(best).take();
}

// The candidates a walk of `walked` at `radius` finds. With `fold`, it is a
// folded trie of `index` (folded() or a tier), where each folded key stands
// for the dictionary keys that fold to it.
class Gathered {
 public:
  Gathered(const Gathered&) = delete;
  Gathered& operator=(const Gathered&) = delete;
  Gathered(const SearchTrie& walked, const SpellIndex& index, std::u32string_view typed,
           std::uint64_t radius, bool fold)
      : walked_(walk_keys(walked, typed, radius, payloads_)) {
    for (std::size_t k = 0; k < walked_.found().size(); ++k) {
      const auto& found = walked_.found()[k];
      const std::u32string_view compared = walked_.text(found);
      if (fold) {
        index.for_each_folded(payloads_[k], [&](std::uint32_t key) {
          candidates_.push_back(Candidate{key, index.text(key), compared, index.payload(key),
                                          index.sound_of(key), found.distance, 0.0, 0.0, false});
        });
      } else {
        candidates_.push_back(Candidate{0, compared, compared, payloads_[k], SOUND_UNKNOWN,
                                        found.distance, 0.0, 0.0, false});
      }
    }
  }

  std::vector<Candidate>& candidates() noexcept { return candidates_; }
  [[nodiscard]] bool has_near() const {
    return std::any_of(walked_.found().begin(), walked_.found().end(),
                       [](const auto& found) { return found.distance <= 1; });
  }

 private:
  std::vector<std::uint32_t> payloads_;
  walk::CandidateSink walked_;
  std::vector<Candidate> candidates_;
};

// Adds to `candidates` (the keys a walk at `radius` found, bounded) the
// sound-alike keys the walk did not reach, bounded: further than the radius,
// or, with `resolve`, at the distance a walk at `radius` would find them
// (for a walk that went less far). The walk's keys are told by their
// number in the index (folded walks) or their text.
void add_sounding(std::vector<Candidate>& candidates, Pricing& pricing, const SpellIndex& index,
                  const SpellQuery& query, std::uint64_t radius, bool resolve) {
  if (pricing.code().empty() || pricing.typed().size() > LONGEST_PRICED) return;
  const std::size_t walked = candidates.size();
  std::vector<std::uint32_t> seen_keys;
  std::vector<std::u32string_view> seen_texts;
  if (query.fold) {
    seen_keys.reserve(walked);
    for (const Candidate& c : candidates) seen_keys.push_back(c.key);
    std::sort(seen_keys.begin(), seen_keys.end());
  } else {
    seen_texts.reserve(walked);
    for (const Candidate& c : candidates) seen_texts.push_back(c.text);
    std::sort(seen_texts.begin(), seen_texts.end());
  }
  const std::uint64_t code_dist = pricing.code().size() >= FUZZY_CODE ? 1 : 0;
  index.for_each_sounding(pricing.code(), code_dist, [&](std::uint32_t key) {
    const std::u32string_view text = index.text(key);
    if (query.fold ? std::binary_search(seen_keys.begin(), seen_keys.end(), key)
                   : std::binary_search(seen_texts.begin(), seen_texts.end(), text)) {
      return;
    }
    const std::uint32_t payload = index.payload(key);
    Candidate& added = candidates.emplace_back(
        Candidate{key, text, text, payload, index.sound_of(key), NOT_WALKED, 0.0, 0.0, query.fold});
    const std::uint64_t apart = pricing.letters_apart(added.compared);
    if (resolve) added.distance = pricing.distance_within(added, apart, radius);
    pricing.bound_at(added,
                     added.distance == NOT_WALKED ? std::max(radius + 1, apart) : added.distance);
  });
}

// Whether a walk at `radius` may be done in two steps over the index's
// tiers (spell_tiered): a folded query ranked by the counts the index was
// made with, asking for so few corrections that the n-th best is likely
// to rule out most keys two edits away (for more, the first step costs
// more than the second saves).
bool takes_tiers(const SpellIndex& index, const SpellQuery& query, std::uint64_t radius,
                 std::u32string_view typed) {
  return query.n <= TIERED_UP_TO && query.fold && radius == 2 && typed.size() <= LONGEST_PRICED &&
         !index.tiers().empty() && query.counts.data() == index.counts().data() &&
         query.counts.size() == index.counts().size();
}

std::vector<Correction> corrections(const std::vector<Ranked>& ranked, Pricing& pricing) {
  std::vector<Correction> out;
  out.reserve(ranked.size());
  for (const Ranked& r : ranked) out.push_back(pricing.correction(r));
  return out;
}

// The corrections of a folded query walked at `radius`, in two steps:
// `near`, the keys a walk at radius - 1 found (bounded), with the
// sound-alike keys, set the n-th best rank; then only the keys `radius`
// edits away that may rank better are looked for, in the smallest tier that
// holds them all. The corrections are those of one walk at `radius`.
std::vector<Correction> in_two_steps(Gathered& near, const SpellIndex& index,
                                     std::u32string_view typed, const SpellQuery& query,
                                     Pricing& pricing, std::uint64_t radius) {
  std::vector<Candidate>& candidates = near.candidates();
  if (!query.max_dist) add_sounding(candidates, pricing, index, query, radius, true);
  // Sound-alike keys `radius` edits away: the second walk's too.
  std::vector<std::uint32_t> apart;
  for (const Candidate& c : candidates) {
    if (c.distance == radius) apart.push_back(c.key);
  }
  std::sort(apart.begin(), apart.end());
  Best best(query.n);
  best.offer(candidates, pricing);
  const SearchTrie* walked = &index.folded();
  for (const SpellIndex::Tier& tier : index.tiers()) {
    // Every key the tier leaves out would rank above the n-th best so far
    // (by a second margin, more than any rounding of the logarithm).
    if (least_bound(radius, frequency_of(tier.below)) - BOUND_MARGIN <= best.worst()) break;
    walked = &tier.trie;
  }
  Gathered far(*walked, index, typed, radius, true);
  std::erase_if(far.candidates(), [&](const Candidate& c) {
    return c.distance < radius || std::binary_search(apart.begin(), apart.end(), c.key);
  });
  for (Candidate& c : far.candidates()) pricing.bound(c, c.distance);
  best.offer(far.candidates(), pricing);
  return corrections(std::move(best).take(), pricing);
}

// The corrections of a folded query walked at radius 2 (takes_tiers), as
// spell gives them, the last step of each walk in the tiers: 2 edits far,
// or for a long word with no key within one edit whose best key within two
// is a poor match, 3.
std::vector<Correction> spell_tiered(const SpellIndex& index, std::u32string_view typed,
                                     const SpellQuery& query, Pricing& pricing) {
  const auto gathered = [&](Gathered& found) -> Gathered& {
    for (Candidate& c : found.candidates()) pricing.bound(c, c.distance);
    return found;
  };
  Gathered near(index.folded(), index, typed, 1, true);
  if (query.max_dist || typed.size() < SPELLED_FAR_FROM || near.has_near()) {
    return in_two_steps(gathered(near), index, typed, query, pricing, 2);
  }
  Gathered nearer(index.folded(), index, typed, 2, true);
  const std::vector<Ranked> best = best_of(gathered(nearer).candidates(), pricing, 1);
  if (best.empty() || best.front().cost > FAR_COST) {
    return in_two_steps(nearer, index, typed, query, pricing, 3);
  }
  add_sounding(nearer.candidates(), pricing, index, query, 2, false);
  return corrections(best_of(nearer.candidates(), pricing, query.n), pricing);
}

}  // namespace

std::vector<Correction> spell(const SearchTrie& trie, const SpellIndex& index,
                              const SpellQuery& query) {
  if (query.n == 0) return {};
  const std::u32string folded = query.fold ? fold_case(query.text) : std::u32string();
  const std::u32string_view typed = query.fold ? std::u32string_view(folded) : query.text;
  const std::uint64_t length = typed.size();
  std::uint64_t radius = query.max_dist.value_or(length <= SPELLED_ONE_EDIT_UP_TO ? 1 : 2);
  Pricing pricing(typed, query, index);
  if (takes_tiers(index, query, radius, typed)) return spell_tiered(index, typed, query, pricing);
  const auto bounded = [&](std::vector<Candidate>& candidates) {
    for (Candidate& c : candidates) pricing.bound(c, c.distance);
  };

  // Its candidates borrow their texts from it: it is made in place, never moved.
  std::optional<Gathered> gathered;
  gathered.emplace(query.fold ? index.folded() : trie, index, typed, radius, query.fold);
  bounded(gathered->candidates());
  if (!query.max_dist && length >= SPELLED_FAR_FROM && !gathered->has_near()) {
    // A long word whose nearest keys are all poor matches is looked for
    // further: few words pay for that walk.
    const std::vector<Ranked> best = best_of(gathered->candidates(), pricing, 1);
    if (best.empty() || best.front().cost > FAR_COST) {
      radius = 3;
      gathered.reset();
      gathered.emplace(query.fold ? index.folded() : trie, index, typed, radius, query.fold);
      bounded(gathered->candidates());
    }
  }
  std::vector<Candidate>& candidates = gathered->candidates();
  // Sound-alike keys within an explicit max_dist are the walk's already.
  if (!query.max_dist) add_sounding(candidates, pricing, index, query, radius, false);
  return corrections(best_of(candidates, pricing, query.n), pricing);
}

}  // namespace prefix
