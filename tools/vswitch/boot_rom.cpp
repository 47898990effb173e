#include "boot_rom.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "faults.h"
#include "image/image_format.h"
#include "line_noise.h"
#include "stats.h"
#include "switch_log.h"
#include "uart.h"
#include "uu.h"

namespace {

// Return codes of the ISP handler.
constexpr int kSuccess = 0;
constexpr int kInvalidCommand = 1;
constexpr int kSrcAddrError = 2;
constexpr int kDstAddrError = 3;
constexpr int kSrcAddrNotMapped = 4;
constexpr int kDstAddrNotMapped = 5;
constexpr int kCountError = 6;
constexpr int kInvalidSector = 7;
constexpr int kSectorNotBlank = 8;
constexpr int kSectorNotPrepared = 9;
constexpr int kCompareError = 10;
constexpr int kParamError = 12;
constexpr int kAddrError = 13;
constexpr int kAddrNotMapped = 14;
constexpr int kCmdLocked = 15;
constexpr int kInvalidCode = 16;
constexpr int kInvalidBaudRate = 17;
constexpr int kInvalidStopBit = 18;
constexpr int kInvalidFlashUnit = 20;
constexpr int kUserCodeChecksum = 21;

constexpr uint32_t kUnlockCode = 23130;
constexpr size_t kMaxLine = 200;         // longer lines are kept only this far
constexpr uint32_t kLinesPerBlock = 20;  // a checksum after every 20 UU lines

// Parses the numeric fields of a command: single-blank separated unsigned decimal
// numbers of 32 bits. False for anything else (PARAM_ERROR).
bool ParseFields(const std::string& text, std::vector<std::string>* fields) {
  fields->clear();
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != ' ') return false;
    size_t end = text.find(' ', i + 1);
    if (end == std::string::npos) end = text.size();
    if (end == i + 1) return false;  // two blanks in a row, or a trailing blank
    fields->push_back(text.substr(i + 1, end - i - 1));
    i = end;
  }
  return true;
}

bool ParseDecimal(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

bool ParseNumbers(const std::vector<std::string>& fields, size_t count,
                  std::vector<uint32_t>* numbers) {
  if (fields.size() != count) return false;
  numbers->assign(count, 0);
  for (size_t i = 0; i < count; ++i) {
    if (!ParseDecimal(fields[i], &(*numbers)[i])) return false;
  }
  return true;
}

}  // namespace

BootRom::BootRom(SwitchParts parts, MemoryMap& memory, const BootRomOptions& options)
    : parts_(parts), memory_(memory), options_(options) {}

void BootRom::Reset() {
  state_ = State::kAutoBaud;
  baud_ = 0;
  echo_ = true;
  unlocked_ = false;
  memset(prepared_, 0, sizeof prepared_);
  line_.clear();
  lineOverflow_ = false;
  pendingCr_ = false;
  spoilReply_ = false;
  resendNext_ = false;
}

void BootRom::Echo(uint8_t byte) {
  char c = static_cast<char>(byte);
  parts_.uart.Send(std::string_view(&c, 1), baud_);
}

void BootRom::Status(const std::string& text) {
  if (parts_.faults.slowMs > 0) parts_.uart.Hold(parts_.faults.slowMs);
  Line(text, "isp");
}

void BootRom::Line(const std::string& text, const char* channel) {
  if (parts_.faults.noiseBytes > 0) {
    std::vector<uint8_t> noise = NoiseBytes(parts_.faults.noiseBytes, &noiseState_);
    parts_.uart.Send(std::string_view(reinterpret_cast<const char*>(noise.data()), noise.size()),
                     baud_);
  }
  std::string sent = text;
  if (spoilReply_) {
    // A reply spoiled by an interruption: every character arrives as line noise, only
    // the line end survives.
    spoilReply_ = false;
    for (char& c : sent) c = static_cast<char>(static_cast<uint8_t>(c) | 0x80u);
  }
  parts_.log.Out(baud_, channel, sent);
  parts_.uart.Send(sent + "\r\n", baud_);
}

bool BootRom::LinePoint(const std::string& line) {
  // Bytes that crossed at a rate the ROM does not listen at are noise, not a line.
  bool heard = false;
  for (char c : line) heard = heard || static_cast<uint8_t>(c) < 0x80u;
  if (!heard) return true;
  AtPoint at = parts_.board.Point("line", line);
  spoilReply_ = at == AtPoint::kSpoilReply;
  return at != AtPoint::kPowerLost;
}

