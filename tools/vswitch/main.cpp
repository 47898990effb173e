// vswitch: one virtual matrix switch behind a pseudo-terminal.
//
// It creates a pseudo-terminal, links its slave side as a COM port (--link), and
// behaves like one switch on that line until SIGTERM or SIGINT: its firmware at
// 19200 baud, or its microcontroller's boot ROM speaking the UART ISP protocol. The
// flash persists in a file (--flash); every start of the program is a power cycle.
// Once it listens it prints "ready <slave path>" on standard output.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "faults.h"
#include "flash.h"
#include "flash_setup.h"
#include "format/parse_number.h"
#include "image_pack.h"
#include "pty_line.h"
#include "stats.h"
#include "switch_log.h"
#include "virtual_switch.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

// Numbers on the command line: decimal, or hexadecimal with 0x (addresses).
std::string CheckNumber(const std::string& text) {
  const char* end = nullptr;
  ParseUnsigned32(text.c_str(), &end, 0);
  return end != text.c_str() && *end == '\0' ? std::string() : "not a number: " + text;
}

uint32_t Number(const std::string& text) {
  return ParseUnsigned32(text.c_str(), nullptr, 0);
}

// A family given as its letter ("V") or as its character code ("86").
bool ParseFamily(const std::string& text, uint32_t* family) {
  if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z') {
    *family = static_cast<unsigned char>(text[0]);
    return true;
  }
  if (!CheckNumber(text).empty()) return false;
  *family = Number(text);
  return true;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Fail(const std::string& message) {
  fprintf(stderr, "vswitch: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vswitch: a virtual matrix switch on a pseudo-terminal"};

  std::string linkPath, flashPath, logPath, statsPath, installPath;
  bool erase = false;
  SwitchConfig config;
  std::string tableFaultText, checkLengthText;
  std::string identityName, identityVersion, identityFamily, identityModel, identityHex;
  std::vector<std::string> refusals, compareAddresses;
  std::string resendText;
  uint64_t silenceAfterWBytes = 0;
  uint32_t silenceAfterCopy = 0, noiseBytes = 0, slowMs = 0;
  std::string bootVersionText;
  std::vector<std::string> serialText;

  app.add_option("--link", linkPath, "Symbolic link to the pty slave to create (e.g. DIR/com3)")
      ->required();
  app.add_option("--flash", flashPath,
                 "Flash contents file, two banks of 512 KB (created erased); without it the "
                 "flash is lost at exit");
  app.add_option("--log", logPath, "Log every line in and out, with its rate and persona");
  bool logTimes = false;
  app.add_flag("--log-times", logTimes,
               "Start every log record with the milliseconds since the switch started");
  app.add_option("--stats", statsPath,
                 "Write bytes in/out and simulated erase/copy time here at exit "
                 "(default: standard error)");
  app.add_flag("--pace", config.paced,
               "Move bytes no faster than the baud rate allows and take data-sheet times "
               "for erase and copy");
  app.add_flag("--zero-alias", config.zeroAlias,
               "Map 0x00000000-0x0007FFFF onto bank A for C, M and R (for clients that "
               "address the flash from 0)");
  app.add_flag("--isp-pin", config.ispPin,
               "Hold the ISP pin at power-up: stay in the boot ROM even over valid code");

  app.add_option("--install", installPath,
                 "Install an image made by imagepack at power-up (payload and table)");
  app.add_flag("--erase", erase, "Erase the whole flash at power-up (before --install)");
  app.add_option("--table", tableFaultText,
                 "Damage the parameter table at power-up: blank, old, bad-crc or check-crc")
      ->check(CLI::IsMember({"blank", "old", "bad-crc", "check-crc"}));
  app.add_option("--table-check-length", checkLengthText,
                 "Set the parameter table's check length at power-up")
      ->check([](const std::string& t) { return CheckNumber(t); });

  app.add_option("--identity-name", identityName, "Name the firmware reports");
  app.add_option("--identity-version", identityVersion,
                 "Version the firmware reports (2.60, 2.60.05b or 0x023C0000)");
  app.add_option("--identity-family", identityFamily,
                 "Family the firmware reports (a letter or its character code)");
  app.add_option("--identity-model", identityModel, "Model index the firmware reports")
      ->check([](const std::string& t) { return CheckNumber(t); });
  app.add_option("--identity-hex", identityHex,
                 "The hexadecimal field of the identity reply (a number)")
      ->check([](const std::string& t) { return CheckNumber(t); });
  app.add_flag("--identity-no-family", config.identity.withoutFamily,
               "End the identity reply after the version");
  app.add_flag("--identity-ack", config.firmware.ackIdentity,
               "Send \"^+$\" ahead of the identity reply");
  app.add_option("--probe-status", config.firmware.probeStatus,
                 "Answer the probe with \"^=P\" + these two characters + \"$\" instead of "
                 "\"^+$\"")
      ->check([](const std::string& t) {
        return t.size() == 2 && t.find_first_of("^$") == std::string::npos
                   ? std::string()
                   : std::string("two characters, neither ^ nor $");
      });

  app.add_option("--boot-ms", config.firmware.bootMs,
                 "Time from the firmware's start to its first progress report (ms)")
      ->capture_default_str();
  app.add_option("--dsp-banks", config.firmware.dspBanks, "DSP banks the firmware reloads")
      ->capture_default_str();
  app.add_option("--dsp-step-ms", config.firmware.stepMs, "Time per DSP progress step (ms)")
      ->capture_default_str();
  bool noProgress = false, noReady = false;
  app.add_flag("--no-progress", noProgress, "The firmware reports neither progress nor ready");
  app.add_flag("--no-ready", noReady, "The firmware reports progress but never ready");
  app.add_flag("--progress-forever", config.firmware.progressForever,
               "The firmware reports progress without end");

  app.add_option("--fault-compare", compareAddresses,
                 "M over a range holding this address answers 10 and its offset")
      ->check([](const std::string& t) { return CheckNumber(t); });
  app.add_option("--fault-resend", resendText,
                 "Answer W checksums with RESEND: once, always, or the K-th");
  app.add_option("--fault-refuse", refusals,
                 "Refuse a command: LETTER[:K][=CODE] (the K-th use; every use without K)");
  app.add_option("--fault-silence-after-w-bytes", silenceAfterWBytes,
                 "Lose power once this many bytes of W data have arrived");
  app.add_option("--fault-silence-after-copy", silenceAfterCopy,
                 "Lose power at the end of the K-th C, before its status");
  app.add_option("--noise", noiseBytes,
                 "Send this many noise bytes ahead of every line and at power-up");
  app.add_option("--fault-slow-ms", slowMs, "Delay every status and reply line by this much (ms)");

  app.add_option("--boot-version", bootVersionText,
                 "Boot code version that K reports, MAJOR.MINOR")
      ->capture_default_str();
  app.add_option("--serial-number", serialText, "Four words that N reports")->expected(4);

  CLI11_PARSE(app, argc, argv);

  config.firmware.progress = !noProgress;
  config.firmware.ready = !noReady && !config.firmware.progressForever;

  // Identity overrides.
  if (!identityName.empty()) {
    if (identityName.size() > 31) return Fail("--identity-name: at most 31 characters");
    config.identity.name = identityName;
  }
  if (!identityVersion.empty()) {
    uint32_t v = 0;
    if (!ParseVersionWord(identityVersion, &v)) return Fail("bad --identity-version");
    config.identity.version = v;
  }
  if (!identityFamily.empty()) {
    uint32_t f = 0;
    if (!ParseFamily(identityFamily, &f)) return Fail("bad --identity-family");
    config.identity.family = f;
  }
  if (!identityModel.empty()) config.identity.model = Number(identityModel);
  if (!identityHex.empty()) config.identity.hex = Number(identityHex);
  if (!bootVersionText.empty()) {
    size_t dot = bootVersionText.find('.');
    if (dot == std::string::npos || !CheckNumber(bootVersionText.substr(0, dot)).empty() ||
        !CheckNumber(bootVersionText.substr(dot + 1)).empty()) {
      return Fail("--boot-version wants MAJOR.MINOR");
    }
    config.rom.bootCodeMajor = Number(bootVersionText.substr(0, dot));
    config.rom.bootCodeMinor = Number(bootVersionText.substr(dot + 1));
  }
  for (size_t i = 0; i < serialText.size() && i < 4; ++i) {
    if (!CheckNumber(serialText[i]).empty()) return Fail("bad --serial-number word");
    config.rom.serial[i] = Number(serialText[i]);
  }

  // Faults.
  Faults faults;
  std::string error;
  for (const auto& text : refusals) {
    if (!faults.AddRefusal(text, &error)) return Fail(error);
  }
  if (!resendText.empty() && !faults.SetResend(resendText, &error)) return Fail(error);
  for (const auto& address : compareAddresses) faults.AddCompareFault(Number(address));
  faults.silenceAfterWBytes = silenceAfterWBytes;
  faults.silenceAfterCopy = silenceAfterCopy;
  faults.noiseBytes = noiseBytes;
  faults.slowMs = slowMs;

  // The flash, as the scenario wants it at power-up.
  Flash flash;
  if (!flash.Open(flashPath, &error)) return Fail(error);
  if (erase) flash.EraseAll();
  if (!installPath.empty()) {
    std::vector<uint8_t> image;
    if (!ReadFile(installPath, &image)) return Fail("cannot read " + installPath);
    if (!InstallImage(flash, image, &config.tableAddress, &error)) {
      return Fail(installPath + ": " + error);
    }
  }
  if (!checkLengthText.empty() &&
      !SetTableCheckLength(flash, config.tableAddress, Number(checkLengthText), &error)) {
    return Fail(error);
  }
  TableFault tableFault = TableFault::kNone;
  if (!tableFaultText.empty()) {
    ParseTableFault(tableFaultText, &tableFault);
    if (!ApplyTableFault(flash, config.tableAddress, tableFault, &error)) return Fail(error);
  }
  flash.Sync();

  SwitchLog log;
  if (!logPath.empty() && !log.Open(logPath)) return Fail("cannot write log " + logPath);
  if (logTimes) log.EnableTimes();

  // SIGTERM and SIGINT are blocked except while the loop waits, so that a stop request
  // is seen between two bytes, never in the middle of a flash operation.
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGINT);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);

  PtyLine line;
  if (!line.Open(linkPath, &error)) return Fail(error);

  Stats stats;
  {
    VirtualSwitch board(line, flash, faults, config, log, stats);
    board.PowerUp();
    printf("ready %s\n", line.SlavePath().c_str());
    fflush(stdout);
    board.Run(&stopRequested);
  }
  line.Close();
  flash.Close();

  if (statsPath.empty()) {
    fprintf(stderr, "%s", stats.Text().c_str());
  } else {
    std::ofstream out(statsPath, std::ios::trunc);
    out << stats.Text();
  }
  return 0;
}
