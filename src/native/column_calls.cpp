// Columnar batches: a column of queries in, four columns of matches out.
#include "native/column_calls.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/results.hpp"
#include "native/arrow_abi.hpp"
#include "native/batch_progress.hpp"
#include "native/instance.hpp"
#include "native/match_columns.hpp"
#include "native/parallel_batch.hpp"
#include "native/queries.hpp"
#include "native/released_lock.hpp"
#include "native/scores.hpp"
#include "native/text_column.hpp"
#include "prefix/ranked_search.hpp"

namespace native {
namespace {

using Answer = std::shared_ptr<const MatchColumns>;
using Matches = std::vector<prefix::RankedMatch>;

constexpr const char* ANSWER_CAPSULE = "quorvatine.match_columns";

void drop_answer(PyObject* capsule) {
  delete static_cast<Answer*>(PyCapsule_GetPointer(capsule, ANSWER_CAPSULE));
}

const Answer& answer_of(PyObject* capsule) {
  auto* answer = static_cast<Answer*>(PyCapsule_GetPointer(capsule, ANSWER_CAPSULE));
  if (answer == nullptr) binding::throw_fetched();
  return *answer;
}

// A capsule owning a heap copy of an exported structure: its destructor
// releases the structure unless a consumer took it (marking it released).
template <class Structure>
binding::Ref capsule_of(const char* name, Structure& filled) {
  auto owned = std::make_unique<Structure>(filled);
  filled.release = nullptr;
  binding::Ref capsule =
      binding::Ref::steal(PyCapsule_New(owned.get(), name, [](PyObject* dropped) {
        const char* const capsule_name = PyCapsule_GetName(dropped);
        auto* structure = static_cast<Structure*>(PyCapsule_GetPointer(dropped, capsule_name));
        if (structure == nullptr) {
          PyErr_Clear();
          return;
        }
        if (structure->release != nullptr) structure->release(structure);
        delete structure;
      }));
  if (!capsule) {
    if (owned->release != nullptr) owned->release(owned.get());
    binding::throw_fetched();
  }
  (void)owned.release();
  return capsule;
}

constexpr binding::FunctionDescription<9> MATCH_COLUMN{
    std::nullopt,
    "match_column",
    {"trie", "source", "nulls", "n", "max_dist", "transpositions", "scores", "threads", "progress"},
    9};
constexpr binding::FunctionDescription<2> EXPORT_MATCHES{
    std::nullopt, "export_matches", {"answer", "column"}, 2};
constexpr binding::FunctionDescription<1> EXPORT_MATCH_STREAM{
    std::nullopt, "export_match_stream", {"answer"}, 1};
constexpr binding::FunctionDescription<2> MATCH_VALUES{
    std::nullopt, "match_values", {"answer", "column"}, 2};
constexpr binding::FunctionDescription<1> MATCH_KEYS{std::nullopt, "match_keys", {"answer"}, 1};

}  // namespace

PyObject* match_column(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(MATCH_COLUMN, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const TextColumn column(bound[1], bound[2]);
    const std::uint64_t n = bound.convert<binding::MachineWord>(3);
    const std::uint64_t max_dist = bound.convert<binding::MachineWord>(4);
    const bool swaps = binding::Truth::convert(bound[5]);
    const std::size_t threads = thread_count(bound.convert<binding::MachineWord>(7));
    const prefix::SearchTrie& trie = borrowed.trie();
    // No query reads a score of an empty column, so it reads none.
    const bool reads_scores = column.size() != 0 && bound[6] != Py_None;
    ScoreTable scores(reads_scores ? bound[6] : Py_None,
                      reads_scores ? trie.largest_payload() : std::nullopt);
    BatchProgress progress(bound[8], column.size());

    auto answer = std::make_shared<MatchColumns>();
    answer->reserve(column.size());
    try {
      ReleasedLock released;
      answer_each<Matches>(
          column.size(), threads,
          [&](std::size_t row) -> Matches {
            if (column.is_null(row)) return {};
            thread_local std::u32string text;
            column.decode(row, text);
            return prefix::suggest(trie, {text, n, max_dist, swaps, false, scores.score_of()});
          },
          [&](std::size_t begin, std::size_t end, std::vector<Matches>& answers) {
            for (std::size_t row = begin; row < end; ++row) {
              answer->append(static_cast<std::int64_t>(row), answers[row]);
              Matches().swap(answers[row]);
            }
          },
          progress.pause(released));
    } catch (const UnusableScore& refused) {
      throw scores.error_for(refused);
    } catch (const InvalidText& invalid) {
      throw binding::Error::pending(PyExc_ValueError, "row " + std::to_string(invalid.row) +
                                                          " of the queries is not valid UTF-8");
    }
    progress.finish();
    auto held = std::make_unique<Answer>(std::move(answer));
    binding::Ref capsule =
        binding::Ref::steal(PyCapsule_New(held.get(), ANSWER_CAPSULE, drop_answer));
    if (!capsule) binding::throw_fetched();
    (void)held.release();  // the capsule's now
    return capsule;
  });
}

