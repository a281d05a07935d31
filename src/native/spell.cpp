// Binding of the spelling ranker: the sound index as a capsule, the counts
// as a borrowed buffer, corrections back as tuples.
#include "native/spell.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "native/instance.hpp"
#include "native/queries.hpp"
#include "native/released_lock.hpp"
#include "native/u64_buffer.hpp"
#include "prefix/spell/case_fold.hpp"
#include "prefix/spell/sound_code.hpp"
#include "prefix/spell/spell_index.hpp"
#include "prefix/spell/speller.hpp"
#include "prefix/utf8.hpp"

namespace native {
namespace {

constexpr const char* CAPSULE_NAME = "quorvatine._native.SpellIndex";

void free_index(PyObject* capsule) {
  delete static_cast<prefix::SpellIndex*>(PyCapsule_GetPointer(capsule, CAPSULE_NAME));
}

const prefix::SpellIndex& index_of(PyObject* capsule) {
  if (!PyCapsule_IsValid(capsule, CAPSULE_NAME)) {
    throw binding::type_mismatch(capsule, "SpellIndex");
  }
  return *static_cast<const prefix::SpellIndex*>(PyCapsule_GetPointer(capsule, CAPSULE_NAME));
}

// n, max_dist and fold, the arguments after the query text.
struct SpellOptions {
  std::uint64_t n;
  std::optional<std::uint64_t> max_dist;
  bool fold;

  template <class Bound>
  static SpellOptions from(const Bound& bound, std::size_t first) {
    const std::uint64_t n = binding::MachineWord::convert(bound[first]);
    const std::optional<std::uint64_t> max_dist =
        binding::Optional<binding::MachineWord>::convert(bound[first + 1]);
    return {n, max_dist, binding::Truth::convert(bound[first + 2])};
  }

  [[nodiscard]] prefix::SpellQuery query(std::u32string_view text,
                                         std::span<const std::uint64_t> counts) const {
    return {text, n, max_dist, fold, counts};
  }
};

// The counts to rank by: `counts`, or the index's own when it holds none
// (None).
std::span<const std::uint64_t> counts_of(PyObject* given, const U64Buffer& counts,
                                         const prefix::SpellIndex& index) {
  return given == Py_None ? index.counts() : counts.span();
}

std::tuple<std::string_view, std::uint32_t, std::uint64_t, double> correction_tuple(
    const prefix::Correction& correction) {
  return {correction.key, correction.payload, correction.distance, correction.cost};
}

constexpr binding::FunctionDescription<2> SPELL_INDEX{
    std::nullopt, "spell_index", {"trie", "counts"}, 2};
constexpr binding::FunctionDescription<1> SOUND_CODE{std::nullopt, "sound_code", {"word"}, 1};
constexpr binding::FunctionDescription<7> SPELL{
    std::nullopt, "spell", {"trie", "index", "word", "n", "max_dist", "fold", "counts"}, 7};
constexpr binding::FunctionDescription<9> SPELL_MANY{
    std::nullopt,
    "spell_many",
    {"trie", "index", "words", "n", "max_dist", "fold", "counts", "threads", "progress"},
    9};

}  // namespace

PyObject* spell_index(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(SPELL_INDEX, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const U64Buffer counts(bound[1], "counts");
    auto index = without_lock(
        [&] { return std::make_unique<prefix::SpellIndex>(borrowed.trie(), counts.span()); });
    binding::Ref capsule = binding::checked(PyCapsule_New(index.get(), CAPSULE_NAME, free_index));
    static_cast<void>(index.release());  // the capsule owns it now
    return capsule;
  });
}

PyObject* sound_code(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(SOUND_CODE, args, nargs, kwnames);
    const std::u32string text = prefix::decode_utf8(binding::Text::convert(bound[0]));
    return binding::into_py(
        std::string_view(prefix::encode_utf8(prefix::sound_code(prefix::fold_case(text)))));
  });
}

PyObject* spell(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(SPELL, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::SpellIndex& index = index_of(bound[1]);
    const std::u32string text = prefix::decode_utf8(binding::Text::convert(bound[2]));
    const SpellOptions options = SpellOptions::from(bound, 3);
    const U64Buffer counts(bound[6], "counts");
    return binding::list_into_py(
        prefix::spell(borrowed.trie(), index,
                      options.query(text, counts_of(bound[6], counts, index))),
        correction_tuple);
  });
}

PyObject* spell_many(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(SPELL_MANY, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const prefix::SpellIndex& index = index_of(bound[1]);
    Queries queries = code_points_of(bound[2]);
    const SpellOptions options = SpellOptions::from(bound, 3);
    const U64Buffer counts(bound[6], "counts");
    const std::size_t threads = thread_count(bound.template convert<binding::MachineWord>(7));
    const prefix::SearchTrie& trie = borrowed.trie();
    const std::span<const std::uint64_t> ranked_by = counts_of(bound[6], counts, index);
    const std::vector<std::u32string>& texts = queries.texts;
    BatchProgress progress(bound[8], texts.size());
    binding::Ref answers = answers_into_list<std::vector<prefix::Correction>>(
        texts.size(), threads,
        [&](std::size_t i) {
          return prefix::spell(trie, index, options.query(texts[i], ranked_by));
        },
        correction_tuple, progress);
    if (queries.refused) throw std::move(*queries.refused);
    return answers;
  });
}

}  // namespace native