bool BootRom::FlashPoint(const std::string& what) {
  AtPoint at = parts_.board.Point("flash", what);
  spoilReply_ = at == AtPoint::kSpoilReply;
  return at != AtPoint::kPowerLost;
}

void BootRom::Receive(uint8_t byte, uint32_t hostBaud) {
  if (!parts_.board.Powered()) return;
  if (state_ == State::kAutoBaud) {
    // The auto-baud routine measures the "?" character and locks the UART to its rate;
    // it ignores everything else, at any rate. "?" itself is not echoed.
    if (byte == '?' && hostBaud != 0) {
      parts_.log.In(hostBaud, "isp", "?");
      if (!LinePoint("?")) return;
      baud_ = hostBaud;
      state_ = State::kSyncWait;
      line_.clear();
      lineOverflow_ = false;
      pendingCr_ = false;
      Line("Synchronized", "isp");
    }
    return;
  }
  hostBaud_ = hostBaud;
  if (pendingCr_) {
    // A CR ended a line. When the LF of a CR LF pair follows it is echoed before the
    // reply, so that the host sees its whole line come back and then the answer.
    pendingCr_ = false;
    if (byte == '\n') {
      if (echo_) Echo(byte);
      LineComplete();
      return;
    }
    LineComplete();
    Receive(byte, hostBaud);
    return;
  }
  if (byte == 0x1B && state_ != State::kSyncWait && state_ != State::kFrequencyWait) {
    // ESC aborts the command in progress, a W or R transfer included; the handler then
    // waits for a new command line.
    if (state_ != State::kCommand) parts_.log.Event(baud_, "isp", "abort");
    state_ = State::kCommand;
    line_.clear();
    lineOverflow_ = false;
    return;
  }
  if (echo_) Echo(byte);
  if (byte == '\r' || byte == '\n') {
    // Surplus CR and LF characters are ignored: an empty line gets no answer.
    if (line_.empty() && !lineOverflow_) return;
    if (byte == '\r') {
      pendingCr_ = true;
    } else {
      LineComplete();
    }
    return;
  }
  if (line_.size() < kMaxLine) {
    line_ += static_cast<char>(byte);
  } else {
    lineOverflow_ = true;
  }
}

void BootRom::InputIdle() {
  if (pendingCr_) {
    pendingCr_ = false;
    LineComplete();
  }
}

void BootRom::LineComplete() {
  std::string line;
  line.swap(line_);
  bool overflow = lineOverflow_;
  lineOverflow_ = false;
  switch (state_) {
    case State::kAutoBaud: return;
    case State::kSyncWait:
      parts_.log.In(hostBaud_, "isp", line);
      if (!LinePoint(line)) return;
      if (line == "Synchronized" && !overflow) {
        state_ = State::kFrequencyWait;
        Line("OK", "isp");
      } else {
        // Not the sync string: silently back to auto-baud.
        state_ = State::kAutoBaud;
        spoilReply_ = false;
        parts_.log.Event(baud_, "isp", "sync-lost");
        baud_ = 0;
      }
      return;
    case State::kFrequencyWait:
      // Older parts took the crystal frequency in kHz here; these parts take any text.
      parts_.log.In(hostBaud_, "isp", line);
      if (!LinePoint(line)) return;
      state_ = State::kCommand;
      Line("OK", "isp");
      if (parts_.faults.FloodAt(Faults::Flood::kSync)) parts_.board.StartFlood(baud_);
      return;
    case State::kCommand:
      parts_.log.In(hostBaud_, "isp", line);
      if (!LinePoint(line)) return;
      if (spoilReply_) {
        // The command is refused as the ROM would refuse it, and not carried out.
        spoilReply_ = false;
        Status(std::to_string(TypicalRefusalCode(line[0])));
        return;
      }
      if (overflow) {
        Status(std::to_string(kInvalidCommand));
        return;
      }
      Command(line);
      return;
    case State::kWriteData:
      parts_.log.In(hostBaud_, "data", line);
      WriteDataLine(overflow ? std::string("!") : line);
      return;
    case State::kReadAck:
      parts_.log.In(hostBaud_, "data", line);
      ReadAck(line);
      return;
  }
}

