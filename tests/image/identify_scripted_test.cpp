// Identification on the simulated line.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "image/crc32.h"
#include "image/identify.h"
#include "image/image_format.h"
#include "isp/device_mode.h"
#include "isp/uu_text.h"
#include "link/scripted_fixture.h"

using IdentifyScripted = OnAScriptedLine;

TEST_F(IdentifyScripted, WithoutAnOpenLinkDetectionSaysSoAtOnce) {
  CloseLink();
  EXPECT_EQ(DetectDevice(), DetectResult::NoPort);
  EXPECT_TRUE(ScriptedWrites().empty());  // nothing was tried
  EXPECT_EQ(ScriptedWaits(), 0u);
  EXPECT_EQ(ScriptedNow(), 0u);
}

TEST_F(IdentifyScripted, TheFirmwareIsAskedForItsIdentityWithOneWriteOfExactlyTheRequest) {
  // A firmware at 19200 that answers the probe line with "^+$" and "^V$" with its
  // identity. The request goes out as one Write of its three bytes: the firmware takes
  // a frame from "^" to "$", and anything after it would start the next frame.
  uint32_t askedAt = 0;
  ScriptedRespond([&](std::string_view written) {
    if (ScriptedBaudRates().back() != 19200) return;
    if (written == "*") ScriptedDeliver("^+$", 11);  // as the probe line's CR arrives
    if (written.find('V') != std::string_view::npos) {
      askedAt = ScriptedNow();
      ScriptedDeliver("^=V \"KLM8800T\" 2.60,86,3,1$");
    }
  });
  DetectResult result = DetectDevice();
  EXPECT_EQ(ScriptedPrinted(), "");
  EXPECT_EQ(result, DetectResult::Identified);
  EXPECT_EQ(deviceMode, RunningFirmware);
  EXPECT_STREQ(deviceInfo.displayName, "KLM8800T");
  // Two probe lines of four pieces (the first at 115200, unanswered), then the request.
  ASSERT_EQ(ScriptedWrites().size(), 9u);
  EXPECT_EQ(ScriptedWrites()[8], "^V$");
  // The request follows the answer to the probe line (at 567 ms) after the settling pause.
  EXPECT_EQ(askedAt, 567u + 21u);
}

TEST_F(IdentifyScripted, ATableThatCannotBeReadIsNotJudged) {
  // Whatever the record held before, a refused read, or one that nothing answers within
  // a line's time, is a failed read, and the identity is left cleared.
  struct Case {
    const char* reply;
    uint32_t takesMs;
  } cases[] = {{"19\r\n", 0}, {"", 501}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    DeviceInfo info{};
    info.family = 'V';
    info.modelIndex = 3;
    info.version = 0x02320000;
    info.identityByte1 = 0x41;
    info.identityByte0 = 0x01;
    memcpy(info.productName, "KLM8800T", 9);
    ScriptedDeliver(c.reply);
    uint32_t before = ScriptedNow();
    EXPECT_EQ(ReadParameterTable(&info), TableResult::ReadFailed);
    EXPECT_EQ(ScriptedNow() - before, c.takesMs);
    EXPECT_EQ(info.family, 0);
    EXPECT_EQ(info.modelIndex, 0);
    EXPECT_EQ(info.version, 0u);
    EXPECT_EQ(info.identityByte1, 0);
    EXPECT_EQ(info.identityByte0, 0);
    EXPECT_STREQ(info.productName, "");
  }
}

TEST_F(IdentifyScripted, NothingOfAnEarlierReplyOutlivesTheNextQuery) {
  // A reply without family, then a line that is no reply at all: neither leaves a field
  // of the reply before it in the record.
  ScriptedDeliver("^=V \"KLM8800T\" 2.60,86,3,1$^=V \"KLM8800T\" 2.50$^=P 1$");
  DeviceInfo info{};
  EXPECT_EQ(QueryIdentity(&info, true), IdentityResult::Parsed);
  EXPECT_EQ(info.family, 'V');
  EXPECT_EQ(QueryIdentity(&info, true), IdentityResult::Parsed);
  EXPECT_EQ(info.family, 0);
  EXPECT_EQ(info.modelIndex, 0);
  EXPECT_EQ(info.hexField, 0xFFFFFFFFu);
  EXPECT_EQ(info.version, 0x02320000u);
  EXPECT_EQ(QueryIdentity(&info, true), IdentityResult::NotAReply);
  EXPECT_EQ(info.version, 0u);
  EXPECT_STREQ(info.productName, "");
}

