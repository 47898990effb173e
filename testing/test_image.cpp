#include "testing/test_image.h"

#include <algorithm>
#include <fstream>

#include "image/image_format.h"

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

std::vector<std::string> Installed(const std::string& folder, const PackOptions& options) {
  static int images = 0;
  std::string error;
  std::vector<uint8_t> image =
      PackImage(SyntheticPayload(kSyntheticPayloadBytes, kSyntheticEntry, 1), options, &error);
  std::string path = folder + "/image" + std::to_string(++images) + ".bin";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  if (image.empty() || !out) return {};
  return {"--install", path};
}

bool FlashHoldsImage(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image) {
  if (image.size() < sizeof(ImageHeader)) return false;
  const auto* h = reinterpret_cast<const ImageHeader*>(image.data());
  uint32_t firmwareAt = h->firmwareAddress - 0x1A000000u;
  uint32_t tableAt = h->tableAddress - 0x1A000000u;
  if (flash.size() < tableAt + h->tableLength || flash.size() < firmwareAt + h->firmwareLength) {
    return false;
  }
  return std::equal(image.begin() + h->firmwareOffset,
                    image.begin() + h->firmwareOffset + h->firmwareLength,
                    flash.begin() + firmwareAt) &&
         std::equal(image.begin() + h->tableOffset, image.begin() + h->tableOffset + h->tableLength,
                    flash.begin() + tableAt);
}