PyObject* export_matches(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(EXPORT_MATCHES, args, nargs, kwnames);
    const Answer& answer = answer_of(bound[0]);
    const long column = PyLong_AsLong(bound[1]);
    if (column == -1 && PyErr_Occurred() != nullptr) binding::throw_fetched();
    if (column < MatchColumns::STRUCT || column >= static_cast<long>(MatchColumns::COLUMNS)) {
      throw binding::Error::pending(PyExc_ValueError, "no such column");
    }
    ArrowSchema schema{};
    ArrowArray array{};
    export_columns(answer, column, schema, array);
    arrow::OwnedArray owned_array(&array);
    binding::Ref schema_capsule = capsule_of(arrow::SCHEMA_CAPSULE, schema);
    binding::Ref array_capsule = capsule_of(arrow::ARRAY_CAPSULE, owned_array.get());
    return binding::into_py(std::pair{std::move(schema_capsule), std::move(array_capsule)});
  });
}

PyObject* export_match_stream(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(EXPORT_MATCH_STREAM, args, nargs, kwnames);
    ArrowArrayStream stream{};
    export_stream(answer_of(bound[0]), stream);
    return capsule_of(arrow::STREAM_CAPSULE, stream);
  });
}

PyObject* match_values(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(MATCH_VALUES, args, nargs, kwnames);
    const MatchColumns& answer = *answer_of(bound[0]);
    const long column = PyLong_AsLong(bound[1]);
    if (column == -1 && PyErr_Occurred() != nullptr) binding::throw_fetched();
    if (column == 4) {
      binding::Ref found = binding::checked(
          PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(answer.size())));
      char* const out = PyBytes_AS_STRING(found.get());
      for (std::size_t row = 0; row < answer.size(); ++row) {
        out[row] = static_cast<char>(answer.is_found(row) ? 1 : 0);
      }
      return found;
    }
    if (column != 0 && column != 2 && column != 3) {
      throw binding::Error::pending(PyExc_ValueError, "no such column");
    }
    const std::string_view values = answer.values(static_cast<std::size_t>(column));
    return binding::checked(
        PyBytes_FromStringAndSize(values.data(), static_cast<Py_ssize_t>(values.size())));
  });
}

PyObject* match_keys(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(MATCH_KEYS, args, nargs, kwnames);
    const MatchColumns& answer = *answer_of(bound[0]);
    const std::string_view bytes = answer.values(1);
    const std::vector<std::int64_t>& offsets = answer.key_offsets();
    binding::Ref list = binding::checked(PyList_New(static_cast<Py_ssize_t>(answer.size())));
    for (std::size_t row = 0; row < answer.size(); ++row) {
      binding::Ref key = answer.is_found(row)
                             ? binding::into_py(bytes.substr(
                                   static_cast<std::size_t>(offsets[row]),
                                   static_cast<std::size_t>(offsets[row + 1] - offsets[row])))
                             : binding::Ref::borrow(Py_None);
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(row), key.release());
    }
    return list;
  });
}

}  // namespace native
