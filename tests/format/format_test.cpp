#include "format/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

void Append(int ch, void* context) {
  static_cast<std::string*>(context)->push_back(static_cast<char>(ch));
}

// Each helper also checks that the count returned is what reached the sink.
std::string Format(const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  const int count = FormatText(Append, &text, format, args);
  va_end(args);
  EXPECT_EQ(count, static_cast<int>(text.size())) << format;
  return text;
}

std::string Number(uint32_t value, int base, int width, int signMode, unsigned fill) {
  std::string text;
  const int count = FormatNumber(Append, &text, value, base, width, signMode, fill, 0);
  EXPECT_EQ(count, static_cast<int>(text.size())) << text;
  return text;
}

// The short forms call a context-free put function, as PrintChar and SendChar are.
std::string recorded;
int Record(int ch) {
  recorded.push_back(static_cast<char>(ch));
  return -1;
}
std::string Take(int count) {
  std::string text;
  text.swap(recorded);
  EXPECT_EQ(count, static_cast<int>(text.size())) << text;
  return text;
}

const uint32_t kMinus42 = 0u - 42u;

}  // namespace

TEST(FormatNumber, NeverShortensAndPlacesTheSignByTheFill) {
  EXPECT_EQ("0", Number(0, 10, 0, kSignNone, kBlankFill));
  EXPECT_EQ("12345", Number(12345, 10, 2, kSignNone, kBlankFill));
  EXPECT_EQ("-2147483648", Number(0x80000000u, 10, 0, kSignMinus, 0));
  EXPECT_EQ("ffffffff", Number(0xFFFFFFFFu, 16, 0, kSignMinus, 0));  // case, never a sign
  EXPECT_EQ("    1,234,567", Number(1234567, 10, 13, kSignNone, kBlankFill | kGrouping));
  EXPECT_EQ(" 001,234", Number(1234, 10, 8, kSignNone, kGrouping));
}

TEST(FormatText, ConvertsNumbers) {
  EXPECT_EQ("-0042", Format("%05d", -42));
  EXPECT_EQ("  -42", Format("%5d", -42));
  EXPECT_EQ("+7", Format("%+d", 7));
  EXPECT_EQ(" 7", Format("% d", 7));
  EXPECT_EQ("4294967295", Format("%u", -1));
  EXPECT_EQ("ff", Format("%x", 255));
  EXPECT_EQ("FF", Format("%X", 255));
  EXPECT_EQ("00FF", Format("%04X", 255));
  EXPECT_EQ("    0000001F", Format("%012X", 0x1F));  // beyond 8 digits: always spaces
  EXPECT_EQ("101", Format("%b", 5));
  EXPECT_EQ("10", Format("%o", 8));
  EXPECT_EQ("37777777770", Format("%o", -8));  // unsigned unless "+" or " " is given
  EXPECT_EQ("00FF", Format("%,04X", 255));     // grouping is for base 10 only
  EXPECT_EQ("  $42", Format("%$5u", 42));
  EXPECT_EQ("$0042", Format("%$05u", 42));
  EXPECT_EQ("#-7", Format("%@d", '#', -7));
  EXPECT_EQ("1,234,567", Format("%,u", 1234567));
  EXPECT_EQ("999", Format("%,u", 999));
  EXPECT_EQ("  7%", Format("%3u%%", 7));
  EXPECT_EQ("2.60", Format("%u.%02u", 2, 60));
  EXPECT_EQ("R 436731392 512\r\n", Format("R %u %u\r\n", 0x1A07FE00, 512));
}

TEST(FormatText, RightJustifiesNumbersFromTheInnerWidth) {
  EXPECT_EQ("       5", Format("%8.4u", 5));
  EXPECT_EQ("        5", Format("%8.u", 5));
  EXPECT_EQ("   5    |", Format("%-8.4u|", 5));
  EXPECT_EQ("    7", Format("%5.03u", 7));  // only the first digit picks the fill
  EXPECT_EQ("00007", Format("%0*u", 5, 7));
  EXPECT_EQ("7", Format("%*.*u", INT_MIN, INT_MIN, 7));  // widths do not overflow
}

TEST(FormatText, StringsTakeAMaximumLengthAndAnOuterWidth) {
  EXPECT_EQ("ab    |", Format("%-6.s|", "ab"));
  EXPECT_EQ("     a|", Format("%6.1s|", "ab"));
  EXPECT_EQ("ab|", Format("%-6s|", "ab"));
  EXPECT_EQ("abcdefghij", Format("%10s", "abcdefghijkl"));
  EXPECT_EQ("      abcd", Format("%10.4s", "abcdefgh"));
  EXPECT_EQ("ab    5", Format("%-6.s%u", "ab", 5));
  EXPECT_EQ("ab", Format("%99999999999s", "ab"));
  EXPECT_EQ("abc|", Format("%S|", 3, "abcdef"));
  EXPECT_EQ(" ab  |", Format("%5.S|", 4, "ab\0cd"));  // stops at a NUL, still fills the width
  EXPECT_EQ("     |", Format("%5.s|", static_cast<const char*>(nullptr)));
  EXPECT_EQ("|", Format("%S|", 4, static_cast<const char*>(nullptr)));
  EXPECT_EQ("  |", Format("%2.S|", -3, "abc"));
}

