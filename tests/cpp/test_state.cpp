// Tests of State: typed reads, replacement, ownership of the values.
#include "prefix/checked/state.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace prefix {
namespace {

using Row = std::vector<std::uint64_t>;

TEST(State, GivesNothingWhenEmptyMissingOrOfAnotherType) {
  State state;
  EXPECT_EQ(state.get<Row>("K"), nullptr);
  state.put("K", std::u32string(U"ab"));
  EXPECT_EQ(state.get<Row>("K"), nullptr);
  EXPECT_EQ(state.get<std::u32string>("L"), nullptr);
  EXPECT_EQ(*state.get<std::u32string>("K"), U"ab");
}

TEST(State, PutReplacesAValueOfEitherTypeAndDestroysTheOld) {
  auto probe = std::make_shared<int>(7);
  {
    State state;
    state.put("K", probe);
    state.put("L", probe);
    state.put("K", Row{3});
    EXPECT_EQ(probe.use_count(), 2);
    EXPECT_EQ(state.get<std::shared_ptr<int>>("K"), nullptr);
    EXPECT_EQ(*state.get<Row>("K"), Row{3});
    const State moved = std::move(state);
    EXPECT_EQ(**moved.get<std::shared_ptr<int>>("L"), 7);
  }
  EXPECT_EQ(probe.use_count(), 1);
}

}  // namespace
}  // namespace prefix
