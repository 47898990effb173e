// One switch on one serial line: the flash, the boot ROM, the firmware, and the power.
//
// At power-up the chip runs the firmware when the boot bank's vector table carries a
// valid checksum and the ISP pin is not held; otherwise it stays in the boot ROM. The
// board moves between the two on the ROM's G and the firmware's "^BOOTL$" (a reset, during
// which bytes that arrive are lost), and stops answering altogether when a fault cuts its
// power (until the program is restarted, which is the next power cycle).
#pragma once

#include <csignal>
#include <cstdint>

#include "boot_rom.h"
#include "faults.h"
#include "firmware_persona.h"
#include "image/image_format.h"
#include "memory_map.h"
#include "persona.h"
#include "uart.h"

class PtyLine;
class SwitchLog;
struct Stats;

struct SwitchConfig {
  bool paced = false;
  bool zeroAlias = false;
  bool ispPin = false;     // held at power-up: the boot ROM runs even over valid code
  bool logPoints = false;  // write every interruption point to the wire log
  BootRomOptions rom;
  FirmwareOptions firmware;
  IdentityOverrides identity;
  uint32_t tableAddress = kTableFlashAddress;
  // How long the chip takes to reset into its boot ROM on the firmware's "^BOOTL$".
  uint32_t resetMs = 50;
};

class VirtualSwitch : public Board {
 public:
  VirtualSwitch(PtyLine& line, Flash& flash, Faults& faults, const SwitchConfig& config,
                SwitchLog& log, Stats& stats);

  void PowerUp();
  // Serves the line until *stop is set; signals in the blocked set are let through only
  // while it waits. *release is set by the signal that releases a held switch.
  void Run(volatile sig_atomic_t* stop, volatile sig_atomic_t* release);

  // Board
  void RunFlashCode() override;
  void ResetToBootRom() override;
  void LosePower(const std::string& why) override;
  bool Powered() const override { return powered_; }
  int BootBank() const override { return bootBank_; }
  void SetBootBank(int bank) override { bootBank_ = bank; }
  AtPoint Point(const char* where, const std::string& text) override;
  void StartFlood(uint32_t baud) override;

 private:
  Identity CurrentIdentity() const;
  // The reset into the boot ROM is over: the boot ROM listens from now on.
  void EndReset();
  void DeliverInput(int64_t now);
  void FlushGarbledCount();
  // Freezes the switch where it stands until the release signal (or a stop) comes.
  // False when the program was stopped meanwhile.
  bool HoldUntilReleased(uint32_t point);
  // Puts the flood's next bytes into the UART: with a rate, those that are due by now;
  // without one, enough to keep a chunk queued, so the host always finds more.
  void TopUpFlood(int64_t now);
  // Whether the loop must wait for room on the line rather than for a time: a flood
  // without a rate is sent as fast as the host takes it.
  bool FloodWantsRoom() const;

  PtyLine& line_;
  Flash& flash_;
  Faults& faults_;
  SwitchConfig config_;
  SwitchLog& log_;
  Uart uart_;
  MemoryMap memory_;
  BootRom rom_;
  FirmwarePersona firmware_;
  Persona* active_ = nullptr;
  bool powered_ = false;
  // While the chip resets into its boot ROM nothing listens on the UART.
  bool resetting_ = false;
  int64_t resetEndUs_ = 0;
  uint32_t lostInReset_ = 0;
  int bootBank_ = 0;
  RateMismatch inMismatch_;
  uint32_t garbledIn_ = 0;
  uint32_t garbledSentAt_ = 0;
  uint32_t noiseState_ = 0x3C6Fu;
  uint32_t points_ = 0;
  struct Flood {
    bool on = false;
    uint32_t baud = 0;
    int64_t startUs = 0;
    uint64_t sent = 0;           // bytes of the stream so far, lost ones included
    int64_t nextUs = INT64_MAX;  // the next top-up of a flood with a rate
  } flood_;
  volatile sig_atomic_t* stop_ = nullptr;
  volatile sig_atomic_t* release_ = nullptr;
};
