#include "firmware_persona.h"

#include <algorithm>

#include "faults.h"
#include "line_noise.h"
#include "switch_log.h"
#include "uart.h"

namespace {

constexpr size_t kMaxFrame = 64;
constexpr uint32_t kStepsPerBank = 6;

}  // namespace

FirmwarePersona::FirmwarePersona(SwitchParts parts, const FirmwareOptions& options,
                                 std::function<Identity()> identity)
    : parts_(parts), options_(options), identity_(std::move(identity)) {}

void FirmwarePersona::Start(int64_t nowUs) {
  inFrame_ = false;
  frame_.clear();
  bank_ = 1;
  step_ = 0;
  nextProgressUs_ =
      options_.progress ? nowUs + static_cast<int64_t>(options_.bootMs) * 1000 : INT64_MAX;
}

void FirmwarePersona::Send(const std::string& frame, bool reply) {
  if (reply && parts_.faults.slowMs > 0) parts_.uart.Hold(parts_.faults.slowMs);
  if (parts_.faults.noiseBytes > 0) {
    std::vector<uint8_t> noise = NoiseBytes(parts_.faults.noiseBytes, &noiseState_);
    parts_.uart.Send(std::string_view(reinterpret_cast<const char*>(noise.data()), noise.size()),
                     options_.baud);
  }
  std::string sent = frame;
  if (spoilReplies_) {
    // Spoiled by an interruption: line noise up to the frame's closing "$".
    for (size_t i = 0; i + 1 < sent.size(); ++i) {
      sent[i] = static_cast<char>(static_cast<uint8_t>(sent[i]) | 0x80u);
    }
  }
  parts_.log.Out(options_.baud, "fw", sent);
  parts_.uart.Send(sent, options_.baud);
}

void FirmwarePersona::Receive(uint8_t byte, uint32_t hostBaud) {
  (void)hostBaud;
  if (byte == 0x1B) {
    inFrame_ = false;
    return;
  }
  if (byte == '^') {
    inFrame_ = true;
    frame_.clear();
    return;
  }
  if (!inFrame_) return;
  if (byte == '$') {
    inFrame_ = false;
    std::string text = "^" + frame_ + "$";
    parts_.log.In(options_.baud, "fw", text);
    AtPoint at = parts_.board.Point("line", text);
    if (at == AtPoint::kPowerLost) return;
    spoilReplies_ = at == AtPoint::kSpoilReply;
    Frame(frame_);
    spoilReplies_ = false;
    return;
  }
  if (byte < 0x20 || byte >= 0x7F || frame_.size() >= kMaxFrame) {
    // Line noise or an overlong frame: the frame is lost.
    inFrame_ = false;
    return;
  }
  frame_ += static_cast<char>(byte);
}

void FirmwarePersona::Frame(const std::string& text) {
  if (text == "P") {
    if (parts_.faults.FloodAt(Faults::Flood::kProbe)) {
      parts_.board.StartFlood(options_.baud);  // instead of the answer
      return;
    }
    Send(options_.probeStatus.empty() ? "^+$" : "^=P" + options_.probeStatus + "$", true);
  } else if (text == "V") {
    if (parts_.faults.FloodAt(Faults::Flood::kIdentity)) {
      parts_.board.StartFlood(options_.baud);
      return;
    }
    if (options_.ackIdentity) Send("^+$", true);
    Send(IdentityFrame(identity_()), !options_.ackIdentity);
  } else if (text == "BOOTL") {
    parts_.board.ResetToBootRom();
  }
}

void FirmwarePersona::OnTimer(int64_t nowUs) {
  if (nowUs < nextProgressUs_) return;
  if (bank_ > options_.dspBanks) {
    if (options_.progressForever) {
      bank_ = 1;
      step_ = 0;
    } else {
      if (options_.ready) Send("^=P$", false);
      nextProgressUs_ = INT64_MAX;
      return;
    }
  }
  Send("^!100 " + std::to_string(bank_) + " " + std::to_string(step_) + "$", false);
  if (++step_ == kStepsPerBank) {
    step_ = 0;
    ++bank_;
  }
  // At least a millisecond between frames: endless progress must not become a spin.
  nextProgressUs_ = nowUs + static_cast<int64_t>(std::max(options_.stepMs, 1u)) * 1000;
}