TEST(FormatText, WritesCharactersAddressesAndUnknownConversions) {
  EXPECT_EQ("A", Format("%5c", 0x141));
  EXPECT_EQ("1.2.3.4", Format("%I", 0x04030201));
  EXPECT_EQ("001.002.003.004", Format("%03I", 0x04030201));
  EXPECT_EQ("255.255.255.255", Format("%+$,9.i", -1));
  EXPECT_EQ("%", Format("%%"));
  EXPECT_EQ("lu", Format("%lu", 5));
  EXPECT_EQ("q5", Format("%q%u", 5));
  EXPECT_EQ("abc", Format("abc%"));
}

TEST(PutCharForms, GiveThePutFunctionTheSameText) {
  EXPECT_EQ("-42", Take(PutDecimal(Record, kMinus42, -1, kBlankFill, 0)));   // width 0
  EXPECT_EQ(" -42", Take(PutDecimal(Record, kMinus42, -5, kBlankFill, 0)));  // width 4
  EXPECT_EQ("$0042", Take(PutDecimal(Record, 42, 5, 0, '$')));
  EXPECT_EQ("0A", Take(PutHex2(Record, 0xA)));
  EXPECT_EQ("1234", Take(PutHex2(Record, 0x1234)));
  EXPECT_EQ("BEEF", Take(PutHex4(Record, 0xBEEF)));
  EXPECT_EQ("0000001F", Take(PutHex8(Record, 0x1F)));
}

// A dump's expected text: head, spaces blanks, tail. Built with append rather than
// operator+, on which GCC 12 at -O2 and above reports a false out-of-bounds copy inside
// the temporary std::string (-Warray-bounds).
static std::string Padded(const char* head, size_t spaces, const char* tail) {
  std::string text = head;
  return text.append(spaces, ' ').append(tail);
}

TEST(DumpBytes, FillsAShortLastLineToTheWidthOfAFullOne) {
  const uint8_t data[] = "Firmware v1.02\r\nOK\0\xFF";
  std::string text;
  DumpBytes(Append, &text, data, 20, 0x100, 16);
  EXPECT_EQ(Padded("\r\n"
                   "0100: 46 69 72 6D 77 61 72 65  20 76 31 2E 30 32 0D 0A  Firmware v1.02..\r\n"
                   "0110: 4F 4B 00 FF ",
                   37, " OK..\r\n"),
            text);
  DumpBytes(Record, data + 2, 3, 0x12345, 2);
  EXPECT_EQ("\r\n12345: 72  6D  rm\r\n12347: 77      w\r\n", recorded);
  recorded.clear();
  DumpBytes(Record, nullptr, 0);  // nothing to read: the address line alone
  EXPECT_EQ(Padded("\r\n0000: ", 49, " \r\n"), recorded);
  recorded.clear();
}

TEST(DumpWords, ShowsByteAddressesAndNoCharacterColumn) {
  const uint32_t words[] = {0x12345678, 0xDEADBEEF, 1, 2, 3};
  std::string text;
  DumpWords(Append, &text, words, 5, 0x40);
  EXPECT_EQ(Padded("\r\n0100: 12345678 DEADBEEF 00000001 00000002   \r\n"
                   "0110: 00000003 ",
                   9, "  \r\n"),
            text);
}

TEST(TextBuffer, CutsWhatDoesNotFitAndStaysTerminated) {
  char storage[8];
  memset(storage, 'z', sizeof storage);
  TextBuffer buffer;
  TextBufferInit(&buffer, storage, 4);
  EXPECT_EQ(3, TextBufferAppendString(&buffer, "abcdef"));
  EXPECT_EQ(0, TextBufferAppendChar(&buffer, 'g'));
  EXPECT_STREQ("abc", storage);
  EXPECT_EQ(3, buffer.length);
  EXPECT_EQ('z', storage[4]);  // nothing beyond the capacity is touched

  TextBufferInit(&buffer, storage, 1);
  EXPECT_EQ(0, TextBufferAppendString(&buffer, "abcdef"));
  EXPECT_STREQ("", storage);

  EXPECT_EQ(0, FormatToBuffer(storage + 1, 0, "%u", 7));  // no room even for the NUL
  EXPECT_EQ('b', storage[1]);
}

TEST(TextBuffer, AppendsAndToBufferFormsReturnWhatWasKept) {
  char storage[128];
  TextBuffer buffer;
  TextBufferInit(&buffer, storage, sizeof storage);
  EXPECT_EQ(4, TextBufferAppendFormat(&buffer, "%u.%02u", 1, 2));
  EXPECT_EQ(1, TextBufferAppendChar(&buffer, ' '));
  EXPECT_EQ(6, TextBufferAppendString(&buffer, "(beta)"));
  EXPECT_STREQ("1.02 (beta)", storage);
  EXPECT_EQ(2, FormatNumberToBuffer(storage, 3, 0xBEEF, 16, 8, kSignNone, 0, 0));
  EXPECT_STREQ("00", storage);
  EXPECT_EQ(7, FormatToBuffer(storage, 8, "W %u %u\r\n", 0x10000000, 4096));
  EXPECT_STREQ("W 26843", storage);
}
