#include <gtest/gtest.h>

#include <string>

#include "common/parse_text.h"

namespace gandry {
namespace {

struct Case {
  std::string text;
  std::int32_t loose;
  std::optional<std::int32_t> complete;
};

TEST(ParseIntLoose, DecimalHexSignsAndStops) {
  const Case cases[] = {
      {"", 0, std::nullopt},
      {"12", 12, 12},
      {" 12", 12, 12},
      {"12 ", 12, std::nullopt},
      {"12abc", 12, std::nullopt},
      {"abc", 0, std::nullopt},
      {"-5", -5, -5},
      {"+5", 5, 5},
      {"007", 7, 7},
      // The sign only holds when the text ends within the limits.
      {"-5 ", 5, std::nullopt},
      {"-12abc", 12, std::nullopt},
      {"--5", 0, std::nullopt},
      {"-", 0, std::nullopt},
      {"1.5", 1, std::nullopt},
      {"\t12", 0, std::nullopt},
      {"$1F", 31, 31},
      {"0x1F", 31, 31},
      {"0X1F", 31, 31},
      {"x1F", 31, 31},
      {"X1f", 31, 31},
      {"-$10", -16, -16},
      {"$", 0, std::nullopt},
      {"0x", 0, std::nullopt},
      {"0xG", 0, std::nullopt},
      {"$1G", 1, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseIntLoose(c.text), c.loose) << '"' << c.text << '"';
    EXPECT_EQ(ParseIntComplete(c.text), c.complete) << '"' << c.text << '"';
  }
}

TEST(ParseIntLoose, LimitsAndWrap) {
  const Case cases[] = {
      {"2147483647", 2147483647, 2147483647},
      {"-2147483648", INT32_MIN, INT32_MIN},
      // Over the end limit: the signed result wrapped to 32 bits.
      {"2147483648", INT32_MIN, std::nullopt},
      {"2147483649", -2147483647, std::nullopt},
      {"-2147483649", 2147483647, std::nullopt},
      // The tenth digit breaks the per-digit limit.
      {"99999999999", 999999999, std::nullopt},
      {"-99999999999", 999999999, std::nullopt},
      {"21474836470", 2147483647, std::nullopt},
      // Hexadecimal: eight digits at most, their 32 bits as they stand.
      {"$FFFFFFFF", -1, -1},
      {"$7FFFFFFF", 2147483647, 2147483647},
      {"-$FFFFFFFF", 1, 1},
      {"$000000001F", 31, 31},
      {"$100000000", 268435456, std::nullopt},
      {"-$100000000", 268435456, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseIntLoose(c.text), c.loose) << '"' << c.text << '"';
    EXPECT_EQ(ParseIntComplete(c.text), c.complete) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace gandry