TEST_F(IdentifyScripted, InputLeftFromTheProbeIsDiscardedBeforeTheRequest) {
  // The tail of an old reply arrives just after the answer to the probe line; the
  // request's reply is read from a clean line.
  ScriptedRespond([&](std::string_view written) {
    if (ScriptedBaudRates().back() != 19200) return;
    if (written == "*") {
      ScriptedDeliver("^+$", 11);
      ScriptedDeliver("KLM8800T\" 2.50,86,3,1$", 15);
    }
    if (written.find('V') != std::string_view::npos) {
      ScriptedDeliver("^=V \"KLM8800T\" 2.60,86,3,1$");
    }
  });
  EXPECT_EQ(DetectDevice(), DetectResult::Identified);
  EXPECT_EQ(deviceInfo.version, 0x023C0000u);
}

TEST_F(IdentifyScripted, AReplyLineOf100CharactersIsNoReply) {
  // The hexadecimal field's leading zeros make the line 99 characters long, then 100.
  struct Case {
    int zeros;
    IdentityResult result;
  } cases[] = {{73, IdentityResult::Parsed}, {74, IdentityResult::NotAReply}};
  for (const Case& c : cases) {
    std::string line = "^=V \"KLM8800T\" 2.60,86,3," + std::string(c.zeros, '0') + "1";
    SCOPED_TRACE(line.size());
    ScriptedDeliver(line + "$");
    DeviceInfo info{};
    EXPECT_EQ(QueryIdentity(&info, true), c.result);
    EXPECT_EQ(info.hexField, c.result == IdentityResult::Parsed ? 1u : 0xFFFFFFFFu);
    ASSERT_NO_FATAL_FAILURE(Restart());
  }
}

TEST_F(IdentifyScripted, ACheckRegionOfOneByteIsReadAndTested) {
  // The table's check region may be as short as one byte: the read asks for a whole word
  // and keeps the byte, and the byte is tested against the table's CRC of it.
  const uint8_t kRegionByte = 0x5A;
  struct Case {
    uint8_t byteInFlash;
    TableResult result;
    uint32_t version;
  } cases[] = {{kRegionByte, TableResult::Ok, 0x023C0000}, {0x00, TableResult::CheckDiffers, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byteInFlash));
    std::vector<uint8_t> flashTable(kTableReadBytes, 0xFF);
    ParameterTable table{};
    table.version = 0x023C0000;
    memcpy(table.productName, "KLM8800T", 8);
    table.magic = kTableMagic;
    table.identity = 0x56034101u;
    table.tableLength = sizeof table;
    table.checkAddress = 0x1A000000;
    table.checkLength = 1;
    table.checkCrc = Crc32(&kRegionByte, 1);
    memcpy(flashTable.data(), &table, sizeof table);
    uint32_t tableCrc = Crc32(flashTable.data(), sizeof table - 4);
    memcpy(flashTable.data() + sizeof table - 4, &tableCrc, 4);
    ScriptedDeliver(ReadReplyText(flashTable));
    ScriptedDeliver(ReadReplyText({c.byteInFlash, 0xFF, 0xFF, 0xFF}));
    DeviceInfo info{};
    EXPECT_EQ(ReadParameterTable(&info), c.result);
    EXPECT_EQ(info.version, c.version);
    EXPECT_EQ(info.family, 'V');
    EXPECT_EQ(info.modelIndex, 3);
    EXPECT_EQ(info.identityByte1, 0x41);
    EXPECT_EQ(info.identityByte0, 0x01);
    EXPECT_EQ(ScriptedWritten(), "R 436731392 512\r\nOK\r\nR 436207616 4\r\nOK\r\n");
    ASSERT_NO_FATAL_FAILURE(Restart());
  }
}

