// Tests of State: typed reads, replacement, ownership of the values.
#include "prefix/state.hpp"

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
  EXPECT_EQ(state.get<Row>("CUR_ROW"), nullptr);
  state.put("CUR_PREFIX", std::u32string(U"ab"));
  EXPECT_EQ(state.get<Row>("CUR_ROW"), nullptr);
  EXPECT_EQ(state.get<Row>("CUR_PREFIX"), nullptr);
  EXPECT_EQ(state.get<std::u32string>("CUR_PREFIX "), nullptr);
  ASSERT_NE(state.get<std::u32string>("CUR_PREFIX"), nullptr);
  EXPECT_EQ(*state.get<std::u32string>("CUR_PREFIX"), U"ab");
}

TEST(State, PutReplacesAValueOfEitherType) {
  State state;
  state.put("K", Row{1, 2});
  state.put("K", Row{3});
  EXPECT_EQ(*state.get<Row>("K"), Row{3});
  state.put("K", std::u32string(U"x"));
  EXPECT_EQ(state.get<Row>("K"), nullptr);
  EXPECT_EQ(*state.get<std::u32string>("K"), U"x");
}

TEST(State, OwnsItsValuesAndMovesThem) {
  auto probe = std::make_shared<int>(7);
  {
    State state;
    state.put("P", probe);
    state.put("Q", probe);
    EXPECT_EQ(probe.use_count(), 3);
    state.put("P", Row{});  // the replaced value is destroyed at once
    EXPECT_EQ(probe.use_count(), 2);
    State moved = std::move(state);
    EXPECT_EQ(**moved.get<std::shared_ptr<int>>("Q"), 7);
    EXPECT_EQ(probe.use_count(), 2);
  }
  EXPECT_EQ(probe.use_count(), 1);
}

}  // namespace
}  // namespace prefix