// The handler's commands by letter: how many numbers each takes (G a mode letter after
// its number) and the body that carries it out. tqupd sends only U, A, W, R, P, E, C, M
// and G. J, K and S are for lpc21isp (the lpc21isp check and the benchmark's peer run);
// B, I and N no client here sends: they make the command set whole, with its real
// return codes (README.md, "What tqupd never uses").
const BootRom::CommandEntry* BootRom::FindCommand(char letter) {
  static const CommandEntry kCommands[] = {
      {'U', 1, false, &BootRom::Unlock},
      {'A', 1, false, &BootRom::SetEcho},
      {'B', 2, false, &BootRom::SetBaudRate},
      {'W', 2, false, &BootRom::WriteToRam},
      {'R', 2, false, &BootRom::ReadMemory},
      {'P', 3, false, &BootRom::Prepare},
      {'E', 3, false, &BootRom::Erase},
      {'C', 3, false, &BootRom::Copy},
      {'M', 3, false, &BootRom::Compare},
      {'I', 3, false, &BootRom::BlankCheck},
      {'G', 1, true, &BootRom::Go},
      {'J', 0, false, &BootRom::ReadPartId},
      {'K', 0, false, &BootRom::ReadBootCodeVersion},
      {'N', 0, false, &BootRom::ReadSerialNumber},
      {'S', 1, false, &BootRom::SetBootBank},
  };
  for (const CommandEntry& c : kCommands) {
    if (c.letter == letter) return &c;
  }
  return nullptr;
}

void BootRom::Command(const std::string& line) {
  char letter = line[0];
  const CommandEntry* command = FindCommand(letter);
  if (command == nullptr || (line.size() > 1 && line[1] != ' ')) {
    Status(std::to_string(kInvalidCommand));
    return;
  }
  if (int refused = parts_.faults.Refusal(letter)) {
    parts_.log.Event(baud_, "isp", std::string("fault refuse ") + letter);
    Status(std::to_string(refused));
    return;
  }
  std::vector<std::string> fields;
  Arguments arguments;
  if (!ParseFields(line.substr(1), &fields) ||
      fields.size() != command->numbers + (command->modeLetter ? 1 : 0)) {
    Status(std::to_string(kParamError));
    return;
  }
  if (command->modeLetter) {
    arguments.mode = fields.back();
    fields.pop_back();
  }
  if (!ParseNumbers(fields, command->numbers, &arguments.n)) {
    Status(std::to_string(kParamError));
    return;
  }
  int code = (this->*command->run)(arguments);
  if (code >= 0) Status(std::to_string(code));
}

int BootRom::TransferCheck(uint32_t address, uint32_t count, const void* mapped) {
  if (address % 4 != 0) return kAddrError;
  if (count % 4 != 0) return kCountError;
  return mapped == nullptr ? kAddrNotMapped : kSuccess;
}

int BootRom::Unlock(const Arguments& a) {
  if (a.n[0] != kUnlockCode) return kInvalidCode;
  unlocked_ = true;
  return kSuccess;
}

int BootRom::SetEcho(const Arguments& a) {
  if (a.n[0] > 1) return kParamError;
  echo_ = a.n[0] == 1;
  return kSuccess;
}

int BootRom::SetBaudRate(const Arguments& a) {
  static const uint32_t kRates[] = {9600, 19200, 38400, 57600, 115200, 230400};
  if (std::find(std::begin(kRates), std::end(kRates), a.n[0]) == std::end(kRates)) {
    return kInvalidBaudRate;
  }
  if (a.n[1] != 1 && a.n[1] != 2) return kInvalidStopBit;
  // The answer still goes out at the old rate; the new one holds from then on.
  Status("0");
  baud_ = a.n[0];
  return -1;
}

int BootRom::WriteToRam(const Arguments& a) {
  if (int error = TransferCheck(a.n[0], a.n[1], memory_.Ram(a.n[0], a.n[1]))) return error;
  Status("0");
  StartWrite(a.n[0], a.n[1]);
  return -1;
}

