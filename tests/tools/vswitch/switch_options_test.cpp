// The virtual switch's command line: bad numbers are refused, and each number is taken
// in the form the tests and scripts give it.
#include <gtest/gtest.h>

#include "switch_options.h"
#include "tools/tool_command_line.h"

TEST_F(ToolCommandLine, SwitchRefusesBadNumbersNamingTheOption) {
  ASSERT_FALSE(folder_.empty());
  std::string link = folder_ + "/com3";
  ExpectRefused({
      {{VSWITCH_PROGRAM, "--link", link, "--identity-hex", "x"}, "--identity-hex"},
      {{VSWITCH_PROGRAM, "--link", link, "--fault-compare", "-1"}, "--fault-compare"},
      {{VSWITCH_PROGRAM, "--link", link, "--table-check-length", "0x"}, "--table-check-length"},
      {{VSWITCH_PROGRAM, "--link", link, "--identity-family", "VZ"}, "--identity-family"},
      {{VSWITCH_PROGRAM, "--link", link, "--serial-number", "1", "2", "3", "4x"},
       "--serial-number"},
      {{VSWITCH_PROGRAM, "--link", link, "--boot-version", "1"}, "--boot-version"},
      {{VSWITCH_PROGRAM, "--link", link, "--noise", "1000000"}, "--noise"},
  });
}

namespace {

// The virtual switch's options as parsed: each number in the form the tests and scripts
// give it.
SwitchOptions Parsed(std::vector<std::string> args) {
  args.insert(args.begin(), {"vswitch", "--link", "/nowhere/com3"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  SwitchOptions options;
  EXPECT_EQ(ParseSwitchOptions(static_cast<int>(argv.size()), argv.data(), options), -1);
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
    SwitchOptions options = Parsed(c.args);
    EXPECT_EQ(c.read(options), c.expected) << c.args[0] << " " << c.args[1];
  }
}

}  // namespace
