#include "faults.h"

#include "format/parse_number.h"

namespace {

bool ParseCount(const std::string& text, uint32_t* value) {
  const char* end = nullptr;
  *value = ParseUnsigned32(text.c_str(), &end, 10);
  return !text.empty() && end != text.c_str() && *end == '\0' &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int TypicalRefusalCode(char letter) {
  switch (letter) {
    case 'U': return 16;  // INVALID_CODE
    case 'A': return 12;  // PARAM_ERROR
    case 'B': return 17;  // INVALID_BAUD_RATE
    case 'P':
    case 'I': return 7;  // INVALID_SECTOR
    case 'E':
    case 'C': return 9;  // SECTOR_NOT_PREPARED_FOR_WRITE_OPERATION
    case 'W':
    case 'R':
    case 'M':
    case 'G': return 14;  // ADDR_NOT_MAPPED
    case 'S': return 20;  // INVALID_FLASH_UNIT
    default: return 1;    // INVALID_COMMAND
  }
}

bool Faults::AddRefusal(const std::string& text, std::string* error) {
  Refuse r{};
  if (text.empty() || text[0] < 'A' || text[0] > 'Z') {
    *error = "--fault-refuse wants a command letter, then optionally :K and =CODE: " + text;
    return false;
  }
  r.letter = text[0];
  r.code = TypicalRefusalCode(r.letter);
  std::string rest = text.substr(1);
  size_t eq = rest.find('=');
  std::string codeText = eq == std::string::npos ? "" : rest.substr(eq + 1);
  rest = rest.substr(0, eq);
  uint32_t number = 0;
  if (!rest.empty()) {
    if (rest[0] != ':' || !ParseCount(rest.substr(1), &number) || number == 0) {
      *error = "bad use count in --fault-refuse " + text;
      return false;
    }
    r.nth = number;
  }
  if (eq != std::string::npos) {
    if (!ParseCount(codeText, &number) || number == 0 || number > 99) {
      *error = "bad code in --fault-refuse " + text + " (1 to 99)";
      return false;
    }
    r.code = static_cast<int>(number);
  }
  refusals_.push_back(r);
  return true;
}

bool Faults::SetResend(const std::string& text, std::string* error) {
  if (text == "once") {
    resend_ = Resend::kOnce;
  } else if (text == "always") {
    resend_ = Resend::kAlways;
  } else if (ParseCount(text, &resendNth_) && resendNth_ > 0) {
    resend_ = Resend::kNth;
  } else {
    *error = "--fault-resend wants once, always or a checksum number: " + text;
    return false;
  }
  return true;
}

bool Faults::SetInterrupt(const std::string& text, std::string* error) {
  size_t colon = text.find(':');
  std::string kind = colon == std::string::npos ? "" : text.substr(colon + 1);
  uint32_t point = 0;
  if (colon == std::string::npos || !ParseCount(text.substr(0, colon), &point) || point == 0 ||
      (kind != "power" && kind != "hold" && kind != "reply")) {
    *error = "--interrupt wants POINT:power, POINT:hold or POINT:reply (points from 1): " + text;
    return false;
  }
  interruptPoint = point;
  interrupt = kind == "power"  ? Interrupt::kPower
              : kind == "hold" ? Interrupt::kHold
                               : Interrupt::kReply;
  return true;
}

namespace {

const struct {
  Faults::Flood where;
  const char* name;
} kFloodPlaces[] = {{Faults::Flood::kProbe, "probe"},
                    {Faults::Flood::kIdentity, "identity"},
                    {Faults::Flood::kRead, "read"},
                    {Faults::Flood::kSync, "sync"}};

}  // namespace

const char* FloodPlaceName(Faults::Flood where) {
  for (const auto& place : kFloodPlaces) {
    if (place.where == where) return place.name;
  }
  return "none";
}

bool Faults::SetFlood(const std::string& text, std::string* error) {
  size_t colon = text.find(':');
  std::string name = text.substr(0, colon);
  uint32_t rate = 0;
  bool rateGood =
      colon == std::string::npos || (ParseCount(text.substr(colon + 1), &rate) && rate > 0);
  for (const auto& place : kFloodPlaces) {
    if (name == place.name && rateGood) {
      flood = place.where;
      floodRate = rate;
      return true;
    }
  }
  *error = "--flood wants probe, identity, read or sync, then optionally :RATE (bytes per "
           "second, from 1): " +
           text;
  return false;
}

int Faults::Refusal(char letter) {
  auto index = static_cast<unsigned char>(letter) & 0x7Fu;
  uint32_t use = ++uses_[index];
  for (const auto& r : refusals_) {
    if (r.letter == letter && (r.nth == 0 || r.nth == use)) return r.code;
  }
  return 0;
}

bool Faults::ResendThisChecksum() {
  ++checksums_;
  switch (resend_) {
    case Resend::kNever: return false;
    case Resend::kOnce: return checksums_ == 1;
    case Resend::kAlways: return true;
    case Resend::kNth: return checksums_ == resendNth_;
  }
  return false;
}

bool Faults::CompareFaultIn(uint32_t start, uint32_t count, uint32_t* address) const {
  bool found = false;
  for (uint32_t a : compareAddresses_) {
    if (a >= start && a - start < count && (!found || a < *address)) {
      *address = a;
      found = true;
    }
  }
  return found;
}
