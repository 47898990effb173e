// The console monitor, on any byte stream from the switch.
#include <cstdio>

#include "monitor/console_monitor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* quiet = freopen("/dev/null", "w", stdout);
  (void)quiet;
  for (size_t i = 0; i < size; ++i) FeedConsoleByte(data[i]);
  FeedConsoleByte('$');
  return 0;
}
