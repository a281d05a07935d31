// Score sequences read lazily for one query, or once into a table for a batch.
#include "native/scores.hpp"

#include <Python.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "binding/ref.hpp"

namespace native {
namespace {

using binding::Error;
using binding::Ref;

// An int or a float, or an object whose type converts to one: numpy's
// scalars, Fraction, Decimal. A str or a list does not.
bool is_number(PyObject* item) {
  if (PyFloat_Check(item) || PyLong_Check(item) || PyIndex_Check(item)) return true;
  const PyNumberMethods* const number = Py_TYPE(item)->tp_as_number;
  return number != nullptr && number->nb_float != nullptr;
}

// Reads one entry into `score`, as float(item) would; CONVERSION leaves the
// conversion's error set.
ScoreFault read_score(PyObject* item, double& score) {
  if (!is_number(item)) return ScoreFault::NOT_A_NUMBER;
  score = PyFloat_AsDouble(item);
  if (score == -1.0 && PyErr_Occurred() != nullptr) return ScoreFault::CONVERSION;
  return std::isnan(score) ? ScoreFault::NAN_SCORE : ScoreFault::NONE;
}

// The error of an entry that is there but unusable (not CONVERSION).
Error fault_error(ScoreFault fault, std::uint32_t payload) {
  const std::string entry = "scores[" + std::to_string(payload) + "]";
  if (fault == ScoreFault::NOT_A_NUMBER) {
    return Error::pending(PyExc_TypeError, entry + " is not an int or a float");
  }
  return Error::pending(PyExc_ValueError, entry + " is NaN");
}

Error beyond_end(std::size_t size, std::uint32_t payload) {
  return Error::pending(PyExc_ValueError, "scores has " + std::to_string(size) +
                                              " entries: none for payload " +
                                              std::to_string(payload));
}

std::size_t length_of(PyObject* scores) {
  const Py_ssize_t size = PySequence_Size(scores);
  if (size < 0) binding::throw_fetched();
  return static_cast<std::size_t>(size);
}

Ref entry_of(PyObject* scores, std::size_t index) {
  Ref item = Ref::steal(PySequence_GetItem(scores, static_cast<Py_ssize_t>(index)));
  if (!item) binding::throw_fetched();
  return item;
}

}  // namespace

prefix::ScoreOf lazy_scores(PyObject* scores) {
  if (scores == Py_None) return {};
  return [scores](std::uint32_t payload) {
    const std::size_t size = length_of(scores);
    if (payload >= size) throw beyond_end(size, payload);
    double score = 0.0;
    const ScoreFault fault = read_score(entry_of(scores, payload).get(), score);
    if (fault == ScoreFault::CONVERSION) binding::throw_fetched();
    if (fault != ScoreFault::NONE) throw fault_error(fault, payload);
    return score;
  };
}

ScoreTable::ScoreTable(PyObject* scores, std::optional<std::uint32_t> largest_payload) {
  if (scores == Py_None) return;
  size_ = length_of(scores);
  // Grown as entries are read, so that a false length cannot size it.
  const std::size_t readable =
      std::min<std::size_t>(size_, largest_payload ? std::size_t{*largest_payload} + 1 : 0);
  for (std::size_t i = 0; i < readable; ++i) {
    Entry entry{0.0, ScoreFault::NONE};
    entry.fault = read_score(entry_of(scores, i).get(), entry.score);
    if (entry.fault == ScoreFault::CONVERSION) {
      conversion_errors_.emplace(static_cast<std::uint32_t>(i), Error::fetch());
    }
    entries_.push_back(entry);
  }
  score_of_ = [this](std::uint32_t payload) {
    if (payload >= entries_.size() || entries_[payload].fault != ScoreFault::NONE) {
      throw UnusableScore{payload};
    }
    return entries_[payload].score;
  };
}

Error ScoreTable::error_for(const UnusableScore& refused) {
  const std::uint32_t payload = refused.payload;
  if (payload >= entries_.size()) return beyond_end(size_, payload);
  const ScoreFault fault = entries_[payload].fault;
  if (fault != ScoreFault::CONVERSION) return fault_error(fault, payload);
  const auto found = conversion_errors_.find(payload);
  Error error = std::move(found->second);
  conversion_errors_.erase(found);
  return error;
}

}  // namespace native
