#include "switch_log.h"

SwitchLog::~SwitchLog() {
  if (file_) fclose(file_);
}

bool SwitchLog::Open(const std::string& path) {
  file_ = fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void SwitchLog::Write(char dir, uint32_t baud, const char* channel, std::string_view text) {
  if (!file_) return;
  std::string line;
  line.reserve(text.size() + 24);
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
