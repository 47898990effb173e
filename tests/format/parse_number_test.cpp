#include "format/parse_number.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ParseUnsigned32, ReadsLikeStrtoulWithA32BitResult) {
  struct Case {
    const char* text;
    int base;
    uint32_t value;
    size_t consumed;
  } cases[] = {
      {"42", 10, 42, 2},
      {"  7x", 10, 7, 3},
      {"-1", 10, 4294967295u, 2},
      {"+5", 10, 5, 2},
      {"4294967295", 10, 4294967295u, 10},
      {"4294967296", 10, 0xFFFFFFFFu, 10},  // above 32 bits saturates
      {"99999999999999999999", 10, 0xFFFFFFFFu, 20},
      {"abc", 10, 0, 0},  // no digits: nothing consumed
      {"-", 10, 0, 0},
      {"", 10, 0, 0},
      {"1A", 16, 26, 2},
      {"0x1A", 16, 26, 4},
      {"0x", 16, 0, 1},  // the 0 is the number, x is not
      {"0x10", 0, 16, 4},
      {"010", 0, 8, 3},
      {"09", 0, 0, 1},  // octal stops at 9
  };
  for (const Case& c : cases) {
    const char* end = nullptr;
    EXPECT_EQ(ParseUnsigned32(c.text, &end, c.base), c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed) << c.text;
  }
}

TEST(ParseSigned32, SaturatesAndKeepsTheSign) {
  EXPECT_EQ(ParseSigned32("-42", nullptr, 10), -42);
  EXPECT_EQ(ParseSigned32(" 100,2", nullptr, 10), 100);
  EXPECT_EQ(ParseSigned32("2147483648", nullptr, 10), INT32_MAX);
  EXPECT_EQ(ParseSigned32("-2147483648", nullptr, 10), INT32_MIN);
  EXPECT_EQ(ParseSigned32("-99999999999", nullptr, 10), INT32_MIN);
  const char* end = nullptr;
  EXPECT_EQ(ParseSigned32("x", &end, 10), 0);
}
