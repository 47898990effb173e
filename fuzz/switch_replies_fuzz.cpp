// The line reader and every reply reader of the boot-ROM and firmware protocols, fed
// whatever the "switch" sends: probe and handshakes, identity query, memory reads, the
// parameter table reader, the compare and the firmware start.
#include <cstdio>
#include <string_view>

#include "image/identify.h"
#include "isp/boot_entry.h"
#include "isp/isp_commands.h"
#include "link/scripted/scripted_line.h"
#include "link/serial_port.h"

namespace {

// The switch sends the fuzzer's bytes in bursts of up to 64, a millisecond apart, as they
// would come out of a UART's receive queue, on a link open at 115200 baud.
void StartScript(const uint8_t* data, size_t size) {
  CloseLink();
  ScriptedReset();
  ResetIdentification();
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (size_t at = 0; at < size; at += 64) {
    ScriptedDeliver(bytes.substr(at, 64), static_cast<uint32_t>(at / 64));
  }
  OpenLink(1);
  SetLinkBaudRate(115200);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* quiet = freopen("/dev/null", "w", stdout);
  (void)quiet;
  if (size == 0) return 0;
  uint8_t which = data[0];
  StartScript(data + 1, size - 1);
  static uint8_t memory[1000];
  DeviceInfo info{};
  switch (which % 6) {
    case 0: ProbeLink(); break;
    case 1: QueryIdentity(&info, false); break;
    case 2: IspReadMemory(memory, 0x1A000000, 1 + (which % 7) * 150); break;
    case 3: ReadParameterTable(&info); break;
    case 4:
      IspCompare(0x1A000000, 0x10000000, 512);
      IspWriteRam(0x10000000, memory, 901);
      break;
    default:
      DetectDevice();
      StartFirmware();
      break;
  }
  return 0;
}
