#include "virtual_switch.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "image/image_format.h"
#include "line_noise.h"
#include "pty_line.h"
#include "stats.h"
#include "switch_log.h"

namespace {

// A flood without a rate keeps this much queued in the UART: about what a pseudo-
// terminal holds, so the host finds the line full whenever it reads.
constexpr size_t kFloodChunk = 4096;
// A flood with a rate is topped up this often.
constexpr int64_t kFloodTickUs = 10000;

}  // namespace

VirtualSwitch::VirtualSwitch(PtyLine& line, Flash& flash, Faults& faults,
                             const SwitchConfig& config, SwitchLog& log, Stats& stats)
    : line_(line),
      flash_(flash),
      faults_(faults),
      config_(config),
      log_(log),
      uart_(line, stats, log, config.paced),
      memory_(flash, config.zeroAlias),
      rom_(SwitchParts{uart_, log, stats, faults, *this}, memory_, config.rom),
      firmware_(SwitchParts{uart_, log, stats, faults, *this}, config.firmware,
                [this] { return CurrentIdentity(); }) {}

Identity VirtualSwitch::CurrentIdentity() const {
  Identity identity;
  int bank = 0;
  uint32_t offset = 0;
  if (Flash::Locate(config_.tableAddress, sizeof(ParameterTable), &bank, &offset)) {
    IdentityFromTable(flash_.Bank(bank) + offset, &identity);
  }
  config_.identity.ApplyTo(&identity);
  return identity;
}

void VirtualSwitch::PowerUp() {
  powered_ = true;
  resetting_ = false;
  bootBank_ = 0;
  memory_.ClearRam();
  if (faults_.noiseBytes > 0) {
    // A switch powering up puts a few undefined bytes on the line.
    std::vector<uint8_t> noise = NoiseBytes(faults_.noiseBytes, &noiseState_);
    uart_.Send(std::string_view(reinterpret_cast<const char*>(noise.data()), noise.size()),
               config_.firmware.baud);
  }
  if (!config_.ispPin && flash_.VectorTableValid(bootBank_)) {
    log_.Event(config_.firmware.baud, "fw", "power-up firmware");
    active_ = &firmware_;
    firmware_.Start(Uart::ClockUs());
  } else {
    log_.Event(0, "isp", config_.ispPin ? "power-up boot-rom isp-pin" : "power-up boot-rom");
    rom_.Reset();
    active_ = &rom_;
  }
}

void VirtualSwitch::RunFlashCode() {
  if (flash_.VectorTableValid(bootBank_)) {
    log_.Event(config_.firmware.baud, "fw", "start firmware");
    active_ = &firmware_;
    firmware_.Start(Uart::ClockUs());
    return;
  }
  // The ROM has handed over to code that is not there: the core runs into erased flash
  // and locks up. What the UART already holds still goes out; after that only a power
  // cycle brings the switch back.
  log_.Event(0, "off", "crash");
  powered_ = false;
}

void VirtualSwitch::ResetToBootRom() {
  // The firmware resets the chip, and the boot ROM comes up only once the reset is over:
  // whatever reaches the UART meanwhile is lost, as on the real switch, whose utility
  // therefore waits before it probes the boot ROM.
  rom_.Reset();
  active_ = &rom_;
  resetting_ = true;
  resetEndUs_ = Uart::ClockUs() + static_cast<int64_t>(config_.resetMs) * 1000;
  lostInReset_ = 0;
  if (config_.resetMs == 0) EndReset();
}

void VirtualSwitch::EndReset() {
  resetting_ = false;
  if (lostInReset_ > 0) log_.Event(0, "isp", "lost-in-reset " + std::to_string(lostInReset_));
  log_.Event(0, "isp", "reset boot-rom");
}

void VirtualSwitch::LosePower(const std::string& why) {
  log_.Event(0, "off", "power-loss " + why);
  powered_ = false;
  resetting_ = false;
  flood_ = Flood{};
  uart_.Drop();
  flash_.Sync();
}

AtPoint VirtualSwitch::Point(const char* where, const std::string& text) {
  uint32_t point = ++points_;
  uint32_t baud = active_->ListeningBaud();
  const char* persona = active_->Name();
  std::string number = std::to_string(point);
  if (config_.logPoints) log_.Event(baud, persona, "point " + number + " " + where + " " + text);
  if (point != faults_.interruptPoint) return AtPoint::kCarryOn;
  switch (faults_.interrupt) {
    case Faults::Interrupt::kNone: break;
    case Faults::Interrupt::kPower: LosePower("at point " + number); return AtPoint::kPowerLost;
    case Faults::Interrupt::kHold:
      if (HoldUntilReleased(point)) break;
      LosePower("stopped while held at point " + number);
      return AtPoint::kPowerLost;
    case Faults::Interrupt::kReply:
      log_.Event(baud, persona, "fault reply at point " + number);
      return AtPoint::kSpoilReply;
  }
  return AtPoint::kCarryOn;
}

void VirtualSwitch::StartFlood(uint32_t baud) {
  if (flood_.on) return;
  log_.Event(active_->ListeningBaud(), active_->Name(),
             std::string("fault flood ") + FloodPlaceName(faults_.flood));
  flood_.on = true;
  flood_.baud = baud;
  flood_.startUs = Uart::ClockUs();
  flood_.sent = 0;
  flood_.nextUs = faults_.floodRate > 0 ? flood_.startUs : INT64_MAX;
}

