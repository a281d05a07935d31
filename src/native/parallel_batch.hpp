// Answering a batch of independent queries on several native threads, in
// query order, with the failure of the first failing query.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace native {

namespace detail {

// The failure of the lowest-numbered query that failed so far.
class FirstFailure {
 public:
  // Queries at or above this index need not run: their answer can no longer
  // be the one reported. NONE while nothing failed.
  [[nodiscard]] std::size_t index() const noexcept {
    return index_.load(std::memory_order_acquire);
  }

  void record(std::size_t index, std::exception_ptr failure) {
    const std::scoped_lock lock(mutex_);
    if (index < index_.load(std::memory_order_relaxed)) {
      failure_ = std::move(failure);
      index_.store(index, std::memory_order_release);
    }
  }

  void rethrow_if_any() const {
    if (failure_) std::rethrow_exception(failure_);
  }

  static constexpr std::size_t NONE = std::numeric_limits<std::size_t>::max();

 private:
  std::mutex mutex_;
  std::atomic<std::size_t> index_{NONE};
  std::exception_ptr failure_;
};

// Queries vary a lot in cost, so threads claim small chunks as they go; a
// chunk still amortises the shared counter over several queries.
inline std::size_t chunk_size(std::size_t count, std::size_t threads) {
  return std::clamp<std::size_t>(count / (threads * 16), 1, 64);
}

}  // namespace detail

// {job(0), ..., job(count - 1)}, computed on up to `threads` threads: the
// calling one and at most threads - 1 started here, never more than there
// are chunks of queries. `job(i)` returns the Result of query i; it runs on
// any of the threads at once, so it must only read shared data and must not
// touch Python objects (the caller releases the interpreter lock around this
// call and converts the results after taking it again). Chunks of
// consecutive queries are claimed in increasing order through one atomic
// counter. When job(i) throws, no chunk after i's is started, and once
// every thread has finished, the exception of the lowest-numbered failing
// query is rethrown: the same exception a loop over the queries would meet
// first. Every thread started here is joined before this returns or throws.
// If a thread cannot be started, the batch goes on with those that were.
//
// A new kind of query plugs in with its Result (default-constructible and
// movable) and a job over its prepared queries, e.g. for records of a
// query kind `suggest`:
//   answer_all<std::vector<Suggestion>>(words.size(), threads,
//       [&](std::size_t i) { return suggest(trie, words[i], n, max_dist); });
template <class Result, class Job>
[[nodiscard]] std::vector<Result> answer_all(std::size_t count, std::size_t threads,
                                             const Job& job) {
  std::vector<Result> results(count);
  if (count == 0) return results;
  threads = std::max<std::size_t>(threads, 1);
  const std::size_t chunk = detail::chunk_size(count, threads);
  std::atomic<std::size_t> next{0};
  detail::FirstFailure failure;
  const auto work = [&]() noexcept {
    for (;;) {
      const std::size_t start = next.fetch_add(chunk, std::memory_order_relaxed);
      if (start >= count || start >= failure.index()) return;
      const std::size_t end = std::min(count, start + chunk);
      for (std::size_t i = start; i < end; ++i) {
        try {
          results[i] = job(i);
        } catch (...) {
          failure.record(i, std::current_exception());
          break;
        }
      }
    }
  };
  {
    const std::size_t helper_count = std::min(threads, (count + chunk - 1) / chunk) - 1;
    std::vector<std::jthread> helpers;  // joined when this block ends, however it ends
    try {
      helpers.reserve(helper_count);
      for (std::size_t t = 0; t < helper_count; ++t) helpers.emplace_back(work);
    } catch (const std::system_error&) {
      // Out of threads: those already started and this one do the work.
    }
    work();
  }
  failure.rethrow_if_any();
  return results;
}

}  // namespace native
