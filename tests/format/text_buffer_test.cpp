#include <gtest/gtest.h>

#include <cstring>

#include "format/format.h"

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
