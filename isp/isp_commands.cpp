#include "isp/isp_commands.h"

#include <algorithm>
#include <cstring>

#include "format/format.h"
#include "format/parse_number.h"
#include "isp/flash_map.h"
#include "isp/uu_codec.h"
#include "link/link_io.h"

namespace {

// Status lines, R's checksum line and W's checksum reply. The longest are "RESEND" and the
// sum of a chunk of 0xFF bytes, 229500.
constexpr int kStatusBuffer = sizeof "RESEND";
// The reply to M: its status, or the offset of the first difference, a 32-bit number.
constexpr int kCompareBuffer = sizeof "4294967295";
// The UU lines of one chunk with their line ends, and its checksum line.
constexpr uint32_t kChunkLines = UuLinesFor(kIspChunkBytes);
constexpr uint16_t kChunkText = kChunkLines * (kUuLineChars + 2) + 16;

// Reads one status line: Ok when it begins with "0" (CMD_SUCCESS). A line that did not
// arrive leaves the buffer empty.
IspResult Status() {
  char status[kStatusBuffer];
  ReadLineCR(status, kStatusBuffer);
  return status[0] == '0' ? IspResult::Ok : IspResult::Failed;
}

uint32_t RoundUpToWord(uint32_t count) { return (count + 3) & ~3u; }

}  // namespace

IspResult IspUnlock() {
  SendFormatted("U %u\r\n", kIspUnlockCode);
  return Status();
}

IspResult IspGo(uint32_t address) {
  SendFormatted("G %u %c\r\n", address, kGoThumbMode);
  // The boot ROM may jump before its "0" has left the UART: silence counts as started.
  char status[kStatusBuffer];
  int n = ReadLineCR(status, kStatusBuffer);
  return (n <= 0 || status[0] == '0') ? IspResult::Ok : IspResult::Failed;
}

IspResult IspPrepareSectors(uint8_t first, uint8_t last, uint8_t bank) {
  SendFormatted("P %u %u %u\r\n", first, last, bank);
  return Status();
}

IspResult IspEraseSectors(uint8_t first, uint8_t last, uint8_t bank) {
  SendFormatted("E %u %u %u\r\n", first, last, bank);
  return Status();
}

IspResult IspCopyRamToFlash(uint32_t flashAddress, uint32_t ramAddress, uint32_t count) {
  SendFormatted("C %u %u %u\r\n", flashAddress, ramAddress, count);
  return Status();
}

CompareResult IspCompare(uint32_t first, uint32_t second, uint32_t count) {
  SendFormatted("M %u %u %u\r\n", first, second, count);
  char reply[kCompareBuffer];
  ReadLineCR(reply, kCompareBuffer);  // empty when nothing came: Failed
  if (reply[0] == '0') return CompareResult::Equal;
  if (reply[0] == '1' && reply[1] == '0') {
    ReadLineCR(reply, kCompareBuffer);  // offset of the first difference
    return CompareResult::Differs;
  }
  return CompareResult::Failed;
}

