#include "watchdog/item_diff.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ItemDiffTest, PairsEqualValuesInOrderAndNothingElse) {
  const ItemDiff diff =
      DiffItems<std::string>({"a||3|0", "b||3|0", "a||3|0", "c||3|0"},
                             {"c||3|0", "a||3|0", "b||3|5", "a||3|0", "a||3|0", "A||3|0"});
  EXPECT_THAT(diff.kept_from, ElementsAre(3u, 0u, std::nullopt, 2u, std::nullopt, std::nullopt));
  EXPECT_THAT(diff.removed, ElementsAre(1u));
  EXPECT_EQ(diff.added(), 3u);

  EXPECT_THAT(DiffItems<std::string>({"a"}, {}).removed, ElementsAre(0u));
  EXPECT_THAT(DiffItems<std::string>({}, {"a"}).removed, IsEmpty());
}

}  // namespace
}  // namespace gandry
