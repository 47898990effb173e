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

// What the command line asks for.
struct Arguments {
  PackOptions options;
  std::string payloadPath, outPath, sourcePath, flashOutPath;
  uint32_t syntheticLength = kSyntheticPayloadBytes;
  uint32_t variant = 0;
  bool help = false;
};

// Sets one option from its value; false when the value does not fit it.
bool SetOption(const std::string& key, const char* value, Arguments* a, bool* known) {
  *known = true;
  PackOptions& o = a->options;
  if (key == "--payload") a->payloadPath = value;
  else if (key == "--out") a->outPath = value;
  else if (key == "--source") a->sourcePath = value;
  else if (key == "--flash-out") a->flashOutPath = value;
  else if (key == "--name") o.productName = value;
  else if (key == "--family" && strlen(value) == 1) o.family = static_cast<unsigned char>(value[0]);
  else if (key == "--family") return ParseNumber(value, &o.family);
  else if (key == "--model") return ParseNumber(value, &o.modelIndex);
  else if (key == "--version") return ParseVersionWord(value, &o.version);
  else if (key == "--firmware-address") return ParseNumber(value, &o.firmwareAddress);
  else if (key == "--table-address") return ParseNumber(value, &o.tableAddress);
  else if (key == "--table-magic") return ParseNumber(value, &o.tableMagic);
  else if (key == "--synthetic-length") {
    return ParseNumber(value, &a->syntheticLength) && a->syntheticLength >= 512;
  } else if (key == "--variant") return ParseNumber(value, &a->variant);
  else if (key == "--check-length") {
    uint32_t number = 0;
    bool ok = ParseNumber(value, &number);
    o.checkLength = number;
    return ok;
  } else *known = false;
  return true;
}

// Empty when the command line is good; otherwise what is wrong with it.
std::string ParseArguments(int argc, char** argv, Arguments* a) {
  for (int i = 1; i < argc; ++i) {
    std::string key = argv[i];
    if (key == "--help") {
      a->help = true;
      return {};
    }
    if (i + 1 >= argc) return "option " + key + " needs a value";
    const char* value = argv[++i];
    bool known = true;
    bool ok = SetOption(key, value, a, &known);
    if (!known) return "unknown option " + key + " (see --help)";
    if (!ok) return std::string("bad value for ") + key + ": " + value;
  }
  if (a->outPath.empty() && a->sourcePath.empty() && a->flashOutPath.empty()) {
    return "nothing to write: give --out, --source or --flash-out";
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  Arguments a;
  std::string wrong = ParseArguments(argc, argv, &a);
  if (!wrong.empty()) return Fail(wrong);
  if (a.help) {
    printf("usage: imagepack [--payload FILE] [--family V|Z] [--model N] [--version X.YY]\n"
           "                 [--name NAME] [--firmware-address A] [--table-address A]\n"
           "                 [--synthetic-length N] [--variant N] [--table-magic M]\n"
           "                 [--out IMAGE] [--source FILE.cpp] [--flash-out FILE]\n");
    return 0;
  }

  std::vector<uint8_t> payload;
  if (a.payloadPath.empty()) {
    payload = SyntheticPayload(a.syntheticLength, kSyntheticEntry, a.variant);
  } else if (!ReadFile(a.payloadPath, &payload)) {
    return Fail("cannot read payload " + a.payloadPath);
  }
  std::string error;
  std::vector<uint8_t> image = PackImage(payload, a.options, &error);
  if (image.empty()) return Fail(error);

  if (!a.outPath.empty() && !WriteFile(a.outPath, image.data(), image.size())) {
    return Fail("cannot write " + a.outPath);
  }
  if (!a.sourcePath.empty()) {
    std::string source = ImageSource(image);
    if (!WriteFile(a.sourcePath, source.data(), source.size())) {
      return Fail("cannot write " + a.sourcePath);
    }
  }
  if (!a.flashOutPath.empty()) {
    // The payload exactly as it goes into flash: the firmware bytes and their CRC.
    size_t firmwareLength = payload.size() + 4;
    if (!WriteFile(a.flashOutPath, image.data() + 80, firmwareLength)) {
      return Fail("cannot write " + a.flashOutPath);
    }
  }
  return 0;
}
