// Finding the switch and entering its boot ROM on the simulated line, where the clock is
// virtual: the probe's tries, their order, rates and pauses to the millisecond, and the
// pause that lets the chip reset into its boot ROM.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/identify.h"
#include "isp/boot_entry.h"
#include "isp/device_mode.h"
#include "link/scripted_fixture.h"

namespace {

// "@<ms> <rate> ": when, and at which rate, the switch's end of the line saw a write.
// Appended rather than joined with operator+, on which GCC 12 at -O2 and above reports a
// false overflowing copy inside the temporary std::string (-Wstringop-overflow).
std::string SeenAt(uint32_t atMs, uint32_t rate) {
  std::string text = "@";
  return text.append(std::to_string(atMs)).append(" ").append(std::to_string(rate)).append(" ");
}

// One Write as the switch's end of the line saw it: when, at which rate, what.
std::string Seen(uint32_t atMs, std::string_view bytes) {
  std::string text = SeenAt(atMs, ScriptedBaudRates().back());
  for (char c : bytes) {
    if (c == '\x1B') {
      text += "ESC";
    } else if (c == '\r') {
      text += "CR";
    } else if (c == '\n') {
      text += "LF";
    } else {
      text += c;
    }
  }
  return text;
}

// The probe line of one try as the switch sees it, the try starting at startMs: ESC,
// "^P$", the probe character and CR, each piece more than 10 ms after the one before.
std::vector<std::string> ProbeLineAt(uint32_t startMs, uint32_t rate, const char* probe) {
  const char* pieces[] = {"ESC", "^P$", probe, "CR"};
  std::vector<std::string> line;
  for (uint32_t i = 0; i < 4; ++i) {
    line.push_back(SeenAt(startMs + 11 * i, rate));
    line.back().append(pieces[i]);
  }
  return line;
}

// The far end of the line: the switch's firmware, at 19200 baud, until "^BOOTL$" resets
// the chip; then, resetMs later (or never), its boot ROM. Everything that arrives while
// the chip resets is lost. The boot ROM does what the real one does with the utility's
// lines: auto-baud on "?" at the rate it came at (anything else is ignored), the
// "Synchronized" handshake with its echo on, and "A 0", which switches the echo off.
class ScriptedSwitch {
 public:
  enum class Start { kFirmware, kBootRom, kNothing };
  static constexpr uint32_t kNever = UINT32_MAX;

  ScriptedSwitch(Start start, uint32_t romUpAtMs = 0, uint32_t resetMs = kNever)
      : firmware_(start == Start::kFirmware), romUpAtMs_(romUpAtMs), resetMs_(resetMs) {
    if (start == Start::kNothing) romUpAtMs_ = kNever;
    ScriptedRespond([this](std::string_view written) { Hear(written); });
  }
  ~ScriptedSwitch() { ScriptedRespond(nullptr); }
  ScriptedSwitch(const ScriptedSwitch&) = delete;
  ScriptedSwitch& operator=(const ScriptedSwitch&) = delete;

  // Writes the utility made, each as Seen() shows it.
  const std::vector<std::string>& seen() const { return seen_; }
  // Bytes lost because they arrived while the chip reset into its boot ROM.
  size_t lostInReset() const { return lost_; }
  // The boot ROM answers this line of the handshake ("Synchronized\r\n" or "O\r") with
  // an error instead of "OK", and waits for auto-baud again.
  void Refuse(std::string line) { refused_ = std::move(line); }

 private:
  void Hear(std::string_view written) {
    uint32_t now = ScriptedNow();
    uint32_t rate = ScriptedBaudRates().back();
    seen_.push_back(Seen(now, written));
    if (firmware_) {
      Firmware(written, rate, now);
      return;
    }
    if (romUpAtMs_ == kNever || now < romUpAtMs_) {
      if (resetting_) lost_ += written.size();
      return;
    }
    resetting_ = false;
    BootRom(written, rate);
  }

  void Firmware(std::string_view written, uint32_t rate, uint32_t now) {
    if (rate != 19200) return;  // noise to a UART at 19200
    frame_ += written;
    if (frame_.find("^P$") != std::string::npos && written == "\r") {
      ScriptedDeliver("^+$");
      frame_.clear();
    } else if (frame_.find("^BOOTL$") != std::string::npos) {
      firmware_ = false;
      resetting_ = true;
      romUpAtMs_ = resetMs_ == kNever ? kNever : now + resetMs_;
    }
  }

  void BootRom(std::string_view written, uint32_t rate) {
    if (romRate_ == 0) {
      if (written == "?") {
        romRate_ = rate;
        ScriptedDeliver("Synchronized\r\n");
      }
      return;
    }
    if (rate != romRate_) return;
    std::string reply = echo_ ? std::string(written) : std::string();
    if (written == refused_) {
      ScriptedDeliver(reply + "1\r\n");
      romRate_ = 0;
      return;
    }
    if (written == "Synchronized\r\n" || written == "O\r") {
      reply += "OK\r\n";
    } else if (written == "A 0\r") {
      reply += "0\r\n";
      echo_ = false;
    }
    ScriptedDeliver(reply);
  }

