// The identity reply parser, on any line the switch might send.
#include <cstring>
#include <string>

#include "image/identify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.c_str();  // a line never holds a NUL
  DeviceInfo info{};
  ParseIdentityReply(&info, line.c_str());
  if (info.productName[32] != '\0') __builtin_trap();
  return 0;
}
