// An independent ISP client against the virtual switch: Debian's lpc21isp, used as a
// black box, detects the part, programs a 150 KB binary and verifies it. If the switch's
// boot ROM were wrong in a way that the utility's own ISP code shares, this is where it
// would show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "image/image_format.h"
#include "testing/vswitch_process.h"

namespace {

constexpr const char* kLpc21isp = "/usr/bin/lpc21isp";

std::vector<uint8_t> Binary(size_t n) {
  std::vector<uint8_t> bytes(n);
  uint32_t state = 0x1234567u;
  for (auto& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state);
  }
  return bytes;
}

int RunLpc21isp(const std::string& arguments, const std::string& outputPath) {
  // Appended rather than joined with operator+, on which GCC 12 at -O2 and above reports a
  // false out-of-bounds copy inside the temporary std::string (-Warray-bounds).
  std::string command = "timeout 120 ";
  command.append(kLpc21isp).append(" ").append(arguments).append(" >").append(outputPath);
  command.append(" 2>&1 </dev/null");
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(VirtualSwitchLpc21isp, DetectsProgramsAndVerifies150KB) {
  if (access(kLpc21isp, X_OK) != 0) GTEST_SKIP() << "lpc21isp is not installed";
  VirtualSwitchProcess vswitch({"--erase", "--zero-alias"});
  ASSERT_TRUE(vswitch.Start()) << vswitch.Error();
  std::string output = vswitch.Directory() + "/lpc21isp.txt";

  EXPECT_EQ(RunLpc21isp("-detectonly " + vswitch.LinkPath() + " 115200 12000", output), 0)
      << ReadText(output);
  EXPECT_NE(ReadText(output).find("LPC4357"), std::string::npos) << ReadText(output);

  // lpc21isp does not reset the part (this line has no DTR or RTS to do it with), and a
  // boot ROM that is already synchronised does not answer "?" again: power-cycle.
  ASSERT_TRUE(vswitch.Restart()) << vswitch.Error();
  std::vector<uint8_t> binary = Binary(150 * 1024);
  std::string binaryPath = vswitch.Directory() + "/firmware.bin";
  {
    std::ofstream out(binaryPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(binary.data()),
              static_cast<std::streamsize>(binary.size()));
  }
  ASSERT_EQ(RunLpc21isp("-bin -verify -donotstart " + binaryPath + " " + vswitch.LinkPath() +
                            " 115200 12000",
                        output),
            0)
      << ReadText(output);
  ASSERT_TRUE(vswitch.Stop());

  std::vector<uint8_t> flash = vswitch.ReadFlash();
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  // lpc21isp writes word 7 of the vector table so that the first eight words sum to
  // zero; every other byte must be the binary's.
  uint32_t sum = 0;
  for (int i = 0; i < 8; ++i) sum += ReadLe32(&flash[4 * static_cast<size_t>(i)]);
  EXPECT_EQ(sum, 0u);
  for (size_t i = 28; i < 32; ++i) flash[i] = binary[i];
  EXPECT_TRUE(std::equal(binary.begin(), binary.end(), flash.begin()));
}

}  // namespace
