// Candidates by the tree walk and the sound index, priced by the error model.
#include "prefix/spell/speller.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/distance/swap_choice.hpp"
#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/error_model.hpp"
#include "prefix/spell/sound_code.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/candidate_sink.hpp"
#include "prefix/walk/tree_of.hpp"
#include "prefix/walk/tree_walk.hpp"

namespace prefix {
namespace {

constexpr std::uint64_t SHORT_WORD = 3;  // code points; walked 1 edit far
constexpr std::uint64_t LONG_WORD = 7;   // from here, 3 edits far when 2 find nothing good
// A best candidate costing more than this sends a long word 3 edits far.
constexpr double FAR_COST = 1.0;
// Sound codes of at least this many code points are looked up within one
// edit; shorter ones must match exactly (one edit from a short code is
// most of the dictionary).
constexpr std::size_t FUZZY_CODE = 4;

struct Candidate {
  std::u32string_view text;  // as stored
  std::uint32_t payload;
  std::uint64_t distance;  // plain OSA; NOT_WALKED for sound candidates beyond the walk
  double bound;            // no rank below this
};

constexpr std::uint64_t NOT_WALKED = ~std::uint64_t{0};

struct Ranked {
  double rank;
  Correction correction;
};

bool is_before(const Ranked& a, const Ranked& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  const Correction& x = a.correction;
  const Correction& y = b.correction;
  if (x.distance != y.distance) return x.distance < y.distance;
  if (x.payload != y.payload) return x.payload < y.payload;
  return x.key < y.key;
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

// Every key within `radius` of `text` (folded when `fold`), by the walk.
walk::CandidateSink walk_candidates(const SearchTrie& trie, std::u32string_view text,
                                    std::uint64_t radius, bool fold,
                                    std::vector<std::uint32_t>& payloads) {
  walk::CandidateSink sink(radius);
  walk::on_tree(trie, fold, [&](const auto& view, auto payload_of) {
    distance::with_swap_rows(text, radius, [&](auto&& rows) {
      walk::walk_tree(view, std::forward<decltype(rows)>(rows), text, radius, sink);
    });
    payloads.clear();
    for (const auto& found : sink.found()) payloads.push_back(payload_of(found.node));
    return 0;
  });
  return sink;
}

class Pricing {
 public:
  Pricing(std::u32string_view typed, const SpellQuery& query)
      : typed_(typed), query_(query), code_(sound_code(typed)),
        query_capital_(query.fold && !query.text.empty() &&
                       fold_case(query.text.front()) != query.text.front()) {}

  [[nodiscard]] const std::u32string& code() const noexcept { return code_; }

  // The least rank a candidate at plain distance `distance` can have.
  [[nodiscard]] double bound(std::uint64_t distance, std::uint32_t payload) const {
    return static_cast<double>(distance) * LEAST_EDIT_COST - SOUND_BONUS +
           frequency_term(query_.counts, payload);
  }

  [[nodiscard]] Ranked price(const Candidate& candidate) {
    const std::u32string folded_storage =
        query_.fold ? fold_case(candidate.text) : std::u32string();
    const std::u32string_view word =
        query_.fold ? std::u32string_view(folded_storage) : candidate.text;
    const double cost = error_cost(typed_, word, scratch_);
    double rank = cost + frequency_term(query_.counts, candidate.payload);
    if (sound_code(word) == code_) rank -= SOUND_BONUS;
    if (query_.fold && !query_capital_ && has_capital(candidate.text)) rank += CASE_PENALTY;
    const std::uint64_t distance =
        candidate.distance == NOT_WALKED ? plain_distance(typed_, word) : candidate.distance;
    return {rank, Correction{encode_utf8(candidate.text), candidate.payload, distance, cost}};
  }

 private:
  std::u32string_view typed_;
  const SpellQuery& query_;
  std::u32string code_;
  bool query_capital_;
  std::vector<double> scratch_;
};

// The n best of `candidates`, priced in order of their bounds until the
// next bound cannot beat the n-th best.
std::vector<Correction> best_of(std::vector<Candidate>& candidates, Pricing& pricing,
                                std::uint64_t n) {
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.bound < b.bound; });
  std::vector<Ranked> kept;
  const auto worse = [](const Ranked& a, const Ranked& b) { return is_before(a, b); };
  for (const Candidate& candidate : candidates) {
    if (kept.size() >= n && candidate.bound > kept.front().rank) break;
    Ranked ranked = pricing.price(candidate);
    if (kept.size() < n) {
      kept.push_back(std::move(ranked));
      std::push_heap(kept.begin(), kept.end(), worse);
    } else if (is_before(ranked, kept.front())) {
      std::pop_heap(kept.begin(), kept.end(), worse);
      kept.back() = std::move(ranked);
      std::push_heap(kept.begin(), kept.end(), worse);
    }
  }
  std::sort(kept.begin(), kept.end(), is_before);
  std::vector<Correction> out;
  out.reserve(kept.size());
  for (Ranked& ranked : kept) out.push_back(std::move(ranked.correction));
  return out;
}

}  // namespace

