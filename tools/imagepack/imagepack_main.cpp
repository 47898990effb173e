// imagepack: turns a firmware payload into the image container that tqupd carries.
//
//   imagepack [--payload FILE] [--family V|Z] [--model N] [--version 2.60]
//             [--name KLM8800T] [--firmware-address A]
//             [--out IMAGE.bin] [--source FILE.cpp] [--flash-out FIRMWARE.bin]
//
// (imagepack --help lists every option.) Numbers are decimal, or hexadecimal after 0x.
//
// Without --payload it packs a deterministic synthetic payload that a real chip would
// boot but that does nothing: good for the virtual switch and tests, never for a switch.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image_pack.h"
#include "number_options.h"
#include "tool_main.h"

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

// A family as one character, which stands for its code ("V"), or as a number ("86").
bool ParseFamily(const std::string& text, uint32_t* family) {
  if (text.size() == 1) {
    *family = static_cast<unsigned char>(text[0]);
    return true;
  }
  return tool_options::ReadNumber(text, family).empty();
}

// What the command line asks for.
struct Arguments {
  PackOptions options;
  std::string payloadPath, outPath, sourcePath, flashOutPath;
  uint32_t syntheticLength = kSyntheticPayloadBytes;
  uint32_t variant = 0;
};

void DefineOptions(CLI::App& app, Arguments& a) {
  using tool_options::Number;
  PackOptions& o = a.options;
  app.add_option("--payload", a.payloadPath,
                 "Firmware payload to pack (default: a synthetic payload, for the virtual "
                 "switch and tests only)")
      ->check(CLI::ExistingFile)
      ->type_name("PATH");
  app.add_option("--family", o.family, "Product family: its letter (V, Z) or character code")
      ->transform(tool_options::Word("a family letter or number", ParseFamily))
      ->type_name("V|Z");
  app.add_option("--model", o.modelIndex, "Model index")
      ->transform(Number<uint32_t>())
      ->type_name("N");
  app.add_option("--version", o.version, "Firmware version: 2.60, 2.60.05b or 0x023C0000")
      ->transform(tool_options::Word("a version", ParseVersionWord))
      ->type_name("X.YY");
  app.add_option("--name", o.productName, "Product name the image is for")->type_name("NAME");
  app.add_option("--firmware-address", o.firmwareAddress,
                 "Flash address of the firmware (decimal or 0x hex)")
      ->transform(Number<uint32_t>())
      ->type_name("A");
  app.add_option("--table-magic", o.tableMagic, "The parameter table's magic word")
      ->transform(Number<uint32_t>())
      ->type_name("M");
  app.add_option("--check-length", o.checkLength,
                 "Bytes at the payload's start that the table's check CRC covers")
      ->transform(Number<uint32_t>())
      ->type_name("N");
  // At least the vector table and the bytes the check region covers by default; at most a
  // flash bank.
  app.add_option("--synthetic-length", a.syntheticLength,
                 "Length of the synthetic payload without its CRC")
      ->transform(Number<uint32_t>())
      ->check(CLI::Range(512u, 512u * 1024u))
      ->type_name("N")
      ->capture_default_str();
  app.add_option("--variant", a.variant, "Changes the synthetic payload's filler")
      ->transform(Number<uint32_t>())
      ->type_name("N");
  app.add_option("--out", a.outPath, "Write the image here")->type_name("IMAGE");
  app.add_option("--source", a.sourcePath, "Write the image as C++ source here (imageTable)")
      ->type_name("FILE.cpp");
  app.add_option("--flash-out", a.flashOutPath,
                 "Write the payload exactly as it goes into flash here (with its CRC)")
      ->type_name("FILE");
}

}  // namespace

int Run(int argc, char** argv) {
  CLI::App app{"imagepack: packs a firmware payload into the image container tqupd carries"};
  Arguments a;
  DefineOptions(app, a);
  int exitStatus = tool_options::Parse(app, argc, argv);
  if (exitStatus >= 0) return exitStatus;
  if (a.outPath.empty() && a.sourcePath.empty() && a.flashOutPath.empty()) {
    return Fail("nothing to write: give --out, --source or --flash-out");
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

int main(int argc, char** argv) {
  return tool_options::RunTool("imagepack", [&] { return Run(argc, argv); });
}
