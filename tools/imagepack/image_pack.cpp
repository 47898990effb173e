#include "image_pack.h"

#include <cstdio>
#include <cstring>

#include "format/parse_number.h"
#include "image/crc32.h"
#include "image/image_format.h"

void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

namespace {

void AppendCrc(std::vector<uint8_t>& bytes) {
  uint32_t crc = Crc32(bytes.data(), bytes.size());
  bytes.resize(bytes.size() + 4);
  PutLe32(bytes, bytes.size() - 4, crc);
}

}  // namespace

std::vector<uint8_t> SyntheticPayload(uint32_t length, uint32_t entry, uint32_t variant) {
  std::vector<uint8_t> payload(length < 32 ? 32 : length);
  // Filler from a fixed xorshift sequence: the same bytes on every build and host.
  uint32_t state = 0x2545F491u ^ (variant * 0x9E3779B9u);
  for (size_t i = 32; i < payload.size(); ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    payload[i] = static_cast<uint8_t>(state);
  }
  // Cortex-M vector table: initial stack pointer, reset handler, then the NMI, hard
  // fault and the other fault handlers inside the image; word 7 is the checksum that the
  // boot ROM wants before it runs the code (the eight words sum to zero).
  uint32_t words[8] = {0x10008000u, entry};
  for (int i = 2; i < 7; ++i) words[i] = 0x1A000101u + 0x100u * static_cast<uint32_t>(i);
  uint32_t sum = 0;
  for (int i = 0; i < 7; ++i) sum += words[i];
  words[7] = 0u - sum;
  for (int i = 0; i < 8; ++i) PutLe32(payload, 4 * static_cast<size_t>(i), words[i]);
  return payload;
}

std::vector<uint8_t> BuildParameterTable(const std::vector<uint8_t>& payloadWithCrc,
                                         const PackOptions& o) {
  std::vector<uint8_t> table(sizeof(ParameterTable), 0);
  PutLe32(table, 0, static_cast<uint32_t>(payloadWithCrc.size()));
  PutLe32(table, 4, o.version);
  memcpy(&table[8], o.productName.data(), o.productName.size());
  PutLe32(table, 40, o.tableMagic);
  PutLe32(table, 44,
          (o.family & 0xFF) << 24 | (o.modelIndex & 0xFF) << 16 | (o.identityByte1 & 0xFF) << 8 |
              (o.identityByte0 & 0xFF));
  PutLe32(table, 48, static_cast<uint32_t>(sizeof(ParameterTable)));
  uint32_t check = o.checkLength;
  if (check > payloadWithCrc.size()) check = static_cast<uint32_t>(payloadWithCrc.size());
  PutLe32(table, 52, o.firmwareAddress);
  PutLe32(table, 56, check);
  PutLe32(table, 60, Crc32(payloadWithCrc.data(), check));
  memset(&table[64], 0xFF, 68);
  PutLe32(table, 132, ReadLe32(&payloadWithCrc[4]));
  PutLe32(table, 136, 0);
  table.resize(140);
  AppendCrc(table);
  return table;
}

std::vector<uint8_t> PackImage(const std::vector<uint8_t>& payload, const PackOptions& o,
                               std::string* error) {
  if (payload.size() < 8) {
    *error = "the payload must hold at least a vector table's first two words";
    return {};
  }
  if (o.productName.size() > 31) {
    *error = "the product name is longer than 31 characters";
    return {};
  }
  std::vector<uint8_t> firmware = payload;
  AppendCrc(firmware);
  std::vector<uint8_t> table = BuildParameterTable(firmware, o);

  uint32_t firmwareOffset = sizeof(ImageHeader);
  uint32_t tableOffset = firmwareOffset + static_cast<uint32_t>(firmware.size());
  uint32_t total = tableOffset + static_cast<uint32_t>(table.size()) + 4;
  const uint32_t fields[12] = {total,
                               0x01000000u,
                               o.family,
                               o.modelIndex,
                               o.version,
                               firmwareOffset,
                               o.firmwareAddress,
                               static_cast<uint32_t>(firmware.size()),
                               tableOffset,
                               kTableFlashAddress,
                               static_cast<uint32_t>(table.size()),
                               0};
  // The whole image at once, the final CRC's four bytes last.
  std::vector<uint8_t> image(total - 4, 0);
  for (int i = 0; i < 12; ++i) PutLe32(image, 4 * static_cast<size_t>(i), fields[i]);
  memset(&image[48], 0xFF, 32);
  memcpy(&image[48], o.productName.c_str(), o.productName.size() + 1);
  memcpy(&image[firmwareOffset], firmware.data(), firmware.size());
  memcpy(&image[tableOffset], table.data(), table.size());
  AppendCrc(image);
  return image;
}

bool ParseVersionWord(const std::string& text, uint32_t* version) {
  const char* p = text.c_str();
  const char* end = nullptr;
  if (text.size() > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    *version = ParseUnsigned32(p, &end, 16);
    return *end == '\0';
  }
  uint32_t major = ParseUnsigned32(p, &end, 10);
  if (end == p || *end != '.' || major > 255) return false;
  p = end + 1;
  uint32_t minor = ParseUnsigned32(p, &end, 10);
  if (end == p || minor > 255) return false;
  uint32_t v = major << 24 | minor << 16;
  p = end;
  if (*p == '.') {
    uint32_t beta = ParseUnsigned32(p + 1, &end, 10);
    if (end == p + 1 || beta > 63) return false;
    v |= beta;
    p = end;
  }
  if (*p >= 'a' && *p <= 'o') v |= static_cast<uint32_t>(*p++ - 'a' + 1) << 12;
  if (*p != '\0') return false;
  *version = v;
  return true;
}

std::string ImageSource(const std::vector<uint8_t>& image) {
  std::string out = "// Generated by imagepack at build time. Do not edit.\n"
                    "#include \"image/image_table.h\"\n\n"
                    "namespace {\nalignas(4) const uint8_t carriedImage[] = {\n";
  char item[8];
  for (size_t i = 0; i < image.size(); ++i) {
    snprintf(item, sizeof item, "%u,", image[i]);
    out += item;
    if (i % 24 == 23) out += '\n';
  }
  out += "\n};\n}  // namespace\n\n"
         "const uint8_t* const imageTable[kImageTableCount] = {carriedImage};\n"
         "const uint32_t imageTableSizes[kImageTableCount] = {sizeof carriedImage};\n";
  return out;
}
