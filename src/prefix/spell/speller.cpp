// Candidates by the tree walk and the sound index, priced by the error model.
#include "prefix/spell/speller.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/error_model.hpp"
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
// Longer queries are ranked by plain distance, without sound candidates:
// the error model's table grows with the product of the lengths.
constexpr std::size_t LONGEST_PRICED = 256;

// Candidates not from the index have their sound code worked out when priced.
constexpr std::uint32_t SOUND_UNKNOWN = SpellIndex::NO_SOUND - 1;

struct Candidate {
  std::uint32_t key;             // its number in the index, for candidates from it
  std::u32string_view text;      // as stored
  std::u32string_view compared;  // as compared with the query: folded if the query is
  std::uint32_t payload;
  std::uint32_t sound;     // its sound group in the index, or NO_SOUND, SOUND_UNKNOWN
  std::uint64_t distance;  // plain OSA; NOT_WALKED for sound candidates beyond the walk
  double bound;            // no rank below this
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

double frequency_term(std::span<const std::uint64_t> counts, std::uint32_t payload) {
  const std::uint64_t count = payload < counts.size() ? counts[payload] : 0;
  return -FREQUENCY_WEIGHT * std::log10(static_cast<double>(count) + 1.0);
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
        cost_of_(typed) {}

  [[nodiscard]] const std::u32string& code() const noexcept { return code_; }

  // The least rank a candidate at plain distance `distance` can have.
  [[nodiscard]] double bound(std::uint64_t distance, std::uint32_t payload) const {
    return std::min(static_cast<double>(distance) * LEAST_EDIT_COST, SOUND_COST) +
           frequency_term(query_.counts, payload);
  }

  [[nodiscard]] Ranked price(const Candidate& candidate) {
    const double cost = typed_.size() > LONGEST_PRICED ? static_cast<double>(candidate.distance)
                                                       : cost_of_(candidate.compared);
    double rank = sounds_alike(candidate) ? std::min(cost, SOUND_COST + SOUND_SHARE * cost) : cost;
    rank += frequency_term(query_.counts, candidate.payload);
    if (query_.fold && !query_capital_ && has_capital(candidate.text)) rank += CASE_PENALTY;
    return {rank, &candidate, cost};
  }

  [[nodiscard]] Correction correction(const Ranked& ranked) const {
    const Candidate& candidate = *ranked.candidate;
    const std::uint64_t distance = candidate.distance == NOT_WALKED
                                       ? plain_distance(typed_, candidate.compared)
                                       : candidate.distance;
    return Correction{encode_utf8(candidate.text), candidate.payload, distance, ranked.cost};
  }

 private:
  [[nodiscard]] bool sounds_alike(const Candidate& candidate) const {
    if (candidate.sound != SOUND_UNKNOWN) {
      return candidate.sound == sound_ && sound_ != SpellIndex::NO_SOUND;
    }
    return !code_.empty() && sound_code(candidate.compared) == code_;
  }

  std::u32string_view typed_;
  const SpellQuery& query_;
  std::u32string code_;
  std::uint32_t sound_;  // the query's sound group, or NO_SOUND
  bool query_capital_;
  ErrorCost cost_of_;
};

// The n best of `candidates`, priced in order of their bounds until the
// next bound cannot beat the n-th best. `candidates` must outlive the
// result's use of them.
std::vector<Ranked> best_of(std::vector<Candidate>& candidates, Pricing& pricing, std::uint64_t n) {
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.bound < b.bound; });
  std::vector<Ranked> kept;
  for (const Candidate& candidate : candidates) {
    if (kept.size() >= n && candidate.bound > kept.front().rank) break;
    const Ranked ranked = pricing.price(candidate);
    if (kept.size() < n) {
      kept.push_back(ranked);
      std::push_heap(kept.begin(), kept.end(), is_before);
    } else if (is_before(ranked, kept.front())) {
      std::pop_heap(kept.begin(), kept.end(), is_before);
      kept.back() = ranked;
      std::push_heap(kept.begin(), kept.end(), is_before);
    }
  }
  std::sort(kept.begin(), kept.end(), is_before);
  return kept;
}