std::vector<Correction> spell(const SearchTrie& trie, const SoundIndex& sounds,
                              const SpellQuery& query) {
  if (query.n == 0) return {};
  const std::u32string folded = query.fold ? fold_case(query.text) : std::u32string();
  const std::u32string_view typed = query.fold ? std::u32string_view(folded) : query.text;
  const std::uint64_t length = typed.size();
  std::uint64_t radius = query.max_dist.value_or(length <= SHORT_WORD ? 1 : 2);
  Pricing pricing(typed, query);

  std::vector<std::uint32_t> payloads;
  walk::CandidateSink walked = walk_candidates(trie, typed, radius, query.fold, payloads);
  if (!query.max_dist && length >= LONG_WORD) {
    // A long word whose nearest keys are all poor matches is looked for
    // further: few words pay for that walk.
    const bool near = std::any_of(walked.found().begin(), walked.found().end(),
                                  [](const auto& found) { return found.distance <= 1; });
    if (!near) {
      std::vector<Candidate> candidates;
      for (std::size_t k = 0; k < walked.found().size(); ++k) {
        const auto& found = walked.found()[k];
        candidates.push_back(Candidate{walked.text(found), payloads[k], found.distance,
                                       pricing.bound(found.distance, payloads[k])});
      }
      const std::vector<Correction> best = best_of(candidates, pricing, 1);
      if (best.empty() || best.front().cost > FAR_COST) {
        radius = 3;
        walked = walk_candidates(trie, typed, radius, query.fold, payloads);
      }
    }
  }

  std::vector<Candidate> candidates;
  candidates.reserve(walked.found().size());
  for (std::size_t k = 0; k < walked.found().size(); ++k) {
    const auto& found = walked.found()[k];
    candidates.push_back(Candidate{walked.text(found), payloads[k], found.distance,
                                   pricing.bound(found.distance, payloads[k])});
  }
  // Sound-alike keys the walk did not reach: further than the radius.
  const std::size_t walked_count = candidates.size();
  if (!pricing.code().empty()) {
    std::vector<std::u32string_view> seen;
    seen.reserve(walked_count);
    for (std::size_t k = 0; k < walked_count; ++k) seen.push_back(candidates[k].text);
    std::sort(seen.begin(), seen.end());
    const std::uint64_t code_dist = pricing.code().size() >= FUZZY_CODE ? 1 : 0;
    sounds.for_each_near(pricing.code(), code_dist,
                         [&](std::u32string_view text, std::uint32_t payload) {
                           if (std::binary_search(seen.begin(), seen.end(), text)) return;
                           candidates.push_back(Candidate{text, payload, NOT_WALKED,
                                                          pricing.bound(radius + 1, payload)});
                         });
  }
  return best_of(candidates, pricing, query.n);
}

}  // namespace prefix
