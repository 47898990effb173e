// The packer's command line: bad numbers are refused, and the forms it has always taken
// (0x addresses, family letters, versions) still give the same image.
#include <fstream>
#include <iterator>

#include "testing/test_image.h"
#include "tools/tool_command_line.h"

TEST_F(ToolCommandLine, ImagePackRefusesBadNumbersNamingTheOption) {
  ASSERT_FALSE(folder_.empty());
  std::string image = folder_ + "/image.bin";
  ExpectRefused({
      {{IMAGEPACK_PROGRAM, "--model", "x", "--out", image}, "--model"},
      {{IMAGEPACK_PROGRAM, "--firmware-address", "0x1A00000000", "--out", image},
       "--firmware-address"},
      {{IMAGEPACK_PROGRAM, "--synthetic-length", "100", "--out", image}, "--synthetic-length"},
      {{IMAGEPACK_PROGRAM, "--version", "2.6x", "--out", image}, "--version"},
  });
  EXPECT_FALSE(std::filesystem::exists(image));
}

TEST_F(ToolCommandLine, ImagePackReadsAddressesLettersAndVersionsAsBefore) {
  ASSERT_FALSE(folder_.empty());
  std::string path = folder_ + "/image.bin";
  RunResult r =
      RunWithClosedInput({IMAGEPACK_PROGRAM, "--family", "Z", "--model", "0x05", "--version",
                          "2.61.03b", "--name", "KLM4400", "--firmware-address", "0x1A000000",
                          "--synthetic-length", "0x1000", "--variant", "7", "--out", path},
                         30000);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
  PackOptions expected;
  expected.family = 'Z';
  expected.modelIndex = 5;
  expected.version = 0x023D0000u | 3u | 2u << 12;  // 2.61, beta 3, letter b
  expected.productName = "KLM4400";
  std::string error;
  std::vector<uint8_t> want =
      PackImage(SyntheticPayload(0x1000, kSyntheticEntry, 7), expected, &error);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(got, want);
}
