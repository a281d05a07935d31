// The score sequences of ranked queries: read entry by entry under the
// interpreter lock for one query, or read once into a table that the native
// threads of a batch share.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "binding/error.hpp"
#include "prefix/walk/top_sink.hpp"

namespace native {

// scores[payload] as a float, read from the sequence `scores` at each
// payload of a key in reach, so with the lock held; no scores when `scores`
// is None. A score is a number: an int, a float, or any object whose type
// has __index__ or __float__ (numpy's scalars among them), converted as
// float() converts it. A payload without a usable score fails the query:
// ValueError "scores has N entries: none for payload P", TypeError
// "scores[P] is not an int or a float", ValueError "scores[P] is NaN", or the
// error of the sequence or of the conversion (OverflowError for an int too
// large for a float).
[[nodiscard]] prefix::ScoreOf lazy_scores(PyObject* scores);

// Why an entry of a score sequence is unusable: not a number, NaN, or its
// conversion to a float raised.
enum class ScoreFault : std::uint8_t { NONE, NOT_A_NUMBER, NAN_SCORE, CONVERSION };

// What a table's ScoreOf throws for a payload without a usable entry.
struct UnusableScore {
  std::uint32_t payload;
};

// Every entry of a score sequence, read once with the lock held, for walks
// on any thread without it. An unusable entry fails only a query whose walk
// reads it, with the error lazy_scores raises at that point.
class ScoreTable {
 public:
  // Reads len(scores), then scores[0], scores[1], ... up to
  // scores[largest_payload] at most (none when `scores` is None, or no entry
  // when no payload is given): no query can read a later one. The first of
  // those calls that raises is thrown.
  ScoreTable(PyObject* scores, std::optional<std::uint32_t> largest_payload);
  ScoreTable(const ScoreTable&) = delete;
  ScoreTable& operator=(const ScoreTable&) = delete;
  ~ScoreTable() = default;

  // The scores of the table (empty without a sequence), valid while the
  // table lives; it throws UnusableScore. Safe to call from many threads.
  [[nodiscard]] const prefix::ScoreOf& score_of() const noexcept { return score_of_; }

  // The error lazy_scores raises for `refused.payload`; needs the lock.
  [[nodiscard]] binding::Error error_for(const UnusableScore& refused);

 private:
  struct Entry {
    double score;
    ScoreFault fault;
  };

  std::size_t size_ = 0;  // len(scores)
  std::vector<Entry> entries_;
  std::map<std::uint32_t, binding::Error> conversion_errors_;  // for the CONVERSION entries
  prefix::ScoreOf score_of_;
};

}  // namespace native
