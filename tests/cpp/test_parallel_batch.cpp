// The batch runner: answers in query order on any thread count, and the
// failure of the lowest-numbered failing query whatever the threads' timing.
#include "native/parallel_batch.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace native {
namespace {

class Batch : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Batch, AnswersEveryQueryInOrder) {
  for (const std::size_t count : {0, 1, 5, 1000}) {
    const std::vector<std::string> answers = answer_all<std::string>(
        count, GetParam(), [](std::size_t i) { return std::to_string(i * i); });
    ASSERT_EQ(answers.size(), count);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(answers[i], std::to_string(i * i));
  }
}

TEST_P(Batch, RethrowsTheFirstFailureInQueryOrder) {
  // Query 300 fails last in time: the other threads meet 301 and later
  // failures while it still runs.
  for (int round = 0; round < 5; ++round) {
    try {
      (void)answer_all<int>(1000, GetParam(), [](std::size_t i) {
        if (i == 300) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (i == 300 || i == 301 || i == 700 || i == 999) {
          throw std::runtime_error("query " + std::to_string(i));
        }
        return static_cast<int>(i);
      });
      FAIL() << "no failure";
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), "query 300");
    }
  }
}

// The caller takes the answers in ranges that follow each other from query
// 0, while the other threads go on; when taking fails, that failure ends the
// batch once its threads are joined.
TEST_P(Batch, HandsAnswersOverInOrderAndStopsWhenTakingFails) {
  std::size_t taken = 0;
  answer_each<std::size_t>(
      1000, GetParam(), [](std::size_t i) { return i; },
      [&taken](std::size_t begin, std::size_t end, std::vector<std::size_t>& answers) {
        ASSERT_EQ(begin, taken);
        for (std::size_t i = begin; i < end; ++i) EXPECT_EQ(answers[i], i);
        taken = end;
      });
  EXPECT_EQ(taken, 1000U);
  EXPECT_THROW(answer_each<int>(
                   1000, GetParam(), [](std::size_t i) { return static_cast<int>(i); },
                   [](std::size_t /*begin*/, std::size_t /*end*/, std::vector<int>& /*answers*/) {
                     throw std::runtime_error("taking failed");
                   }),
               std::runtime_error);
}

// The calling thread pauses every PAUSE_EVERY with the count of finished
// queries; when a pause throws (a signal handler's exception), every thread
// stops before its next query and that exception ends the batch.
TEST_P(Batch, PausesAndStopsWhenAPauseThrows) {
  std::atomic<std::size_t> started{0};
  const auto slow = [&started](std::size_t i) {
    ++started;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return i;
  };
  std::vector<std::size_t> reported;
  EXPECT_THROW(
      answer_each<std::size_t>(
          100000, GetParam(), slow, [](std::size_t, std::size_t, std::vector<std::size_t>&) {},
          [&reported](std::size_t done) {
            reported.push_back(done);
            if (reported.size() == 2) throw std::runtime_error("interrupted");
          }),
      std::runtime_error);
  EXPECT_EQ(reported.size(), 2U);
  EXPECT_LE(reported[0], reported[1]);
  EXPECT_LT(started.load(), 100000U);
}

INSTANTIATE_TEST_SUITE_P(Threads, Batch, ::testing::Values(1, 2, 5, 64));

}  // namespace
}  // namespace native
