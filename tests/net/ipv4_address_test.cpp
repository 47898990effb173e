#include "net/ipv4_address.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr uint32_t kUntouched = 0x5A5A5A5A;

TEST(Ipv4Address, ReadsFourDottedDecimalNumbers) {
  struct Case {
    const char* text;
    uint32_t address;
  } cases[] = {
      {"192.168.1.239", 0xC0A801EF},   {"127.0.0.1", 0x7F000001},  {"0.0.0.0", 0x00000000},
      {"255.255.255.255", 0xFFFFFFFF}, {"10.0.100.9", 0x0A006409}, {"1.22.133.4", 0x01168504},
  };
  for (const Case& c : cases) {
    uint32_t address = kUntouched;
    EXPECT_TRUE(ParseIpv4Address(c.text, &address)) << c.text;
    EXPECT_EQ(address, c.address) << c.text;
  }
}

TEST(Ipv4Address, RefusesEveryOtherTextAndLeavesTheAddressAlone) {
  // Grouped by what is wrong with them, a group a line or two.
  // clang-format off
  const char* const refused[] = {
      // A number past 255, or with more digits than 255 has.
      "256.0.0.1", "1.2.3.256", "1.300.3.4", "999.1.1.1", "1.2.3.1000", "1.2.3.4294967297",
      // Too few or too many numbers, or an empty one.
      "", "1", "1.2", "1.2.3", "1.2.3.", "1.2.3.4.", "1.2.3.4.5", ".1.2.3", "1..2.3",
      "1.2..3.4",
      // Forms that other readers take, as octal, hexadecimal or short addresses.
      "127.1", "01.2.3.4", "1.2.3.04", "0177.0.0.1", "0x7f.0.0.1", "1.2.3.0x4", "00.0.0.0",
      // Anything else around or between the numbers.
      " 1.2.3.4", "1.2.3.4 ", "1.2.3.4\n", "1. 2.3.4", "1,2,3,4", "+1.2.3.4", "1.2.3.-4",
      "1.2.3.4x", "a.b.c.d", "1.2.3.4:50005", "localhost",
  };  // clang-format on

  for (const char* text : refused) {
    uint32_t address = kUntouched;
    EXPECT_FALSE(ParseIpv4Address(text, &address)) << '"' << text << '"';
    EXPECT_EQ(address, kUntouched) << '"' << text << '"';
  }
  uint32_t address = kUntouched;
  EXPECT_FALSE(ParseIpv4Address(nullptr, &address));
  EXPECT_EQ(address, kUntouched);
}

TEST(Ipv4Address, ReadsNoFurtherThanTheTerminator) {
  // Every prefix of an address, in storage exactly its own length, so that AddressSanitizer
  // sees a read past the terminator. Only the prefixes that end inside the last number
  // are addresses themselves.
  const std::string full = "192.168.1.239";
  for (size_t length = 0; length <= full.size(); ++length) {
    std::unique_ptr<char[]> text(new char[length + 1]);
    full.copy(text.get(), length);
    text[length] = '\0';
    uint32_t address = kUntouched;
    EXPECT_EQ(ParseIpv4Address(text.get(), &address), length > full.rfind('.') + 1) << text.get();
  }
}

}  // namespace
