#include "testing/test_image.h"

#include <fstream>

std::vector<uint8_t> TestImage(const PackOptions& options, uint32_t payloadBytes) {
  std::string error;
  return PackImage(SyntheticPayload(payloadBytes, kSyntheticEntry), options, &error);
}

bool WriteTestImage(const std::string& path, const PackOptions& options, uint32_t payloadBytes) {
  std::vector<uint8_t> image = TestImage(options, payloadBytes);
  if (image.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}
