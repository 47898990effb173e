// The sweep's command line.
#include "tools/tool_command_line.h"

TEST_F(ToolCommandLine, SweepRefusesBadNumbersNamingTheOption) {
  ASSERT_FALSE(folder_.empty());
  ExpectRefused({
      {{SWEEP_PROGRAM, "--jobs", "x"}, "--jobs"},
      {{SWEEP_PROGRAM, "--sample", "-1"}, "--sample"},
      {{SWEEP_PROGRAM, "--limit-s", "90s"}, "--limit-s"},
      {{SWEEP_PROGRAM, "--case", "x:power"}, "--case"},
  });
}
