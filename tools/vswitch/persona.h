// What listens on the switch's UART at a given moment: the boot ROM or the switch's own
// firmware. The board (the rest of the switch) moves between them.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

class Uart;
class SwitchLog;
class Faults;
struct Stats;

class Persona {
 public:
  virtual ~Persona() = default;
  // "isp" or "fw", as in the log.
  virtual const char* Name() const = 0;
  // The rate the persona's UART runs at; 0 while it takes any (auto-baud).
  virtual uint32_t ListeningBaud() const = 0;
  // One byte as the persona's UART received it (already garbled when the host sent it
  // at another rate); hostBaud is the rate it crossed the line at.
  virtual void Receive(uint8_t byte, uint32_t hostBaud) = 0;
  // Called when every byte that has arrived so far has been received.
  virtual void InputIdle() {}
  // Work the persona does by itself, on a clock.
  virtual int64_t NextTimerUs() const { return INT64_MAX; }
  virtual void OnTimer(int64_t nowUs) { (void)nowUs; }
};

// What an interruption point asks of the persona that reached it.
enum class AtPoint {
  kCarryOn,     // nothing happens here (a held switch has been released again)
  kPowerLost,   // the switch has just lost power: stop at once
  kSpoilReply,  // the reply to what reached the point goes wrong
};

class Board {
 public:
  virtual ~Board() = default;
  // The boot ROM's G: run the code in flash (or crash when there is none).
  virtual void RunFlashCode() = 0;
  // The firmware's "^BOOTL$": reset into the boot ROM.
  virtual void ResetToBootRom() = 0;
  // The switch stops answering until the program is restarted.
  virtual void LosePower(const std::string& why) = 0;
  virtual bool Powered() const = 0;
  // The bank the chip boots from (the ROM's S command chooses it).
  virtual int BootBank() const = 0;
  virtual void SetBootBank(int bank) = 0;
  // An interruption point: the personas call it after each line they receive (before
  // acting on it), half way through each W's data, and after each erase or copy (before
  // its status). where is "line", "w-data" or "flash"; text says what reached it. The
  // board numbers the points from power-up and applies --interrupt when its point comes.
  virtual AtPoint Point(const char* where, const std::string& text) = 0;
  // The flood fault strikes where the persona stands: from now on the UART streams empty
  // lines at baud (the rate the persona's UART runs at), behind and between whatever the
  // persona sends, until the switch loses power. Starting it again changes nothing.
  virtual void StartFlood(uint32_t baud) = 0;
};

// What every persona works with.
struct SwitchParts {
  Uart& uart;
  SwitchLog& log;
  Stats& stats;
  Faults& faults;
  Board& board;
};
