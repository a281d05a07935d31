// A batch's way in and out: its queries as code points, converted with the
// interpreter lock held so that native threads can walk them without it,
// and its answers as a list, built as they come.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "binding/results.hpp"
#include "native/batch_progress.hpp"
#include "native/parallel_batch.hpp"
#include "native/released_lock.hpp"

namespace native {

struct Queries {
  // The queries before the first one that could not be converted.
  std::vector<std::u32string> texts;
  // That query's error, as the one-query call reports it for its `prefix`.
  std::optional<binding::Error> refused;
};

// The code points of each str of the list or tuple `queries` (anything else:
// TypeError "'<type>' object cannot be converted to 'list'"), up to the first
// item that is not a str or not encodable (a lone surrogate); that item's
// error is kept in `refused`, a TypeError reworded as "argument 'prefix': ...".
// Runs no Python code, so the list cannot change meanwhile.
[[nodiscard]] Queries code_points_of(PyObject* queries);

// The list of the answers of `count` queries, job(0) to job(count - 1),
// worked out on `threads` native threads as answer_each works them out;
// each answer, a vector, becomes the list of its items `project`ed. Called
// with the interpreter lock held, it releases it for the walks, and the
// calling thread takes it again to build each finished run of lists while
// the other threads go on, and to report to `progress` (signals first).
template <class Result, class Job, class Project>
[[nodiscard]] binding::Ref answers_into_list(std::size_t count, std::size_t threads, const Job& job,
                                             Project project, BatchProgress& progress) {
  binding::Ref list = binding::checked(PyList_New(static_cast<Py_ssize_t>(count)));
  {
    ReleasedLock released;  // taken again before `list` is dropped on a failure
    answer_each<Result>(
        count, threads, job,
        [&](std::size_t begin, std::size_t end, std::vector<Result>& answers) {
          released.relocked([&] {
            for (std::size_t i = begin; i < end; ++i) {
              PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                              binding::list_into_py(std::move(answers[i]), project).release());
            }
          });
        },
        progress.pause(released));
  }
  progress.finish();
  return list;
}

// A batch's converted `threads` argument, checked (ValueError "threads must
// be at least 1" for 0) and capped at the cores this process may run on: more
// threads than that only add their start-up and switching.
[[nodiscard]] std::size_t thread_count(std::uint64_t threads);

}  // namespace native