// The candidates a walk at `radius` finds: on the folded trie, each folded
// key stands for the dictionary keys that fold to it.
class Gathered {
 public:
  Gathered(const Gathered&) = delete;
  Gathered& operator=(const Gathered&) = delete;
  Gathered(const SearchTrie& trie, const SpellIndex& index, std::u32string_view typed,
           std::uint64_t radius, bool fold)
      : walked_(walk_keys(fold ? index.folded() : trie, typed, radius, payloads_)) {
    for (std::size_t k = 0; k < walked_.found().size(); ++k) {
      const auto& found = walked_.found()[k];
      const std::u32string_view compared = walked_.text(found);
      if (fold) {
        index.for_each_folded(payloads_[k], [&](std::uint32_t key) {
          candidates_.push_back(Candidate{key, index.text(key), compared, index.payload(key),
                                          index.sound_of(key), found.distance, 0.0});
        });
      } else {
        candidates_.push_back(
            Candidate{0, compared, compared, payloads_[k], SOUND_UNKNOWN, found.distance, 0.0});
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

}  // namespace

std::vector<Correction> spell(const SearchTrie& trie, const SpellIndex& index,
                              const SpellQuery& query) {
  if (query.n == 0) return {};
  const std::u32string folded = query.fold ? fold_case(query.text) : std::u32string();
  const std::u32string_view typed = query.fold ? std::u32string_view(folded) : query.text;
  const std::uint64_t length = typed.size();
  std::uint64_t radius = query.max_dist.value_or(length <= SPELLED_ONE_EDIT_UP_TO ? 1 : 2);
  Pricing pricing(typed, query, index);
  const auto bounded = [&](std::vector<Candidate>& candidates) {
    for (Candidate& c : candidates) c.bound = pricing.bound(c.distance, c.payload);
  };

  // Its candidates borrow their texts from it: it is made in place, never moved.
  std::optional<Gathered> gathered;
  gathered.emplace(trie, index, typed, radius, query.fold);
  bounded(gathered->candidates());
  if (!query.max_dist && length >= SPELLED_FAR_FROM && !gathered->has_near()) {
    // A long word whose nearest keys are all poor matches is looked for
    // further: few words pay for that walk.
    const std::vector<Ranked> best = best_of(gathered->candidates(), pricing, 1);
    if (best.empty() || best.front().cost > FAR_COST) {
      radius = 3;
      gathered.reset();
      gathered.emplace(trie, index, typed, radius, query.fold);
      bounded(gathered->candidates());
    }
  }
  std::vector<Candidate>& candidates = gathered->candidates();

  // Sound-alike keys the walk did not reach: further than the radius. The
  // walk's keys are told by their number in the index (folded walks) or
  // their text.
  std::vector<std::u32string> folded_texts;
  // Sound-alike keys within an explicit max_dist are the walk's already.
  if (!query.max_dist && !pricing.code().empty() && length <= LONGEST_PRICED) {
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
      candidates.push_back(Candidate{key, text, text, payload, index.sound_of(key), NOT_WALKED,
                                     pricing.bound(radius + 1, payload)});
    });
    if (query.fold) {
      // Their folded texts, kept until the candidates are priced.
      folded_texts.reserve(candidates.size() - walked);
      for (std::size_t k = walked; k < candidates.size(); ++k) {
        folded_texts.push_back(fold_case(candidates[k].text));
        candidates[k].compared = folded_texts.back();
      }
    }
  }
  const std::vector<Ranked> best = best_of(candidates, pricing, query.n);
  std::vector<Correction> out;
  out.reserve(best.size());
  for (const Ranked& ranked : best) out.push_back(pricing.correction(ranked));
  return out;
}

}  // namespace prefix
