// The update benchmark's command line.
#include "tools/tool_command_line.h"

TEST_F(ToolCommandLine, BenchmarkRefusesBadNumbersNamingTheOption) {
  ASSERT_FALSE(folder_.empty());
  ExpectRefused({
      {{UPDATE_BENCH_PROGRAM, "--runs", "x"}, "--runs"},
      {{UPDATE_BENCH_PROGRAM, "--reply-latency-ms", "16ms"}, "--reply-latency-ms"},
  });
}
