// Faults on demand: each makes the switch misbehave in one way that a real switch can,
// so that every error path of a client can be driven from a test.
//
// Counters run from power-up (the start of the program): "the k-th use" of a command
// counts the uses since then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Faults {
 public:
  // --fault-refuse LETTER[:K][=CODE]: the K-th use of the command (every use without K)
  // is answered with CODE, or with the command's typical refusal code.
  bool AddRefusal(const std::string& text, std::string* error);
  // --fault-resend once|always|K: which W checksums are answered RESEND.
  bool SetResend(const std::string& text, std::string* error);
  void AddCompareFault(uint32_t address) { compareAddresses_.push_back(address); }
  // --interrupt N:power|hold|reply: what happens at interruption point N.
  bool SetInterrupt(const std::string& text, std::string* error);
  // --flood WHERE[:RATE]: where the switch starts to stream, and how fast.
  bool SetFlood(const std::string& text, std::string* error);

  // Counts a use of command letter and returns the code to refuse it with, or 0.
  int Refusal(char letter);
  // Counts a W checksum line and says whether to answer it with RESEND.
  bool ResendThisChecksum();
  // The first faulty address inside [start, start + count), resolved addresses.
  bool CompareFaultIn(uint32_t start, uint32_t count, uint32_t* address) const;

  // Power loss after this many decoded W data bytes since power-up (0: never).
  uint64_t silenceAfterWBytes = 0;
  // Power loss at the end of the k-th C since power-up, before its status (0: never).
  uint32_t silenceAfterCopy = 0;
  // Noise bytes sent ahead of every line the switch sends, and at power-up. For trying a
  // client by hand on a noisy line: no test of the utility uses it (README.md).
  uint32_t noiseBytes = 0;
  // Extra time before every status or reply line, in ms.
  uint32_t slowMs = 0;

  // The interruption at one point (numbered from power-up): the switch loses power
  // there, freezes there until it is released, or spoils the reply to what reached it.
  enum class Interrupt { kNone, kPower, kHold, kReply };
  uint32_t interruptPoint = 0;
  Interrupt interrupt = Interrupt::kNone;

  // A runaway device: at one place the switch starts to stream empty lines ("\r\n" over
  // and over) instead of what it would send there, and keeps streaming until it loses
  // power. At the probe or the identity request of the firmware (instead of the answer),
  // at the boot ROM's R (after its status "0", instead of the data), or once the boot
  // ROM's synchronisation is complete (after its "OK" to the frequency line; it goes on
  // serving commands). floodRate is in bytes per second; 0 streams as fast as the host
  // takes the bytes.
  enum class Flood { kNone, kProbe, kIdentity, kRead, kSync };
  Flood flood = Flood::kNone;
  uint32_t floodRate = 0;
  bool FloodAt(Flood where) const { return flood == where; }

  // Running counts that the silence faults are checked against.
  uint64_t wBytes = 0;
  uint32_t copies = 0;

 private:
  struct Refuse {
    char letter;
    uint32_t nth;  // 0: every use
    int code;
  };
  std::vector<Refuse> refusals_;
  uint32_t uses_[128] = {};
  enum class Resend { kNever, kOnce, kAlways, kNth } resend_ = Resend::kNever;
  uint32_t resendNth_ = 0;
  uint32_t checksums_ = 0;
  std::vector<uint32_t> compareAddresses_;
};

// The code a boot ROM typically answers when it refuses a command of this letter.
int TypicalRefusalCode(char letter);

// The flood's place as --flood names it ("probe", "identity", "read", "sync").
const char* FloodPlaceName(Faults::Flood where);
