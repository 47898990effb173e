#include "firmware_identity.h"

#include <cstdio>

#include "image/image_format.h"

bool IdentityFromTable(const uint8_t* table, Identity* identity) {
  uint32_t magic = ReadLe32(table + 40);
  if (magic != kTableMagic && magic != kTableMagicOld) return false;
  identity->name.clear();
  for (int i = 0; i < 32 && table[8 + i] != 0; ++i) {
    char c = static_cast<char>(table[8 + i]);
    // The firmware sends printable text only; anything else in the field is skipped.
    if (table[8 + i] >= 0x20 && table[8 + i] < 0x7F) identity->name += c;
  }
  identity->version = ReadLe32(table + 4);
  uint32_t id = ReadLe32(table + 44);
  identity->family = id >> 24;
  identity->model = (id >> 16) & 0xFFu;
  identity->hex = id & 0xFFu;
  return true;
}

std::string VersionText(uint32_t version) {
  char text[48];
  int n = snprintf(text, sizeof text, "%u.%02u", VersionMajor(version), VersionMinor(version));
  uint32_t beta = VersionBeta(version);
  if (beta != 0) n += snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%02u", beta);
  uint32_t letter = VersionLetter(version);
  if (letter != 0) {
    n += snprintf(text + n, sizeof text - static_cast<size_t>(n), "%c",
                  static_cast<char>('a' + letter - 1));
  }
  if (beta != 0) snprintf(text + n, sizeof text - static_cast<size_t>(n), "(Beta)");
  return text;
}

std::string IdentityFrame(const Identity& identity) {
  std::string frame = "^=V \"" + identity.name + "\" " + VersionText(identity.version);
  if (identity.withFamily) {
    char tail[48];
    snprintf(tail, sizeof tail, ",%u,%u,%X", identity.family, identity.model, identity.hex);
    frame += tail;
  }
  return frame + "$";
}

void IdentityOverrides::ApplyTo(Identity* identity) const {
  if (name) identity->name = *name;
  if (version) identity->version = *version;
  if (family) identity->family = *family;
  if (model) identity->model = *model;
  if (hex) identity->hex = *hex;
  if (withoutFamily) identity->withFamily = false;
}
