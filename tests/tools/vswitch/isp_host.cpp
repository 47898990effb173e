#include "isp_host.h"

#include <algorithm>

#include "uu.h"

namespace {

constexpr uint32_t kStaging = 0x10000000u;

int SectorOf(uint32_t offset) {
  return offset < 0x10000u ? static_cast<int>(offset >> 13) : 7 + static_cast<int>(offset >> 16);
}

}  // namespace

bool IspHost::Connect() {
  port_.Write("?");
  if (port_.ReadUntil("Synchronized\r\n", 2000).find("Synchronized\r\n") == std::string::npos) {
    return false;
  }
  port_.Write("Synchronized\r\n");
  if (port_.ReadUntil("OK\r\n", 2000).find("OK\r\n") == std::string::npos) return false;
  port_.Write("12000\r\n");
  if (port_.ReadUntil("OK\r\n", 2000).find("OK\r\n") == std::string::npos) return false;
  port_.Write("A 0\r\n");
  // The echo "A 0\r\n" and then the status "0\r\n".
  return port_.ReadUntil("\r\n0\r\n", 2000).find("\r\n0\r\n") != std::string::npos;
}

std::string IspHost::Command(const std::string& line) {
  port_.Write(line + "\r\n");
  return NextLine();
}

std::string IspHost::NextLine() {
  std::string answer;
  return port_.ReadLine(&answer, 2000) ? answer : std::string();
}

std::string IspHost::WriteRam(uint32_t address, const std::vector<uint8_t>& bytes,
                              size_t perCommand) {
  for (size_t done = 0; done < bytes.size(); done += perCommand) {
    size_t chunk = std::min(bytes.size() - done, perCommand);
    std::string status =
        Command("W " + std::to_string(address + done) + " " + std::to_string(chunk));
    if (status != "0") return status;
    for (size_t block = 0; block < chunk; block += 900) {
      size_t blockBytes = std::min<size_t>(chunk - block, 900);
      uint32_t sum = 0;
      std::string lines;
      for (size_t i = 0; i < blockBytes; i += 45) {
        size_t n = std::min<size_t>(blockBytes - i, 45);
        const uint8_t* p = &bytes[done + block + i];
        for (size_t k = 0; k < n; ++k) sum += p[k];
        lines += UuEncodeLine(p, n) + "\r\n";
      }
      port_.Write(lines + std::to_string(sum) + "\r\n");
      std::string answer = NextLine();
      if (answer != "OK") return answer.empty() ? std::string("(nothing)") : answer;
    }
  }
  return "";
}

bool IspHost::ReadMemory(uint32_t address, uint32_t count, std::vector<uint8_t>* bytes,
                         uint32_t perCommand) {
  bytes->clear();
  for (uint32_t done = 0; done < count; done += perCommand) {
    uint32_t chunk = std::min(count - done, perCommand);
    if (Command("R " + std::to_string(address + done) + " " + std::to_string(chunk)) != "0") {
      return false;
    }
    for (uint32_t block = 0; block < chunk; block += 900) {
      uint32_t blockBytes = std::min<uint32_t>(chunk - block, 900);
      std::vector<uint8_t> data;
      while (data.size() < blockBytes) {
        std::string line = NextLine();
        if (line.empty() || !UuDecodeLine(line, &data)) return false;
      }
      uint32_t sum = 0;
      for (uint8_t b : data) sum += b;
      std::string checksum = NextLine();
      port_.Write("OK\r\n");
      if (checksum != std::to_string(sum) || data.size() != blockBytes) return false;
      bytes->insert(bytes->end(), data.begin(), data.end());
    }
  }
  return true;
}

std::string IspHost::Program(uint32_t flashAddress, const std::vector<uint8_t>& block) {
  std::string status = WriteRam(kStaging, block);
  if (!status.empty()) return status;
  uint32_t offset = flashAddress & 0xFFFFFu;
  int bank = (flashAddress >> 24) == 0x1B ? 1 : 0;
  std::string prepare = "P " + std::to_string(SectorOf(offset)) + " " +
                        std::to_string(SectorOf(offset + static_cast<uint32_t>(block.size()) - 1)) +
                        " " + std::to_string(bank);
  status = Command(prepare);
  if (status != "0") return status;
  status = Command("C " + std::to_string(flashAddress) + " " + std::to_string(kStaging) + " " +
                   std::to_string(block.size()));
  return status == "0" ? "" : status;
}

std::string IspHost::Erase(int first, int last) {
  std::string range = std::to_string(first) + " " + std::to_string(last) + " 0";
  std::string status = Command("P " + range);
  if (status != "0") return status;
  status = Command("E " + range);
  return status == "0" ? "" : status;
}