int BootRom::ReadMemory(const Arguments& a) {
  if (int error = TransferCheck(a.n[0], a.n[1], memory_.Readable(a.n[0], a.n[1]))) return error;
  Status("0");
  if (parts_.faults.FloodAt(Faults::Flood::kRead)) {
    // The stream comes instead of the data; the handler waits for the next command.
    parts_.board.StartFlood(baud_);
    return -1;
  }
  rAddress_ = a.n[0];
  rCount_ = a.n[1];
  rDone_ = 0;
  if (rCount_ > 0) SendReadBlock();
  return -1;
}

int BootRom::ReadPartId(const Arguments&) {
  Status("0");
  Line(std::to_string(options_.partId), "isp");
  Line(std::to_string(options_.partId1), "isp");
  return -1;
}

int BootRom::ReadBootCodeVersion(const Arguments&) {
  // The boot code version as two bytes, the minor number first.
  Status("0");
  Line(std::to_string(options_.bootCodeMinor), "isp");
  Line(std::to_string(options_.bootCodeMajor), "isp");
  return -1;
}

int BootRom::ReadSerialNumber(const Arguments&) {
  Status("0");
  for (uint32_t word : options_.serial) Line(std::to_string(word), "isp");
  return -1;
}

int BootRom::SetBootBank(const Arguments& a) {
  if (a.n[0] > 1) return kInvalidFlashUnit;
  if (!memory_.flash().VectorTableValid(static_cast<int>(a.n[0]))) return kUserCodeChecksum;
  parts_.board.SetBootBank(static_cast<int>(a.n[0]));
  return kSuccess;
}

int BootRom::Prepare(const Arguments& a) {
  const std::vector<uint32_t>& n = a.n;
  if (n[0] > n[1] || n[1] >= kSectorsPerBank) return kInvalidSector;
  if (n[2] > 1) return kInvalidFlashUnit;
  for (uint32_t s = n[0]; s <= n[1]; ++s) prepared_[n[2]][s] = true;
  return kSuccess;
}

bool BootRom::SectorsPrepared(int bank, int first, int last) const {
  for (int s = first; s <= last; ++s) {
    if (!prepared_[bank][s]) return false;
  }
  return true;
}

void BootRom::Relock(int bank, int first, int last) {
  for (int s = first; s <= last; ++s) prepared_[bank][s] = false;
}

int BootRom::Erase(const Arguments& a) {
  const std::vector<uint32_t>& n = a.n;
  if (!unlocked_) return kCmdLocked;
  if (n[0] > n[1] || n[1] >= kSectorsPerBank) return kInvalidSector;
  if (n[2] > 1) return kInvalidFlashUnit;
  int bank = static_cast<int>(n[2]);
  int first = static_cast<int>(n[0]);
  int last = static_cast<int>(n[1]);
  if (!SectorsPrepared(bank, first, last)) return kSectorNotPrepared;
  memory_.flash().EraseSectors(bank, first, last);
  Relock(bank, first, last);
  parts_.stats.eraseMs += options_.eraseMs;
  if (parts_.uart.paced()) parts_.uart.Hold(options_.eraseMs);
  std::string what =
      "erase " + std::to_string(bank) + " " + std::to_string(first) + "-" + std::to_string(last);
  parts_.log.Event(baud_, "isp", what);
  return FlashPoint(what) ? kSuccess : -1;
}

int BootRom::Copy(const Arguments& a) {
  const std::vector<uint32_t>& n = a.n;
  uint32_t flashAddress = n[0];
  uint32_t ramAddress = n[1];
  uint32_t count = n[2];
  if (!unlocked_) return kCmdLocked;
  if (ramAddress % 4 != 0) return kSrcAddrError;
  if (flashAddress % 512 != 0) return kDstAddrError;
  if (count != 512 && count != 1024 && count != 4096) return kCountError;
  const uint8_t* source = memory_.Ram(ramAddress, count);
  if (source == nullptr) return kSrcAddrNotMapped;
  int bank = 0;
  uint32_t offset = 0;
  if (!Flash::Locate(memory_.Resolve(flashAddress), count, &bank, &offset)) {
    return kDstAddrNotMapped;
  }
  int first = SectorAt(offset);
  int last = SectorAt(offset + count - 1);
  if (!SectorsPrepared(bank, first, last)) return kSectorNotPrepared;
  memory_.flash().Program(bank, offset, source, count);
  Relock(bank, first, last);
  uint32_t ms = (count / 512) * options_.copyMsPer512;
  parts_.stats.copyMs += ms;
  if (parts_.uart.paced()) parts_.uart.Hold(ms);
  std::string what =
      "copy " + std::to_string(kBankAddress[bank] + offset) + " " + std::to_string(count);
  parts_.log.Event(baud_, "isp", what);
  if (!FlashPoint(what)) return -1;
  Faults& faults = parts_.faults;
  ++faults.copies;
  if (faults.silenceAfterCopy != 0 && faults.copies == faults.silenceAfterCopy) {
    parts_.board.LosePower("after copy " + std::to_string(faults.copies));
    return -1;
  }
  return kSuccess;
}

