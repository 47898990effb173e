// The switch's own firmware, as far as the serial line shows it.
//
// It runs the UART at 19200 baud and talks in frames: "^", text, "$". It answers the
// probe frame "^P$" with "^+$" (or with a five-character status "^=Pxx$"), the
// identity request "^V$" with its identity, and resets into the boot ROM on "^BOOTL$".
// Bytes outside a frame, and frames it does not know, are ignored; ESC drops a frame
// being received. After it starts it reloads its DSP banks, reporting each of six steps
// per bank as "^!100 <bank> <step>$", and then reports ready with "^=P$".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "firmware_identity.h"
#include "persona.h"

struct FirmwareOptions {
  uint32_t baud = 19200;
  std::string probeStatus;   // two characters: answer "^=P" + them + "$" instead of "^+$"
  bool ackIdentity = false;  // send "^+$" ahead of the identity reply
  uint32_t bootMs = 100;     // from start to the first progress frame
  uint32_t dspBanks = 2;
  uint32_t stepMs = 5;
  bool progress = true;          // false: reports nothing after it starts
  bool ready = true;             // false: progress, but never "^=P$"
  bool progressForever = false;  // progress that never ends (and no ready)
};

class FirmwarePersona : public Persona {
 public:
  // identity is asked for each time "^V$" arrives: the flash may have changed since
  // the firmware last ran.
  FirmwarePersona(SwitchParts parts, const FirmwareOptions& options,
                  std::function<Identity()> identity);

  // The firmware starts (power-up or the boot ROM's G).
  void Start(int64_t nowUs);

  const char* Name() const override { return "fw"; }
  uint32_t ListeningBaud() const override { return options_.baud; }
  void Receive(uint8_t byte, uint32_t hostBaud) override;
  int64_t NextTimerUs() const override { return nextProgressUs_; }
  void OnTimer(int64_t nowUs) override;

 private:
  void Frame(const std::string& text);
  void Send(const std::string& frame, bool reply);

  SwitchParts parts_;
  FirmwareOptions options_;
  std::function<Identity()> identity_;
  bool inFrame_ = false;
  std::string frame_;
  int64_t nextProgressUs_ = INT64_MAX;
  uint32_t bank_ = 1;
  uint32_t step_ = 0;
  uint32_t noiseState_ = 0x77A1u;
  bool spoilReplies_ = false;  // the replies to the frame being handled go out as noise
};
