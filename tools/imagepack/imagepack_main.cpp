// imagepack: turns a firmware payload into the image container that tqupd carries.
//
//   imagepack [--payload FILE] [--family V|Z] [--model N] [--version 2.60]
//             [--name KLM8800T] [--firmware-address A] [--table-address A]
//             [--out IMAGE.bin] [--source FILE.cpp] [--flash-out FIRMWARE.bin]
//
// Without --payload it packs a deterministic synthetic payload that a real chip would
// boot but that does nothing: good for the virtual switch and tests, never for a switch.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format/parse_number.h"
#include "image_pack.h"

namespace {

int Fail(const std::string& message) {
  fprintf(stderr, "imagepack: %s\n", message.c_str());
  return 2;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

bool ParseNumber(const char* text, uint32_t* value) {
  const char* end = nullptr;
  *value = ParseUnsigned32(text, &end, 0);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  PackOptions options;
  std::string payloadPath, outPath, sourcePath, flashOutPath;
  uint32_t syntheticLength = kSyntheticPayloadBytes;
  uint32_t variant = 0;
  for (int i = 1; i < argc; ++i) {
    std::string key = argv[i];
    if (key == "--help") {
      printf("usage: imagepack [--payload FILE] [--family V|Z] [--model N] [--version X.YY]\n"
             "                 [--name NAME] [--firmware-address A] [--table-address A]\n"
             "                 [--synthetic-length N] [--variant N] [--table-magic M]\n"
             "                 [--out IMAGE] [--source FILE.cpp] [--flash-out FILE]\n");
      return 0;
    }
    if (i + 1 >= argc) return Fail("option " + key + " needs a value");
    const char* value = argv[++i];
    uint32_t number = 0;
    bool ok = true;
    if (key == "--payload") {
      payloadPath = value;
    } else if (key == "--out") {
      outPath = value;
    } else if (key == "--source") {
      sourcePath = value;
    } else if (key == "--flash-out") {
      flashOutPath = value;
    } else if (key == "--name") {
      options.productName = value;
    } else if (key == "--family") {
      if (strlen(value) == 1) {
        options.family = static_cast<unsigned char>(value[0]);
      } else {
        ok = ParseNumber(value, &options.family);
      }
    } else if (key == "--model") {
      ok = ParseNumber(value, &options.modelIndex);
    } else if (key == "--version") {
      ok = ParseVersionWord(value, &options.version);
    } else if (key == "--firmware-address") {
      ok = ParseNumber(value, &options.firmwareAddress);
    } else if (key == "--table-address") {
      ok = ParseNumber(value, &options.tableAddress);
    } else if (key == "--table-magic") {
      ok = ParseNumber(value, &options.tableMagic);
    } else if (key == "--synthetic-length") {
      ok = ParseNumber(value, &syntheticLength) && syntheticLength >= 512;
    } else if (key == "--variant") {
      ok = ParseNumber(value, &variant);
    } else if (key == "--check-length") {
      ok = ParseNumber(value, &number);
      options.checkLength = number;
    } else {
      return Fail("unknown option " + key + " (see --help)");
    }
    if (!ok) return Fail(std::string("bad value for ") + key + ": " + value);
  }
  if (outPath.empty() && sourcePath.empty() && flashOutPath.empty()) {
    return Fail("nothing to write: give --out, --source or --flash-out");
  }

  std::vector<uint8_t> payload;
  if (payloadPath.empty()) {
    payload = SyntheticPayload(syntheticLength, kSyntheticEntry, variant);
  } else if (!ReadFile(payloadPath, &payload)) {
    return Fail("cannot read payload " + payloadPath);
  }
  std::string error;
  std::vector<uint8_t> image = PackImage(payload, options, &error);
  if (image.empty()) return Fail(error);

  if (!outPath.empty() && !WriteFile(outPath, image.data(), image.size())) {
    return Fail("cannot write " + outPath);
  }
  if (!sourcePath.empty()) {
    std::string source = ImageSource(image);
    if (!WriteFile(sourcePath, source.data(), source.size())) {
      return Fail("cannot write " + sourcePath);
    }
  }
  if (!flashOutPath.empty()) {
    // The payload exactly as it goes into flash: the firmware bytes and their CRC.
    size_t firmwareLength = payload.size() + 4;
    if (!WriteFile(flashOutPath, image.data() + 80, firmwareLength)) {
      return Fail("cannot write " + flashOutPath);
    }
  }
  return 0;
}