  bool firmware_;
  uint32_t romUpAtMs_;
  uint32_t resetMs_;
  bool resetting_ = false;
  size_t lost_ = 0;
  uint32_t romRate_ = 0;  // 0 while the boot ROM waits for auto-baud
  bool echo_ = true;
  std::string frame_;
  std::string refused_;
  std::vector<std::string> seen_;
};

}  // namespace

using BootEntryScripted = OnAScriptedLine;

TEST_F(BootEntryScripted, OnASilentLineTheProbeMakesFourTriesOf500MsAlternatingTheRates) {
  // Each try sends its line, then waits 500 ms from the line's CR; the next try follows
  // at once at the other rate, starting with the rate the link does not hold: "?" (the
  // boot ROM's auto-baud character) at 115200, "*" at 19200.
  struct Case {
    uint32_t linkRate;
    uint32_t firstRate;
  } cases[] = {{19200, 115200}, {115200, 19200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.linkRate);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ASSERT_EQ(SetLinkBaudRate(c.linkRate), 1);
    ScriptedSwitch silent(ScriptedSwitch::Start::kNothing);
    EXPECT_EQ(ProbeLink(), ProbeResult::Nothing);
    std::vector<std::string> expected;
    for (uint32_t k = 0; k < 4; ++k) {
      bool fast = (c.firstRate == 115200) == (k % 2 == 0);
      for (const std::string& w : ProbeLineAt(534 * k, fast ? 115200 : 19200, fast ? "?" : "*")) {
        expected.push_back(w);
      }
    }
    EXPECT_EQ(silent.seen(), expected);
    EXPECT_EQ(ScriptedNow(), 4u * 534u);  // the fourth try's 500 ms have passed, not more
    EXPECT_EQ(linkBaudRate, c.firstRate == 115200 ? 19200u : 115200u);  // the last try's
  }
}

TEST_F(BootEntryScripted, AnAnswerToTheThirdTryIsFound) {
  // A boot ROM still coming out of reset loses the first try; the second, "*" at 19200,
  // is nothing to its auto-baud routine; the third, "?" at 115200, synchronises it.
  ScriptedSwitch rom(ScriptedSwitch::Start::kBootRom, 100);
  EXPECT_EQ(ProbeLink(), ProbeResult::BootLoader);
  std::vector<std::string> expected = ProbeLineAt(0, 115200, "?");
  for (const std::string& w : ProbeLineAt(534, 19200, "*")) expected.push_back(w);
  for (const std::string& w : ProbeLineAt(1068, 115200, "?")) expected.push_back(w);
  // The handshake follows the third try's line at once: each reply is there as soon as
  // the ROM has answered.
  expected.emplace_back("@1101 115200 SynchronizedCRLF");
  expected.emplace_back("@1101 115200 OCR");
  expected.emplace_back("@1101 115200 A 0CR");
  EXPECT_EQ(rom.seen(), expected);
  EXPECT_EQ(linkBaudRate, 115200u);
}

TEST_F(BootEntryScripted, FromTheFirmwareTheBootRomIsProbedOnlyAfterTheChipHasReset) {
  // The firmware answers the second try (19200, "*"); "^BOOTL$" resets the chip, which
  // takes 50 ms here, and the utility waits 100 ms before it probes the boot ROM: no
  // byte is lost to the reset. The boot ROM answers the second try after the reset.
  ScriptedSwitch sw(ScriptedSwitch::Start::kFirmware, 0, 50);
  EXPECT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  EXPECT_EQ(deviceMode, BootLoader);
  EXPECT_EQ(sw.lostInReset(), 0u);
  const std::vector<std::string>& seen = sw.seen();
  ASSERT_GE(seen.size(), 10u);
  EXPECT_EQ(seen[8], "@567 19200 ^BOOTL$");
  // The pause: more than 100 ms, then the boot ROM's first try at 19200, as the link
  // stands at 115200 after the reset.
  EXPECT_EQ(seen[9], "@668 19200 ESC");
  EXPECT_EQ(seen.back(), "@1235 115200 A 0CR");
}

TEST_F(BootEntryScripted, SilenceAndABootRomThatNeverComesUpAreToldApart) {
  {
    ScriptedSwitch silent(ScriptedSwitch::Start::kNothing);
    EXPECT_EQ(EnterBootLoader(), BootEntryResult::NoAnswer);
    EXPECT_EQ(silent.seen().size(), 16u);  // four probe lines and nothing else
    EXPECT_EQ(ScriptedNow(), 2136u);
  }
  ASSERT_NO_FATAL_FAILURE(Restart());
  ScriptedSwitch sw(ScriptedSwitch::Start::kFirmware, 0, ScriptedSwitch::kNever);
  EXPECT_EQ(EnterBootLoader(), BootEntryResult::BootRomSilent);
  EXPECT_EQ(deviceMode, NoDevice);
  // The firmware's two tries, "^BOOTL$", the pause and the boot ROM's four tries.
  EXPECT_EQ(sw.seen().size(), 8u + 1u + 16u);
  EXPECT_EQ(ScriptedNow(), 567u + 101u + 2136u);
}

