// The switch's UART as the host sees it across the pseudo-terminal: when bytes arrive,
// when they leave, and at which baud rate each of them crossed the line.
//
// Every byte read from the host is stamped with the rate the host had set when it was
// read; every byte the switch sends carries the rate the switch sent it at, and is
// checked against the host's rate at the moment it is written. Bytes are read as soon
// as they arrive (the loop polls), so the stamp is the rate the host wrote them at.
//
// Paced, the line is as slow as a real one: ten bit times per byte (8N1) in both
// directions, so a host's burst is taken in one byte time after another and replies
// leave no faster than the rate allows; only the benchmark runs paced, no test of the
// utility does (README.md, "What tqupd never uses"). Unpaced, everything moves at once.
// Either way
// the switch can be busy (an erase, a slow reply): then nothing leaves and nothing is
// taken in until the busy time is over, as a ROM that is programming flash does not
// serve its UART.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>

#include "line_noise.h"

class PtyLine;
class SwitchLog;
struct Stats;

class Uart {
 public:
  Uart(PtyLine& line, Stats& stats, SwitchLog& log, bool paced);

  static int64_t ClockUs();

  // --- the switch's side
  // Queues bytes to go out at baud, behind everything queued before.
  void Send(std::string_view bytes, uint32_t baud);
  // The same for the bytes of a stream that never ends (the flood fault): when the host
  // listens at another rate they are garbled like any others, but not logged.
  void Stream(std::string_view bytes, uint32_t baud);
  // Bytes queued that have not left yet.
  size_t QueuedOut() const { return out_.size(); }
  // The switch is busy for ms from now (or from the end of the current busy time).
  void Hold(uint32_t ms);
  bool paced() const { return paced_; }

  // --- the loop's side
  // Takes in everything the host has written so far.
  void ReadHost(int64_t now);
  // The next byte that is due and may be taken in now, with the rate it arrived at.
  bool TakeInput(int64_t now, uint8_t* byte, uint32_t* baud);
  bool InputQueued() const { return !in_.empty(); }
  // Writes the bytes that are due, garbling those whose rate the host does not share.
  void Transmit(int64_t now);
  // Whether the pty refused bytes (the host is not reading): wait until it is writable.
  bool OutputBlocked() const { return blocked_; }
  // The earliest time at which input or output becomes due; INT64_MAX for none.
  int64_t NextDueUs() const;
  // Power loss: bytes in flight are lost, busy time ends.
  void Drop();

 private:
  struct Byte {
    uint8_t value;
    uint32_t baud;
    int64_t due;
    bool streamed;  // a byte of the flood: not counted in the garbled-out event
  };
  int64_t ByteTimeUs(uint32_t baud) const;
  void Queue(std::string_view bytes, uint32_t baud, bool streamed);

  PtyLine& line_;
  Stats& stats_;
  SwitchLog& log_;
  bool paced_;
  std::deque<Byte> in_;
  std::deque<Byte> out_;
  int64_t busyUntil_ = 0;
  int64_t lastInDue_ = 0;
  int64_t lastOutDue_ = 0;
  bool blocked_ = false;
  RateMismatch outMismatch_;
};
