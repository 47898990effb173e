#include "switch_log.h"

#include <chrono>

namespace {
int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

SwitchLog::~SwitchLog() {
  if (file_) fclose(file_);
}

bool SwitchLog::Open(const std::string& path) {
  file_ = fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void SwitchLog::EnableTimes() {
  times_ = true;
  startUs_ = NowUs();
}

void SwitchLog::Write(char dir, uint32_t baud, const char* channel, std::string_view text) {
  if (!file_) return;
  std::string line;
  line.reserve(text.size() + 40);
  if (times_) {
    char stamp[32];
    int64_t us = NowUs() - startUs_;
    snprintf(stamp, sizeof stamp, "@%lld.%03lld ", static_cast<long long>(us / 1000),
             static_cast<long long>(us % 1000));
    line += stamp;
  }
  line += dir;
  line += ' ';
  line += std::to_string(baud);
  line += ' ';
  line += channel;
  line += ' ';
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u == '\\') {
      line += "\\\\";
    } else if (u >= 0x20 && u < 0x7F) {
      line += c;
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", u);
      line += hex;
    }
  }
  line += '\n';
  fputs(line.c_str(), file_);
  fflush(file_);
}