void VirtualSwitch::TopUpFlood(int64_t now) {
  if (!flood_.on) return;
  uint64_t owed = 0;
  if (faults_.floodRate == 0) {
    size_t queued = uart_.QueuedOut();
    owed = queued < kFloodChunk ? kFloodChunk - queued : 0;
  } else {
    if (now < flood_.nextUs) return;
    flood_.nextUs = now + kFloodTickUs;
    uint64_t us = static_cast<uint64_t>(now - flood_.startUs);
    uint64_t rate = faults_.floodRate;
    uint64_t due = us / 1000000 * rate + us % 1000000 * rate / 1000000;
    owed = due - flood_.sent;
    if (uart_.QueuedOut() >= kFloodChunk) {
      // The host is not reading: what a real line would carry now is lost (overrun),
      // instead of piling up here.
      flood_.sent += owed;
      owed = 0;
    }
  }
  std::string bytes(static_cast<size_t>(owed), '\r');
  for (size_t i = 0; i < bytes.size(); ++i) {
    if ((flood_.sent + i) % 2 == 1) bytes[i] = '\n';
  }
  flood_.sent += owed;
  uart_.Stream(bytes, flood_.baud);
}

bool VirtualSwitch::FloodWantsRoom() const {
  // Paced, the bytes come due at the line's rate and the loop wakes for them.
  return flood_.on && faults_.floodRate == 0 && !uart_.paced();
}

bool VirtualSwitch::HoldUntilReleased(uint32_t point) {
  // The switch stands still in the middle of what it was doing: nothing is read from the
  // line and nothing leaves it. The host side may die meanwhile; once released, the
  // switch goes on exactly where it stopped, as a switch whose host vanished would.
  if (release_ == nullptr || stop_ == nullptr) return true;  // not serving a line yet
  *release_ = 0;
  flash_.Sync();
  log_.Event(active_->ListeningBaud(), active_->Name(), "hold " + std::to_string(point));
  sigset_t waitMask;
  sigemptyset(&waitMask);
  while (!*release_ && !*stop_) sigsuspend(&waitMask);
  if (*stop_) return false;
  log_.Event(active_->ListeningBaud(), active_->Name(), "release " + std::to_string(point));
  return true;
}

void VirtualSwitch::FlushGarbledCount() {
  if (garbledIn_ == 0) return;
  log_.Event(
      active_->ListeningBaud(), active_->Name(),
      "garbled-in " + std::to_string(garbledIn_) + " sent-at " + std::to_string(garbledSentAt_));
  garbledIn_ = 0;
}

void VirtualSwitch::DeliverInput(int64_t now) {
  uint8_t byte = 0;
  uint32_t baud = 0;
  std::vector<uint8_t> heard;
  while (uart_.TakeInput(now, &byte, &baud)) {
    if (!powered_) continue;  // nobody listens
    if (resetting_) {
      // Among them the bytes that came with the "^BOOTL$" that started the reset.
      ++lostInReset_;
      continue;
    }
    uint32_t listening = active_->ListeningBaud();
    if (listening == 0 || listening == baud) {
      FlushGarbledCount();
      active_->Receive(byte, baud);
      continue;
    }
    // Sent at a rate this UART is not running at: what arrives is noise.
    ++garbledIn_;
    garbledSentAt_ = baud;
    heard.clear();
    inMismatch_.Garble(&byte, 1, baud, listening, &heard);
    for (uint8_t b : heard) {
      if (powered_) active_->Receive(b, baud);
    }
  }
  FlushGarbledCount();
  if (powered_ && !resetting_ && !uart_.InputQueued()) active_->InputIdle();
}

void VirtualSwitch::Run(volatile sig_atomic_t* stop, volatile sig_atomic_t* release) {
  stop_ = stop;
  release_ = release;
  sigset_t waitMask;
  sigemptyset(&waitMask);
  while (!*stop) {
    int64_t now = Uart::ClockUs();
    uart_.ReadHost(now);
    if (resetting_ && now >= resetEndUs_) EndReset();
    DeliverInput(now);
    if (powered_ && !resetting_ && active_->NextTimerUs() <= now) active_->OnTimer(now);
    TopUpFlood(now);
    uart_.Transmit(now);

    int64_t wake = uart_.NextDueUs();
    if (powered_) wake = std::min(wake, active_->NextTimerUs());
    if (resetting_) wake = std::min(wake, resetEndUs_);
    if (flood_.on) wake = std::min(wake, flood_.nextUs);
    now = Uart::ClockUs();
    timespec timeout{};
    timespec* timeoutPointer = nullptr;
    if (wake != INT64_MAX) {
      int64_t us = std::max<int64_t>(0, wake - now);
      timeout.tv_sec = static_cast<time_t>(us / 1000000);
      timeout.tv_nsec = static_cast<long>(us % 1000000) * 1000;
      timeoutPointer = &timeout;
    }
    bool wantRoom = uart_.OutputBlocked() || FloodWantsRoom();
    pollfd p{line_.MasterFd(), static_cast<short>(POLLIN | (wantRoom ? POLLOUT : 0)), 0};
    int r = ppoll(&p, 1, timeoutPointer, &waitMask);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (p.revents & (POLLHUP | POLLERR)) != 0 && (p.revents & POLLIN) == 0) {
      // Cannot happen while the slave descriptor is held; avoid a busy loop if it does.
      timespec pause{0, 10L * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  flash_.Sync();
}