TEST_F(IdentifyScripted, TheTablesOwnCrcCoversAtMostTheWholeRead) {
  // The table's CRC covers tableLength bytes, at most the 512 that were read. A table
  // whose CRC does not hold, or that claims more than was read, is reported, and the
  // switch is still judged by its firmware check.
  const uint8_t kRegionByte = 0x5A;
  struct Case {
    uint32_t tableLength;
    bool crcHolds;
    const char* shown;
  } cases[] = {{144, true, ""},
               {512, true, ""},
               {144, false, "\nParameter table has a bad CRC!\n"},
               {513, true, "\nParameter table has a bad CRC!\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tableLength << (c.crcHolds ? "" : ", bad CRC"));
    std::vector<uint8_t> flashTable(kTableReadBytes, 0xFF);
    ParameterTable table{};
    table.version = 0x023C0000;
    table.magic = kTableMagic;
    table.identity = 0x56030000u;
    table.tableLength = c.tableLength;
    table.checkAddress = 0x1A000000;
    table.checkLength = 1;
    table.checkCrc = Crc32(&kRegionByte, 1);
    memcpy(flashTable.data(), &table, sizeof table - 4);
    uint32_t covered = c.tableLength < kTableReadBytes ? c.tableLength : kTableReadBytes;
    uint32_t tableCrc = Crc32(flashTable.data(), covered - 4) ^ (c.crcHolds ? 0u : 1u);
    memcpy(flashTable.data() + covered - 4, &tableCrc, 4);
    ScriptedDeliver(ReadReplyText(flashTable));
    ScriptedDeliver(ReadReplyText({kRegionByte, 0xFF, 0xFF, 0xFF}));
    DeviceInfo info{};
    EXPECT_EQ(ReadParameterTable(&info), TableResult::Ok);
    EXPECT_EQ(info.version, 0x023C0000u);
    EXPECT_EQ(ScriptedPrinted(), c.shown);
    ASSERT_NO_FATAL_FAILURE(Restart());
  }
}

TEST_F(IdentifyScripted, EightAcknowledgementsBeforeTheReplyAreSkippedANinthIsTooMany) {
  struct Case {
    int acknowledgements;
    IdentityResult result;
  } cases[] = {
      {0, IdentityResult::Parsed}, {8, IdentityResult::Parsed}, {9, IdentityResult::NotAReply}};
  for (const Case& c : cases) {
    std::string lines;
    for (int i = 0; i < c.acknowledgements; ++i) lines += "^+$";
    ScriptedDeliver(lines + "^=V \"KLM8800T\" 2.60,86,3,1$");
    DeviceInfo info{};
    EXPECT_EQ(QueryIdentity(&info, true), c.result) << c.acknowledgements;
    ASSERT_NO_FATAL_FAILURE(Restart());
  }
}

TEST_F(IdentifyScripted, AnInterruptedUpdateIsToldByItsFirstBlockErasedAndItsLastBlockInPlace) {
  // The first block is read, then the block that holds the payload's last byte, wherever
  // the length puts it; a payload of one block has nothing written before its first.
  struct Case {
    uint32_t length;
    uint32_t lastAt;  // offset of the last block
    bool firstErased;
    bool lastAnswered;  // the boot ROM answers the read of the last block
    bool holds;
    const char* reads;
  } cases[] = {
      {1025, 1024, true, true, true, "R 436207616 512\r\nOK\r\nR 436208640 512\r\nOK\r\n"},
      {1024, 512, true, true, true, "R 436207616 512\r\nOK\r\nR 436208128 512\r\nOK\r\n"},
      {1025, 1024, false, true, false, "R 436207616 512\r\nOK\r\n"},
      {1025, 1024, true, false, false, "R 436207616 512\r\nOK\r\nR 436208640 512\r\n"},
      {512, 0, true, true, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << (c.firstErased ? "" : ", first block written")
                                    << (c.lastAnswered ? "" : ", last read refused"));
    std::vector<uint8_t> payload(c.length);
    for (uint32_t i = 0; i < c.length; ++i) payload[i] = static_cast<uint8_t>(i % 251);
    ImageHeader header{};
    header.firmwareAddress = 0x1A000000;
    header.firmwareLength = c.length;
    FirmwareImage image{};
    image.header = &header;
    image.firmware = payload.data();
    std::vector<uint8_t> flash(2048, 0xFF);
    std::copy(payload.begin() + (c.firstErased ? 512 : 0), payload.end(),
              flash.begin() + (c.firstErased ? 512 : 0));
    ScriptedDeliver(ReadReplyText({flash.begin(), flash.begin() + 512}));
    if (c.lastAnswered) {
      ScriptedDeliver(ReadReplyText({flash.begin() + c.lastAt, flash.begin() + c.lastAt + 512}));
    } else {
      ScriptedDeliver("19\r\n");
    }
    EXPECT_EQ(FlashHoldsInterruptedUpdate(image), c.holds);
    EXPECT_EQ(ScriptedWritten(), c.reads);
    ASSERT_NO_FATAL_FAILURE(Restart());
  }
}