int32_t IspReadMemory(uint8_t* destination, uint32_t address, uint32_t count) {
  int32_t total = 0;
  while (count != 0) {
    uint32_t chunk = std::min(count, kIspChunkBytes);
    // The boot ROM reads whole words: a count that is not a multiple of 4 is asked for
    // rounded up, and every byte it sends is decoded and summed, only the requested ones
    // kept (doc/differences.md).
    uint32_t announced = RoundUpToWord(chunk);
    SendFormatted("R %u %u\r\n", address, announced);
    char status[kStatusBuffer];
    if (ReadLineCR(status, kStatusBuffer) <= 0) return 0;
    if (status[0] != '0') return -total;

    uint32_t decoded = 0;
    uint32_t sum = 0;
    // A line that decodes to nothing is followed by the next one. A boot ROM that kept
    // sending such lines would hold the reader for ever, so they are bounded
    // (doc/differences.md): as many as the chunk has data lines, and past that the data
    // counts as missing.
    uint32_t emptyLinesLeft = UuLinesFor(announced);
    while (decoded < announced) {
      char line[kUuLineBuffer];
      if (ReadLineCR(line, kUuLineBuffer) <= 0) {
        PrintFormatted("Timeout\n");
        return 0;
      }
      uint8_t bytes[kUuLineBytes];
      // A length character may claim up to 63 bytes; no real line holds more than 45.
      uint32_t missing = announced - decoded;
      int n =
          UuDecodeLine(bytes, line, static_cast<int>(std::min<uint32_t>(missing, kUuLineBytes)));
      if (n == 0 && emptyLinesLeft-- == 0) {
        PrintFormatted("Timeout\n");
        return 0;
      }
      for (int i = 0; i < n; ++i) {
        sum += bytes[i];
        if (decoded + static_cast<uint32_t>(i) < chunk) destination[decoded + i] = bytes[i];
      }
      decoded += static_cast<uint32_t>(n);
    }
    char checksum[kStatusBuffer];
    if (ReadLineCR(checksum, kStatusBuffer) <= 0) {
      PrintFormatted("Timeout\n");
      return 0;
    }
    SendString("OK\r\n");
    // The line is not empty: without digits, or with anything after them, the parse stops
    // on a character of it.
    const char* end = nullptr;
    uint32_t expected = ParseUnsigned32(checksum, &end, 10);
    if (*end != '\0' || expected != sum) return 0;
    total += static_cast<int32_t>(chunk);
    destination += chunk;
    address += chunk;
    count -= chunk;
  }
  return total;
}

RamWriteResult IspWriteRam(uint32_t address, const uint8_t* source, uint32_t count) {
  while (count != 0) {
    uint32_t chunk = std::min(count, kIspChunkBytes);
    // The boot ROM takes whole words and waits until it has the announced count: a count
    // that is not a multiple of 4 is padded with zero bytes (doc/differences.md).
    uint32_t announced = RoundUpToWord(chunk);
    uint8_t data[kIspChunkBytes] = {};
    memcpy(data, source, chunk);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < announced; ++i) sum += data[i];

    SendFormatted("W %u %u\r\n", address, announced);
    char status[kStatusBuffer];
    if (ReadLineCR(status, kStatusBuffer) <= 0) return RamWriteResult::NoReply;
    if (status[0] != '0') return RamWriteResult::Refused;
    // The data lines and the checksum line go out in one Write: the boot ROM answers
    // only after the checksum, so nothing is waited for in between.
    char text[kChunkText];
    TextBuffer chunkText;
    TextBufferInit(&chunkText, text, sizeof text);
    for (uint32_t offset = 0; offset < announced; offset += kUuLineBytes) {
      char line[kUuLineBuffer];
      uint32_t n = std::min<uint32_t>(announced - offset, kUuLineBytes);
      UuEncodeLine(line, data + offset, static_cast<int>(n));
      TextBufferAppendString(&chunkText, line);
      TextBufferAppendString(&chunkText, "\r\n");
    }
    TextBufferAppendFormat(&chunkText, "%u\r\n", sum);
    SendString(chunkText.text);
    // Only "OK" means the chunk is in RAM; "RESEND" fails the write (doc/differences.md).
    char reply[kStatusBuffer];
    if (ReadLineCR(reply, kStatusBuffer) <= 0) return RamWriteResult::NoReply;
    if (strcmp(reply, "OK") != 0) return RamWriteResult::Refused;
    address += chunk;
    source += chunk;
    count -= chunk;
  }
  return RamWriteResult::Done;
}

BlockResult ProgramFlashBlock(uint32_t address, const uint8_t* source, uint32_t count) {
  if (IspWriteRam(kRamStaging, source, count) != RamWriteResult::Done) {
    return BlockResult::RamWriteFailed;
  }
  SectorRange sectors;
  if (!FlashSectorsOf(address, count, &sectors)) return BlockResult::CrossesBank;
  if (IspPrepareSectors(sectors.first, sectors.last, sectors.bank) != IspResult::Ok ||
      IspCopyRamToFlash(address, kRamStaging, count) != IspResult::Ok) {
    return BlockResult::Refused;
  }
  switch (IspCompare(address, kRamStaging, count)) {
    case CompareResult::Equal: return BlockResult::Done;
    case CompareResult::Differs: return BlockResult::FlashDiffers;
    case CompareResult::Failed: break;
  }
  return BlockResult::Refused;
}