int BootRom::Compare(const Arguments& arguments) {
  const std::vector<uint32_t>& n = arguments.n;
  uint32_t count = n[2];
  const uint8_t* a = memory_.Readable(n[0], count);
  const uint8_t* b = memory_.Readable(n[1], count);
  if (int error = TransferCheck(n[0] | n[1], count, a && b ? a : nullptr)) return error;
  // The ROM compares word by word and reports the byte offset of the first word that
  // differs.
  uint32_t offset = count;
  for (uint32_t i = 0; i < count; i += 4) {
    if (memcmp(a + i, b + i, 4) != 0) {
      offset = i;
      break;
    }
  }
  uint32_t faultAddress = 0;
  for (uint32_t start : {memory_.Resolve(n[0]), memory_.Resolve(n[1])}) {
    if (parts_.faults.CompareFaultIn(start, count, &faultAddress)) {
      uint32_t forced = (faultAddress - start) & ~3u;
      if (forced < offset) {
        offset = forced;
        parts_.log.Event(baud_, "isp", "fault compare " + std::to_string(faultAddress));
      }
    }
  }
  if (offset == count) return kSuccess;
  Status(std::to_string(kCompareError));
  Line(std::to_string(offset), "isp");
  return -1;
}

int BootRom::BlankCheck(const Arguments& a) {
  const std::vector<uint32_t>& n = a.n;
  if (n[0] > n[1] || n[1] >= kSectorsPerBank) return kInvalidSector;
  if (n[2] > 1) return kInvalidFlashUnit;
  int bank = static_cast<int>(n[2]);
  const uint8_t* cells = memory_.flash().Bank(bank);
  uint32_t start = SectorOffset(static_cast<int>(n[0]));
  uint32_t end = SectorOffset(static_cast<int>(n[1])) + SectorBytes(static_cast<int>(n[1]));
  for (uint32_t i = start; i < end; i += 4) {
    uint32_t word = ReadLe32(cells + i);
    if (word != 0xFFFFFFFFu) {
      // Offset of the first word that is not blank, from the start of the first sector
      // checked, then the word itself.
      Status(std::to_string(kSectorNotBlank));
      Line(std::to_string(i - start), "isp");
      Line(std::to_string(word), "isp");
      return -1;
    }
  }
  return kSuccess;
}

int BootRom::Go(const Arguments& a) {
  uint32_t address = a.n[0];
  // Only Thumb mode exists on a Cortex-M; an ARM-mode request is a parameter error.
  if (a.mode != "T") return kParamError;
  if (!unlocked_) return kCmdLocked;
  if (address % 4 != 0) return kAddrError;
  if (!memory_.Executable(address)) return kAddrNotMapped;
  Status("0");
  parts_.board.RunFlashCode();
  return -1;
}

void BootRom::StartWrite(uint32_t address, uint32_t count) {
  wAddress_ = address;
  wCount_ = count;
  wDone_ = 0;
  block_.clear();
  blockLines_ = 0;
  blockDeclared_ = 0;
  blockBad_ = false;
  expectChecksum_ = false;
  halfPassed_ = false;
  resendNext_ = false;
  if (count > 0) state_ = State::kWriteData;
}

