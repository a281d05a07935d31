// Answering a batch of independent queries on several native threads, in
// query order, with the failure of the first failing query.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
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
// chunk still amortises the shared counter over several queries. Divided in
// two steps: threads * 16 may wrap (to 0 for 2^60 threads).
inline std::size_t chunk_size(std::size_t count, std::size_t threads) {
  return std::clamp<std::size_t>(count / threads / 16, 1, 64);
}

}  // namespace detail

// How often at most the calling thread breaks off to `pause` (see
// answer_each): often enough that an interrupt is honoured at once, seldom
// enough that taking the interpreter lock for it costs nothing measurable.
inline constexpr std::chrono::milliseconds PAUSE_EVERY{25};

// job(0), ..., job(count - 1), computed on up to `threads` threads: the
// calling one and at most threads - 1 started here, never more than there
// are chunks of queries. `job(i)` returns the Result of query i; it runs on
// any of the threads at once, so it must only read shared data and must not
// touch Python objects. Chunks of consecutive queries are claimed in
// increasing order through one atomic counter.
//
// The answers are handed over in query order as they are done: the calling
// thread, after each chunk it worked out itself, while it waits for the
// others and once they are joined, calls `take(begin, end, answers)` for the
// queries [begin, end) that are all done and not yet taken, answers[i]
// holding query i's (take may move them out). So the caller can turn answers
// into Python objects (taking the interpreter lock in `take`) while the
// other threads go on.
//
// Every PAUSE_EVERY or so (between two queries of its own, or while it waits
// for the others) the calling thread calls `pause(done)`, `done` being how
// many queries are finished: the caller checks for signals there and reports
// progress. When pause throws, the other threads stop before their next
// query, and its exception is rethrown once they are joined.
//
// When job(i) throws, no chunk after i's is started, nothing more is taken,
// and once every thread has finished, the exception of the lowest-numbered
// failing query is rethrown: the same exception a loop over the queries
// would meet first. When take throws, no chunk is started and its exception
// is rethrown once the threads are joined. Every thread started here is
// joined before this returns or throws. If a thread cannot be started, the
// batch goes on with those that were.
template <class Result, class Job, class Take, class Pause>
void answer_each(std::size_t count, std::size_t threads, const Job& job, Take take, Pause pause) {
  if (count == 0) return;
  using Clock = std::chrono::steady_clock;
  std::vector<Result> answers(count);
  threads = std::max<std::size_t>(threads, 1);
  const std::size_t chunk = detail::chunk_size(count, threads);
  const std::size_t chunks = (count + chunk - 1) / chunk;
  const std::size_t helper_count = std::min(threads, chunks) - 1;
  std::vector<std::atomic<bool>> done(chunks);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> finished{0};
  std::atomic<bool> stopped{false};
  detail::FirstFailure failure;
  // Runs one claimed chunk, calling `between()` after each query; false
  // once nothing is left to claim or the batch is stopped.
  const auto run_chunk = [&](auto between) {
    const std::size_t start = next.fetch_add(chunk, std::memory_order_relaxed);
    if (start >= count || start >= failure.index()) return false;
    const std::size_t end = std::min(count, start + chunk);
    for (std::size_t i = start; i < end; ++i) {
      if (stopped.load(std::memory_order_relaxed)) return false;
      try {
        answers[i] = job(i);
      } catch (...) {
        failure.record(i, std::current_exception());
        return true;
      }
      between();
    }
    finished.fetch_add(end - start, std::memory_order_relaxed);
    done[start / chunk].store(true, std::memory_order_release);
    return true;
  };
  std::size_t taken = 0;  // chunks handed to take
  const auto take_done = [&] {
    std::size_t until = taken;
    while (until < chunks && done[until].load(std::memory_order_acquire)) ++until;
    if (until == taken || failure.index() != detail::FirstFailure::NONE) return;
    take(taken * chunk, std::min(count, until * chunk), answers);
    taken = until;
  };
  Clock::time_point pause_at = Clock::now() + PAUSE_EVERY;
  const auto pause_if_due = [&] {
    if (Clock::now() < pause_at) return;
    pause(finished.load(std::memory_order_relaxed));
    pause_at = Clock::now() + PAUSE_EVERY;
  };
  std::mutex mutex;
  std::condition_variable helper_ended;
  std::size_t running = 0;  // helpers not yet ended, under `mutex`
  std::exception_ptr caller_failure;
  {
    std::vector<std::jthread> helpers;  // joined when this block ends, however it ends
    try {
      helpers.reserve(helper_count);
      for (std::size_t t = 0; t < helper_count; ++t) {
        {
          const std::scoped_lock lock(mutex);
          ++running;
        }
        try {
          helpers.emplace_back([&]() noexcept {
            while (run_chunk([] {})) {
            }
            const std::scoped_lock lock(mutex);
            --running;
            helper_ended.notify_one();
          });
        } catch (...) {
          const std::scoped_lock lock(mutex);
          --running;
          throw;
        }
      }
    } catch (const std::system_error&) {
      // Out of threads: those already started and this one do the work.
    }
    try {
      while (run_chunk(pause_if_due)) {
        take_done();
        pause_if_due();
      }
      // Nothing left to claim: the others' last chunks are taken as they end.
      std::unique_lock lock(mutex);
      const auto helpers_ended = [&running] { return running == 0; };
      while (!helpers_ended()) {
        helper_ended.wait_until(lock, pause_at);
        lock.unlock();
        take_done();
        pause_if_due();
        lock.lock();
      }
    } catch (...) {
      caller_failure = std::current_exception();
      // Stops the other threads before their next query.
      stopped.store(true, std::memory_order_relaxed);
      next.store(count, std::memory_order_relaxed);
    }
  }
  if (caller_failure) std::rethrow_exception(caller_failure);
  failure.rethrow_if_any();
  take_done();
}

// answer_each without pauses.
template <class Result, class Job, class Take>
void answer_each(std::size_t count, std::size_t threads, const Job& job, Take take) {
  answer_each<Result>(count, threads, job, std::move(take), [](std::size_t /*done*/) {});
}

// {job(0), ..., job(count - 1)}, computed as answer_each computes them.
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
  answer_each<Result>(count, threads, job,
                      [&results](std::size_t begin, std::size_t end, std::vector<Result>& answers) {
                        std::move(answers.begin() + static_cast<std::ptrdiff_t>(begin),
                                  answers.begin() + static_cast<std::ptrdiff_t>(end),
                                  results.begin() + static_cast<std::ptrdiff_t>(begin));
                      });
  return results;
}

}  // namespace native