TEST_F(BootEntryScripted, TheFirmwareIsKnownByItsAcknowledgementOrAFiveCharacterStatus) {
  // The firmware answers the probe line with "^+$", or, while it is busy, with a status
  // of two characters, "^=Pxx$". Nothing else that starts like a status is its answer,
  // no other line of two characters is its acknowledgement, and a line as long as the
  // boot ROM's "Synchronized" is not that either.
  struct Case {
    const char* answer;
    ProbeResult result;
  } cases[] = {{"^+$", ProbeResult::Firmware},         {"^=P00$", ProbeResult::Firmware},
               {"^=P$", ProbeResult::Nothing},         {"^=P0$", ProbeResult::Nothing},
               {"^=P000$", ProbeResult::Nothing},      {"^=X00$", ProbeResult::Nothing},
               {"^-$", ProbeResult::Nothing},          {"+^$", ProbeResult::Nothing},
               {"Synchronised$", ProbeResult::Nothing}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedRespond([&](std::string_view written) {
      if (ScriptedBaudRates().back() == 19200 && written == "\r") ScriptedDeliver(c.answer);
    });
    EXPECT_EQ(ProbeLink(), c.result);
    // Found on the second try, the first at 19200; or not at all after four, of which the
    // two at 19200 end with their answer instead of a line limit.
    EXPECT_EQ(ScriptedNow(), c.result == ProbeResult::Firmware ? 567u : 1134u);
  }
}

TEST_F(BootEntryScripted, WhatATryLeftUnreadIsNotTakenForTheNextTrysAnswer) {
  // Noise at the wrong rate ends in a "$" with more after it: the reader stops at the "$",
  // and the rest is discarded before the next try, which the firmware answers.
  ScriptedRespond([](std::string_view written) {
    if (written != "\r") return;
    ScriptedDeliver(ScriptedBaudRates().back() == 19200 ? "^+$" : "x$yz");
  });
  EXPECT_EQ(ProbeLink(), ProbeResult::Firmware);
  EXPECT_EQ(ScriptedWrites().size(), 8u);  // found on the second try
  ScriptedRespond(nullptr);
}

TEST_F(BootEntryScripted, ABootRomThatDoesNotConfirmAStepOfTheHandshakeIsNotTakenAsFound) {
  for (const char* step : {"Synchronized\r\n", "O\r"}) {
    SCOPED_TRACE(step);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedSwitch sw(ScriptedSwitch::Start::kBootRom);
    sw.Refuse(step);
    EXPECT_EQ(ProbeLink(), ProbeResult::Nothing);
    EXPECT_GT(sw.seen().size(), 16u);  // the handshakes were tried
  }
}

TEST_F(BootEntryScripted, OnlyALoneOneIsABootRomThatRefusedTheProbe) {
  // A synchronised boot ROM with its echo off answers the probe line with "1" (unknown
  // command) alone. A longer line that begins with "1" is something else: no handshake
  // is tried on it, whatever would answer.
  for (const char* answer : {"10\r\n", "1x\r\n", "01\r\n"}) {
    SCOPED_TRACE(answer);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedRespond([answer](std::string_view written) {
      if (written == "\r") ScriptedDeliver(answer);
      if (written == "A 0\r") ScriptedDeliver("0\r\n");
    });
    EXPECT_EQ(ProbeLink(), ProbeResult::Nothing);
    EXPECT_EQ(ScriptedWritten().find("A 0"), std::string::npos);
    ScriptedRespond(nullptr);
  }
}

TEST_F(BootEntryScripted, NothingOfTheHandshakeIsLeftForTheFirstCommandToRead) {
  // The boot ROM's last answer ends "0\r\n", and the reader stops at the CR. The LF, and
  // whatever else is queued after the settling pause, is discarded, so that the first
  // command's reply starts clean.
  {
    ScriptedSwitch sw(ScriptedSwitch::Start::kBootRom);
    ASSERT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
    EXPECT_EQ(linkPort.BytesWaiting(), 0);
    EXPECT_EQ(ScriptedPending(), 0u);
  }
  // Behind a USB adapter that holds the LF of the last answer back for 16 ms, the LF is
  // still discarded: the pause before the flush lets it arrive.
  ASSERT_NO_FATAL_FAILURE(Restart());
  ScriptedRespond([](std::string_view written) {
    if (written == "\r") ScriptedDeliver("1\r\n");  // a boot ROM with its echo off
    if (written == "A 0\r") {
      ScriptedDeliver("0\r");
      ScriptedDeliver("\n", 16);
    }
  });
  ASSERT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  EXPECT_EQ(ScriptedPending(), 0u);
  ScriptedRespond(nullptr);
}