void BootRom::WriteDataLine(const std::string& line) {
  Faults& faults = parts_.faults;
  if (expectChecksum_) {
    uint32_t sum = 0;
    for (uint8_t b : block_) sum += b;
    uint32_t sent = 0;
    bool good = ParseDecimal(line, &sent) && sent == sum && !blockBad_;
    if (faults.ResendThisChecksum()) {
      parts_.log.Event(baud_, "isp", "fault resend");
      good = false;
    }
    if (resendNext_) {  // an interruption half way through the data
      resendNext_ = false;
      good = false;
    }
    if (good) {
      uint8_t* ram = memory_.Ram(wAddress_ + wDone_, static_cast<uint32_t>(block_.size()));
      if (ram != nullptr) memcpy(ram, block_.data(), block_.size());
      wDone_ += static_cast<uint32_t>(block_.size());
      Line("OK", "data");
    } else {
      Line("RESEND", "data");
    }
    block_.clear();
    blockLines_ = 0;
    blockDeclared_ = 0;
    blockBad_ = false;
    expectChecksum_ = false;
    if (wDone_ >= wCount_) state_ = State::kCommand;
    return;
  }
  uint32_t remaining = wCount_ - wDone_ - static_cast<uint32_t>(block_.size());
  std::vector<uint8_t> bytes;
  uint32_t declared = 0;
  if (UuDecodeLine(line, &bytes)) {
    declared = static_cast<uint32_t>(bytes.size());
    if (bytes.size() > remaining) bytes.resize(remaining);  // more than W announced
    block_.insert(block_.end(), bytes.begin(), bytes.end());
  } else {
    // A damaged line spoils the block; its length character still says how far the
    // sender has got, so the checksum line is expected where the sender will send it.
    blockBad_ = true;
    unsigned char c = line.empty() ? 0 : static_cast<unsigned char>(line[0]);
    declared = c >= 0x20 && c <= 0x60 ? ((c - 0x20u) & 0x3Fu) : kUuLineBytes;
    if (declared > kUuLineBytes) declared = kUuLineBytes;
  }
  ++blockLines_;
  blockDeclared_ += declared;
  faults.wBytes += bytes.size();
  if (faults.silenceAfterWBytes != 0 && faults.wBytes >= faults.silenceAfterWBytes) {
    parts_.board.LosePower("after " + std::to_string(faults.wBytes) + " bytes of W data");
    return;
  }
  if (!halfPassed_ && 2 * (static_cast<uint64_t>(wDone_) + blockDeclared_) >= wCount_) {
    halfPassed_ = true;
    AtPoint at = parts_.board.Point(
        "w-data", "W " + std::to_string(wAddress_) + " " + std::to_string(wCount_) + ", " +
                      std::to_string(wDone_ + blockDeclared_) + " bytes in");
    if (at == AtPoint::kPowerLost) return;
    resendNext_ = at == AtPoint::kSpoilReply;
  }
  if (blockLines_ >= kLinesPerBlock || blockDeclared_ >= wCount_ - wDone_) {
    expectChecksum_ = true;
  }
}

void BootRom::SendReadBlock() {
  uint32_t chunk = rCount_ - rDone_;
  if (chunk > kLinesPerBlock * kUuLineBytes) chunk = kLinesPerBlock * kUuLineBytes;
  rBlock_ = chunk;
  const uint8_t* source = memory_.Readable(rAddress_ + rDone_, chunk);
  if (source == nullptr) {  // cannot happen: R checked the whole range
    state_ = State::kCommand;
    return;
  }
  uint32_t sum = 0;
  for (uint32_t i = 0; i < chunk; i += kUuLineBytes) {
    uint32_t n = chunk - i < kUuLineBytes ? chunk - i : static_cast<uint32_t>(kUuLineBytes);
    for (uint32_t k = 0; k < n; ++k) sum += source[i + k];
    Line(UuEncodeLine(source + i, n), "data");
  }
  Line(std::to_string(sum), "data");
  state_ = State::kReadAck;
}

void BootRom::ReadAck(const std::string& line) {
  if (line == "RESEND") {
    SendReadBlock();
    return;
  }
  if (line == "OK") {
    rDone_ += rBlock_;
    if (rDone_ >= rCount_) {
      state_ = State::kCommand;
    } else {
      SendReadBlock();
    }
    return;
  }
  // A host that answers anything else has given up on the transfer: the line is taken
  // as the next command.
  state_ = State::kCommand;
  if (!LinePoint(line)) return;
  if (spoilReply_) {
    spoilReply_ = false;
    Status(std::to_string(TypicalRefusalCode(line[0])));
    return;
  }
  Command(line);
}
