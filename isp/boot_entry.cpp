#include "isp/boot_entry.h"

#include <cstring>

#include "isp/device_mode.h"
#include "link/link_io.h"
#include "link/serial_port.h"

namespace {

constexpr int kProbeTries = 4;
// Reply lines during the probe: at most 19 characters.
constexpr int kReplyBuffer = 20;

// Sends the probe line: ESC, "^P$", the probe character and CR.
void SendProbeLine(char probeCharacter) {
  // The pieces go out this far apart. The boot ROM's auto-baud routine times the "?" from
  // its start bit, so "?" must reach a line that has been quiet since the bytes before it,
  // and the ROM needs a moment after locking its rate before it takes the CR; ESC, first,
  // must have ended whatever command a synchronised ROM was in before the rest arrives.
  // How short a gap the ROM tolerates is not documented; without the gaps the auto-baud
  // step may miss the "?", so the probe keeps them exactly as the line protocol has them.
  constexpr int32_t kPieceGapMs = 10;
  // ESC aborts whatever command a boot ROM was in the middle of.
  constexpr char kEscape = 0x1B;
  SendChar(kEscape);
  DelayMs(kPieceGapMs);
  SendString("^P$");
  DelayMs(kPieceGapMs);
  SendChar(probeCharacter);
  DelayMs(kPieceGapMs);
  SendChar('\r');
}

// The boot ROM is now synchronised with its echo on: switch the echo off. Its reply is
// the echo "A 0" (when echo was on) and then the result "0".
bool EchoOff(char* line) {
  SendString("A 0\r");
  if (ReadLineCR(line, kReplyBuffer) == 3) ReadLineCR(line, kReplyBuffer);
  return strcmp(line, "0") == 0;
}

// "?" reached a boot ROM waiting for auto-baud and it answered "Synchronized".
bool AutoBaudHandshake(char* line) {
  SendString("Synchronized\r\n");
  // The echo of our line; one empty line before it is the echoed CR of the probe line.
  if (ReadLineCR(line, kReplyBuffer) == 0) ReadLineCR(line, kReplyBuffer);
  ReadLineCR(line, kReplyBuffer);
  if (strcmp(line, "OK") != 0) return false;
  // The crystal frequency line: these parts do not use the value.
  SendString("O\r");
  ReadLineCR(line, kReplyBuffer);  // its echo
  ReadLineCR(line, kReplyBuffer);
  if (strcmp(line, "OK") != 0) return false;
  return EchoOff(line);
}

// A boot ROM already synchronised with echo on echoed the probe line up to its "$".
bool EchoOnHandshake(char* line, char probeCharacter) {
  if (linkPort.BytesWaiting() != 0) {
    ReadLineCR(line, kReplyBuffer);
    // The rest of the echoed probe line; then the boot ROM's verdict on it (ignored).
    if (line[0] == probeCharacter && line[1] == '\0') ReadLineCR(line, kReplyBuffer);
  }
  return EchoOff(line);
}

// A boot ROM already synchronised with echo off answered the probe line with "1"
// (unknown command); no echo comes back here.
bool EchoOffHandshake(char* line) {
  SendString("A 0\r");
  ReadLineCR(line, kReplyBuffer);
  return strcmp(line, "0") == 0;
}

}  // namespace

ProbeResult ProbeLink() {
  char line[kReplyBuffer];
  for (int attempt = 0; attempt < kProbeTries; ++attempt) {
    // "?" is the boot ROM's auto-baud character at 115200; "*" is harmless to both the
    // firmware and a synchronised boot ROM at 19200.
    bool fast = linkBaudRate == 19200;
    char probeCharacter = fast ? '?' : '*';
    SetLinkBaudRate(fast ? 115200 : 19200);
    FlushInput();
    SendProbeLine(probeCharacter);

    int n = ReadLine(line, kReplyBuffer, "$\r");
    if (n == 12 && strcmp(line, "Synchronized") == 0) {
      if (AutoBaudHandshake(line)) return ProbeResult::BootLoader;
    } else if (n == 2 && strcmp(line, "^P") == 0) {
      if (EchoOnHandshake(line, probeCharacter)) return ProbeResult::BootLoader;
    } else if (n == 1 && line[0] == '1') {
      if (EchoOffHandshake(line)) return ProbeResult::BootLoader;
    } else if (n == 2 && strcmp(line, "^+") == 0) {
      FlushInput();
      return ProbeResult::Firmware;
    } else if (n == 5 && line[0] == '^' && line[1] == '=' && line[2] == 'P') {
      return ProbeResult::Firmware;
    }
  }
  return ProbeResult::Nothing;
}

BootEntryResult EnterBootLoader() {
  ProbeResult probe = ProbeLink();
  if (probe == ProbeResult::Nothing) return BootEntryResult::NoAnswer;
  if (probe == ProbeResult::Firmware) {
    // The firmware answers "^BOOTL$" by resetting the chip into its boot ROM. Bytes that
    // arrive while it resets are lost, so the boot ROM is probed only after this long.
    constexpr int32_t kBootRomResetMs = 100;
    SendString("^BOOTL$");
    DelayMs(kBootRomResetMs);
    SetLinkBaudRate(115200);
    if (ProbeLink() != ProbeResult::BootLoader) return BootEntryResult::BootRomSilent;
  }
  deviceMode = BootLoader;
  DelayMs(kSettleBeforeCommandMs);
  FlushInput();
  return BootEntryResult::Synchronised;
}
