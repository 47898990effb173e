// The tools' command lines (imagepack, the sweep, the benchmark, the virtual switch): a
// value that is not a number, or does not fit its option, is refused with a message that
// names the option and a non-zero exit, never taken as 0; the forms they have always
// taken (0x addresses, family letters, versions) still give the same values.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/program_run.h"
#include "testing/test_image.h"
#include "switch_options.h"

namespace {

class ToolCommandLine : public ::testing::Test {
 protected:
  ToolCommandLine() {
    char pattern[] = "/tmp/tqupd-options-XXXXXX";
    if (mkdtemp(pattern)) folder_ = pattern;
  }
  ~ToolCommandLine() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

TEST_F(ToolCommandLine, BadNumbersAreRefusedNamingTheOption) {
  ASSERT_FALSE(folder_.empty());
  // Were a value taken, the program would go on to its work (a sweep, a benchmark, a
  // switch that serves until stopped) and run into the time limit instead.
  std::string image = folder_ + "/image.bin";
  std::string link = folder_ + "/com3";
  struct Case {
    std::vector<std::string> command;
    const char* option;
  } cases[] = {
      {{SWEEP_PROGRAM, "--jobs", "x"}, "--jobs"},
      {{SWEEP_PROGRAM, "--sample", "-1"}, "--sample"},
      {{SWEEP_PROGRAM, "--limit-s", "90s"}, "--limit-s"},
      {{SWEEP_PROGRAM, "--case", "x:power"}, "--case"},
      {{IMAGEPACK_PROGRAM, "--model", "x", "--out", image}, "--model"},
      {{IMAGEPACK_PROGRAM, "--firmware-address", "0x1A00000000", "--out", image},
       "--firmware-address"},
      {{IMAGEPACK_PROGRAM, "--synthetic-length", "100", "--out", image}, "--synthetic-length"},
      {{IMAGEPACK_PROGRAM, "--version", "2.6x", "--out", image}, "--version"},
      {{UPDATE_BENCH_PROGRAM, "--runs", "x"}, "--runs"},
      {{UPDATE_BENCH_PROGRAM, "--reply-latency-ms", "16ms"}, "--reply-latency-ms"},
      {{VSWITCH_PROGRAM, "--link", link, "--identity-hex", "x"}, "--identity-hex"},
      {{VSWITCH_PROGRAM, "--link", link, "--fault-compare", "-1"}, "--fault-compare"},
      {{VSWITCH_PROGRAM, "--link", link, "--table-check-length", "0x"}, "--table-check-length"},
      {{VSWITCH_PROGRAM, "--link", link, "--identity-family", "VZ"}, "--identity-family"},
      {{VSWITCH_PROGRAM, "--link", link, "--serial-number", "1", "2", "3", "4x"},
       "--serial-number"},
      {{VSWITCH_PROGRAM, "--link", link, "--boot-version", "1"}, "--boot-version"},
      {{VSWITCH_PROGRAM, "--link", link, "--noise", "1000000"}, "--noise"},
  };
  for (const Case& c : cases) {
    RunResult r = RunWithClosedInput(c.command, 30000);
    std::string shown;
    for (const std::string& word : c.command) shown += word + " ";
    EXPECT_GT(r.status, 0) << shown << "\n" << r.output;
    EXPECT_NE(r.output.find(c.option), std::string::npos) << shown << "\n" << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(image));
}

TEST_F(ToolCommandLine, ImagePackReadsAddressesLettersAndVersionsAsBefore) {
  ASSERT_FALSE(folder_.empty());
  std::string path = folder_ + "/image.bin";
  RunResult r = RunWithClosedInput(
      {IMAGEPACK_PROGRAM, "--family", "Z", "--model", "0x05", "--version", "2.61.03b", "--name",
       "KLM4400", "--firmware-address", "0x1A000000", "--table-address", "436731392",
       "--synthetic-length", "0x1000", "--variant", "7", "--out", path},
      30000);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
  PackOptions expected;
  expected.family = 'Z';
  expected.modelIndex = 5;
  expected.version = 0x023D0000u | 3u | 2u << 12;  // 2.61, beta 3, letter b
  expected.productName = "KLM4400";
  expected.tableAddress = 0x1A07FE00u;
  std::string error;
  std::vector<uint8_t> want =
      PackImage(SyntheticPayload(0x1000, kSyntheticEntry, 7), expected, &error);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(got, want);
}

// The virtual switch's options as parsed: each number in the form the tests and scripts
// give it.
SwitchOptions ParseSwitchOptions(std::vector<std::string> args) {
  args.insert(args.begin(), {"vswitch", "--link", "/nowhere/com3"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  CLI::App app;
  SwitchOptions options;
  DefineOptions(app, options);
  app.parse(static_cast<int>(argv.size()), argv.data());
  Faults faults;
  std::string error;
  EXPECT_TRUE(ConvertOptions(options, &faults, &error)) << error;
  return options;
}

TEST(SwitchCommandLine, NumbersAreTakenInDecimalAndHexadecimal) {
  struct Case {
    std::vector<std::string> args;
    uint64_t (*read)(const SwitchOptions&);
    uint64_t expected;
  } cases[] = {
      {{"--identity-hex", "0x1F"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.identity.hex.value(); },
       0x1F},
      {{"--identity-model", "12"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.identity.model.value(); },
       12},
      {{"--identity-family", "V"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.identity.family.value(); },
       'V'},
      {{"--identity-family", "0x5A"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.identity.family.value(); },
       'Z'},
      {{"--identity-version", "0x023C0000"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.identity.version.value(); },
       0x023C0000},
      {{"--identity-version", "2.60"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.identity.version.value(); },
       0x023C0000},
      {{"--table-check-length", "0x1000"},
       [](const SwitchOptions& o) -> uint64_t { return o.flash.checkLength; },
       4096},
      {{"--fault-compare", "0x1A004000", "--fault-compare", "16"},
       [](const SwitchOptions& o) -> uint64_t {
         return uint64_t{o.compareAddresses.at(0)} << 32 | o.compareAddresses.at(1);
       },
       0x1A004000ull << 32 | 16},
      {{"--serial-number", "0x0D0B0E0F", "1", "2", "3"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.rom.serial[0]; },
       0x0D0B0E0F},
      {{"--boot-version", "2.10"},
       [](const SwitchOptions& o) -> uint64_t {
         return uint64_t{o.config.rom.bootCodeMajor} << 32 | o.config.rom.bootCodeMinor;
       },
       2ull << 32 | 10},
      {{"--boot-ms", "0x10"},
       [](const SwitchOptions& o) -> uint64_t { return o.config.firmware.bootMs; },
       16},
      {{"--fault-silence-after-w-bytes", "0x100000000"},
       [](const SwitchOptions& o) -> uint64_t { return o.silenceAfterWBytes; },
       1ull << 32},
  };
  for (const Case& c : cases) {
    SwitchOptions options = ParseSwitchOptions(c.args);
    EXPECT_EQ(c.read(options), c.expected) << c.args[0] << " " << c.args[1];
  }
}

}  // namespace
