#include "uart.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <string>
#include <vector>

#include "pty_line.h"
#include "stats.h"
#include "switch_log.h"

namespace {

// Bytes a switch can have queued for a host that does not read. A real UART would have
// lost them long before; beyond this they are dropped here too.
constexpr size_t kMaxQueuedOut = 1 << 20;

}  // namespace

Uart::Uart(PtyLine& line, Stats& stats, SwitchLog& log, bool paced)
    : line_(line), stats_(stats), log_(log), paced_(paced) {}

int64_t Uart::ClockUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t Uart::ByteTimeUs(uint32_t baud) const {
  // Start bit, eight data bits, stop bit.
  return baud == 0 ? 0 : 10'000'000 / baud;
}

void Uart::Send(std::string_view bytes, uint32_t baud) { Queue(bytes, baud, false); }

void Uart::Stream(std::string_view bytes, uint32_t baud) { Queue(bytes, baud, true); }

void Uart::Queue(std::string_view bytes, uint32_t baud, bool streamed) {
  int64_t now = ClockUs();
  int64_t start = std::max({now, busyUntil_, lastOutDue_});
  for (char c : bytes) {
    if (out_.size() >= kMaxQueuedOut) break;
    if (paced_) start += ByteTimeUs(baud);
    out_.push_back({static_cast<uint8_t>(c), baud, start, streamed});
  }
  lastOutDue_ = start;
}

void Uart::Hold(uint32_t ms) {
  busyUntil_ = std::max(ClockUs(), busyUntil_) + static_cast<int64_t>(ms) * 1000;
}

void Uart::ReadHost(int64_t now) {
  uint8_t buffer[4096];
  for (;;) {
    ssize_t n = line_.Read(buffer, sizeof buffer);
    if (n <= 0) return;  // EAGAIN: all taken in
    uint32_t baud = line_.HostBaud();
    stats_.bytesIn += static_cast<uint64_t>(n);
    if (baud > 0) stats_.wireUsIn += static_cast<uint64_t>(n) * 10000000u / baud;
    for (ssize_t i = 0; i < n; ++i) {
      int64_t due = now;
      if (paced_) due = std::max(now, lastInDue_ + ByteTimeUs(baud));
      lastInDue_ = due;
      in_.push_back({buffer[i], baud, due, false});
    }
  }
}

bool Uart::TakeInput(int64_t now, uint8_t* byte, uint32_t* baud) {
  if (in_.empty() || now < busyUntil_ || in_.front().due > now) return false;
  *byte = in_.front().value;
  *baud = in_.front().baud;
  in_.pop_front();
  return true;
}

void Uart::Transmit(int64_t now) {
  if (out_.empty()) {
    blocked_ = false;
    return;
  }
  uint32_t hostBaud = line_.HostBaud();
  std::vector<uint8_t> wire;
  std::vector<uint8_t> garbled;
  size_t taken = 0;
  size_t garbledCount = 0;
  size_t garbledLogged = 0;
  for (const Byte& b : out_) {
    if (b.due > now) break;
    ++taken;
    if (b.baud == hostBaud) {
      wire.push_back(b.value);
    } else {
      garbled.clear();
      outMismatch_.Garble(&b.value, 1, b.baud, hostBaud, &garbled);
      wire.insert(wire.end(), garbled.begin(), garbled.end());
      ++garbledCount;
      if (!b.streamed) ++garbledLogged;
    }
  }
  if (garbledLogged > 0) {
    log_.Event(hostBaud, "line", "garbled-out " + std::to_string(garbledLogged));
  }
  size_t written = 0;
  while (written < wire.size()) {
    ssize_t n = line_.Write(wire.data() + written, wire.size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  stats_.bytesOut += written;
  if (hostBaud > 0) stats_.wireUsOut += written * 10000000u / hostBaud;
  // The garbled form of what could not be written is lost: resending it later would
  // re-garble it against a rate that may have changed. What was never garbled is kept
  // until the host reads again.
  blocked_ = written < wire.size();
  if (blocked_ && garbledCount == 0) {
    taken = written;
  }
  out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(taken));
}

int64_t Uart::NextDueUs() const {
  int64_t next = INT64_MAX;
  if (!out_.empty() && !blocked_) next = out_.front().due;
  if (!in_.empty()) next = std::min(next, std::max(in_.front().due, busyUntil_));
  return next;
}

void Uart::Drop() {
  in_.clear();
  out_.clear();
  busyUntil_ = 0;
  blocked_ = false;
}
