// Binding of the segmentation: jobs converted with the lock held, walked on
// native threads without it, results built with it again.
#include "native/segment.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "binding/conversions.hpp"
#include "binding/entry_point.hpp"
#include "binding/error.hpp"
#include "binding/function_description.hpp"
#include "binding/results.hpp"
#include "native/instance.hpp"
#include "native/queries.hpp"
#include "native/u64_buffer.hpp"
#include "prefix/segment_search.hpp"
#include "prefix/utf8.hpp"
#include "prefix/word_cost.hpp"

namespace native {
namespace {

struct Job {
  std::u32string text;
  std::vector<std::uint32_t> boundaries;
  std::vector<prefix::FixedPiece> fixed;
  std::uint32_t before = prefix::NO_KEY;
  std::uint32_t after = prefix::NO_KEY;
};

binding::Error refused_job(const char* what) {
  return binding::Error::pending(PyExc_TypeError, what);
}

// The items of a list or tuple, borrowed from it.
std::pair<PyObject**, Py_ssize_t> items_of(PyObject* sequence, const char* what) {
  if (!PyList_Check(sequence) && !PyTuple_Check(sequence)) throw refused_job(what);
  return {PySequence_Fast_ITEMS(sequence), PySequence_Fast_GET_SIZE(sequence)};
}

double as_double(PyObject* number) {
  const double value = PyFloat_AsDouble(number);
  if (value == -1.0 && PyErr_Occurred() != nullptr) binding::throw_fetched();
  return value;
}

std::uint32_t position_in(PyObject* number, std::size_t length) {
  const std::uint64_t value = binding::MachineWord::convert(number);
  if (value > length) {
    throw binding::Error::pending(PyExc_ValueError, "segment position past the text's end");
  }
  return static_cast<std::uint32_t>(value);
}

// A payload, or NO_KEY for None.
std::uint32_t payload_or_none(PyObject* object) {
  return object == Py_None ? prefix::NO_KEY : binding::U32::convert(object);
}

constexpr const char* JOB_FORM = "a segment job is (text, boundaries, fixed[, before, after])";
constexpr const char* PIECE_FORM = "a fixed piece is (start, end, cost[, payload[, written]])";

Job job_of(PyObject* item) {
  const auto [parts, size] = items_of(item, JOB_FORM);
  if (size != 3 && size != 5) throw refused_job(JOB_FORM);
  Job job{prefix::decode_utf8(binding::Text::convert(parts[0])), {}, {}};
  const std::size_t length = job.text.size();
  if (length > UINT32_MAX) {
    throw binding::Error::pending(PyExc_ValueError,
                                  "a segment text holds at most 2**32 - 1 characters");
  }
  const auto [cuts, cut_count] = items_of(parts[1], "segment boundaries are a list of int");
  for (Py_ssize_t i = 0; i < cut_count; ++i) job.boundaries.push_back(position_in(cuts[i], length));
  const auto [pieces, piece_count] = items_of(parts[2], "fixed pieces are a list of tuples");
  for (Py_ssize_t i = 0; i < piece_count; ++i) {
    const auto [fields, field_count] = items_of(pieces[i], PIECE_FORM);
    if (field_count < 3 || field_count > 5) throw refused_job(PIECE_FORM);
    int written = 0;
    if (field_count == 5 && (written = PyObject_IsTrue(fields[4])) < 0) binding::throw_fetched();
    job.fixed.push_back(prefix::FixedPiece{
        position_in(fields[0], length), position_in(fields[1], length), as_double(fields[2]),
        field_count >= 4 ? payload_or_none(fields[3]) : prefix::NO_KEY, written != 0});
  }
  if (size == 5) {
    job.before = payload_or_none(parts[3]);
    job.after = payload_or_none(parts[4]);
  }
  return job;
}

constexpr const char* COSTS_FORM = "costs are a tuple of five floats (or seven)";

prefix::SegmentCosts costs_of(PyObject* costs) {
  const auto [fields, size] = items_of(costs, COSTS_FORM);
  if (size != 5 && size != 7) throw refused_job(COSTS_FORM);
  return {as_double(fields[0]), as_double(fields[1]), as_double(fields[2]), as_double(fields[3]),
          as_double(fields[4])};
}

// The trie's word costs; costs of seven floats end with the log of the
// counts' total and their floor, which spare the pass over the counts.
prefix::WordCosts word_costs_of(const prefix::SearchTrie& trie, PyObject* costs) {
  const auto counts = trie.key_counts();
  const auto [fields, size] = items_of(costs, COSTS_FORM);
  if (size == 7 && counts) return {*counts, as_double(fields[5]), as_double(fields[6])};
  return prefix::WordCosts(counts);
}

binding::Ref into_py(prefix::Segmentation&& segmentation) {
  const auto piece = [](prefix::Piece&& p) {
    return std::tuple{
        p.start,   p.end,     static_cast<std::uint32_t>(p.kind), binding::into_py(p.key),
        p.payload, p.distance};
  };
  binding::Ref cost = binding::checked(PyFloat_FromDouble(segmentation.cost));
  return binding::into_py(
      std::pair{std::move(cost), binding::list_into_py(std::move(segmentation.pieces), piece)});
}

constexpr binding::FunctionDescription<7> SEGMENT_MANY{
    std::nullopt,
    "segment_many",
    {"trie", "jobs", "max_dist", "transpositions", "costs", "threads", "pairs"},
    6};

}  // namespace

PyObject* segment_many(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return binding::run_entry_point([&] {
    const auto bound = binding::bind(SEGMENT_MANY, args, nargs, kwnames);
    const BorrowedTrie borrowed(bound[0]);
    const auto [items, count] = items_of(bound[1], "segment jobs are a list");
    std::vector<Job> jobs;
    jobs.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) jobs.push_back(job_of(items[i]));
    const std::uint64_t max_dist = binding::MachineWord::convert(bound[2]);
    const int swaps = PyObject_IsTrue(bound[3]);
    if (swaps < 0) binding::throw_fetched();
    const prefix::SegmentCosts costs = costs_of(bound[4]);
    const std::size_t threads = thread_count(binding::MachineWord::convert(bound[5]));
    const prefix::SearchTrie& trie = borrowed.trie();
    const prefix::WordCosts words = word_costs_of(trie, bound[4]);
    const U64Buffer pairs(bound[6] != nullptr ? bound[6] : Py_None, "pairs");
    BatchProgress progress(Py_None, jobs.size());
    return answers_converted<prefix::Segmentation>(
        jobs.size(), threads,
        [&](std::size_t i) {
          const Job& job = jobs[i];
          return prefix::segment(
              trie,
              prefix::SegmentQuery{job.text, max_dist, swaps != 0, job.boundaries, job.fixed, costs,
                                   words, prefix::PairCosts(pairs.span()), job.before, job.after});
        },
        [](prefix::Segmentation&& answer) { return into_py(std::move(answer)); }, progress);
  });
}

}  // namespace native
