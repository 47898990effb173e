#include "switch_options.h"

#include <CLI/CLI.hpp>

#include "format/parse_number.h"
#include "image_pack.h"

namespace {

// Numbers on the command line: decimal, or hexadecimal with 0x (addresses).
std::string CheckNumber(const std::string& text) {
  const char* end = nullptr;
  ParseUnsigned32(text.c_str(), &end, 0);
  return end != text.c_str() && *end == '\0' ? std::string() : "not a number: " + text;
}

uint32_t Number(const std::string& text) { return ParseUnsigned32(text.c_str(), nullptr, 0); }

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

bool Fail(std::string* error, const std::string& message) {
  *error = message;
  return false;
}

void DefineLineOptions(CLI::App& app, SwitchOptions& o) {
  app.add_option("--link", o.linkPath, "Symbolic link to the pty slave to create (e.g. DIR/com3)")
      ->required();
  app.add_option("--flash", o.flashPath,
                 "Flash contents file, two banks of 512 KB (created erased); without it the "
                 "flash is lost at exit");
  app.add_option("--log", o.logPath, "Log every line in and out, with its rate and persona");
  app.add_flag("--log-times", o.logTimes,
               "Start every log record with the milliseconds since the switch started");
  app.add_flag("--log-points", o.config.logPoints,
               "Log every interruption point, numbered from power-up");
  app.add_option("--stats", o.statsPath,
                 "Write bytes in/out and simulated erase/copy time here at exit "
                 "(default: standard error)");
  app.add_flag("--pace", o.config.paced,
               "Move bytes no faster than the baud rate allows and take data-sheet times "
               "for erase and copy");
  app.add_flag("--zero-alias", o.config.zeroAlias,
               "Map 0x00000000-0x0007FFFF onto bank A for C, M and R (for clients that "
               "address the flash from 0)");
  app.add_flag("--isp-pin", o.config.ispPin,
               "Hold the ISP pin at power-up: stay in the boot ROM even over valid code");
}

void DefineFlashOptions(CLI::App& app, SwitchOptions& o) {
  app.add_option("--install", o.flash.installPath,
                 "Install an image made by imagepack at power-up (payload and table)");
  app.add_flag("--erase", o.flash.erase, "Erase the whole flash at power-up (before --install)");
  app.add_option("--table", o.tableFault,
                 "Damage the parameter table at power-up: blank, old, bad-crc or check-crc")
      ->check(CLI::IsMember({"blank", "old", "bad-crc", "check-crc"}));
  app.add_option("--table-check-length", o.checkLength,
                 "Set the parameter table's check length at power-up")
      ->check([](const std::string& t) { return CheckNumber(t); });
}

void DefineFirmwareOptions(CLI::App& app, SwitchOptions& o) {
  FirmwareOptions& firmware = o.config.firmware;
  app.add_option("--identity-name", o.identityName, "Name the firmware reports");
  app.add_option("--identity-version", o.identityVersion,
                 "Version the firmware reports (2.60, 2.60.05b or 0x023C0000)");
  app.add_option("--identity-family", o.identityFamily,
                 "Family the firmware reports (a letter or its character code)");
  app.add_option("--identity-model", o.identityModel, "Model index the firmware reports")
      ->check([](const std::string& t) { return CheckNumber(t); });
  app.add_option("--identity-hex", o.identityHex,
                 "The hexadecimal field of the identity reply (a number)")
      ->check([](const std::string& t) { return CheckNumber(t); });
  app.add_flag("--identity-no-family", o.config.identity.withoutFamily,
               "End the identity reply after the version");
  app.add_flag("--identity-ack", firmware.ackIdentity,
               "Send \"^+$\" ahead of the identity reply");
  app.add_option("--probe-status", firmware.probeStatus,
                 "Answer the probe with \"^=P\" + these two characters + \"$\" instead of "
                 "\"^+$\"")
      ->check([](const std::string& t) {
        return t.size() == 2 && t.find_first_of("^$") == std::string::npos
                   ? std::string()
                   : std::string("two characters, neither ^ nor $");
      });
  app.add_option("--boot-ms", firmware.bootMs,
                 "Time from the firmware's start to its first progress report (ms)")
      ->capture_default_str();
  app.add_option("--dsp-banks", firmware.dspBanks, "DSP banks the firmware reloads")
      ->capture_default_str();
  app.add_option("--dsp-step-ms", firmware.stepMs, "Time per DSP progress step (ms)")
      ->capture_default_str();
  app.add_flag("--no-progress", o.noProgress, "The firmware reports neither progress nor ready");
  app.add_flag("--no-ready", o.noReady, "The firmware reports progress but never ready");
  app.add_flag("--progress-forever", firmware.progressForever,
               "The firmware reports progress without end");
}

void DefineFaultOptions(CLI::App& app, SwitchOptions& o) {
  app.add_option("--fault-compare", o.compareAddresses,
                 "M over a range holding this address answers 10 and its offset")
      ->check([](const std::string& t) { return CheckNumber(t); });
  app.add_option("--fault-resend", o.resend,
                 "Answer W checksums with RESEND: once, always, or the K-th");
  app.add_option("--fault-refuse", o.refusals,
                 "Refuse a command: LETTER[:K][=CODE] (the K-th use; every use without K)");
  app.add_option("--fault-silence-after-w-bytes", o.silenceAfterWBytes,
                 "Lose power once this many bytes of W data have arrived");
  app.add_option("--fault-silence-after-copy", o.silenceAfterCopy,
                 "Lose power at the end of the K-th C, before its status");
  app.add_option("--noise", o.noiseBytes,
                 "Send this many noise bytes ahead of every line and at power-up");
  app.add_option("--fault-slow-ms", o.slowMs,
                 "Delay every status and reply line by this much (ms)");
  app.add_option("--interrupt", o.interrupt,
                 "Interrupt the switch at point N: N:power, N:hold (until SIGUSR1) or N:reply");
  app.add_option("--flood", o.flood,
                 "Stream empty lines without end from WHERE[:RATE]: probe, identity (the "
                 "firmware's answers), read (the boot ROM's R data) or sync (after the boot "
                 "ROM's synchronisation); RATE in bytes per second, or as fast as the host "
                 "takes them");
}

void DefineBootRomOptions(CLI::App& app, SwitchOptions& o) {
  app.add_option("--boot-version", o.bootVersion, "Boot code version that K reports, MAJOR.MINOR")
      ->capture_default_str();
  app.add_option("--serial-number", o.serialNumber, "Four words that N reports")->expected(4);
}

bool ConvertIdentity(const SwitchOptions& o, IdentityOverrides* identity, std::string* error) {
  if (!o.identityName.empty()) {
    if (o.identityName.size() > 31) return Fail(error, "--identity-name: at most 31 characters");
    identity->name = o.identityName;
  }
  if (!o.identityVersion.empty()) {
    uint32_t v = 0;
    if (!ParseVersionWord(o.identityVersion, &v)) return Fail(error, "bad --identity-version");
    identity->version = v;
  }
  if (!o.identityFamily.empty()) {
    uint32_t f = 0;
    if (!ParseFamily(o.identityFamily, &f)) return Fail(error, "bad --identity-family");
    identity->family = f;
  }
  if (!o.identityModel.empty()) identity->model = Number(o.identityModel);
  if (!o.identityHex.empty()) identity->hex = Number(o.identityHex);
  return true;
}

bool ConvertBootRom(const SwitchOptions& o, BootRomOptions* rom, std::string* error) {
  if (!o.bootVersion.empty()) {
    size_t dot = o.bootVersion.find('.');
    if (dot == std::string::npos || !CheckNumber(o.bootVersion.substr(0, dot)).empty() ||
        !CheckNumber(o.bootVersion.substr(dot + 1)).empty()) {
      return Fail(error, "--boot-version wants MAJOR.MINOR");
    }
    rom->bootCodeMajor = Number(o.bootVersion.substr(0, dot));
    rom->bootCodeMinor = Number(o.bootVersion.substr(dot + 1));
  }
  for (size_t i = 0; i < o.serialNumber.size() && i < 4; ++i) {
    if (!CheckNumber(o.serialNumber[i]).empty()) return Fail(error, "bad --serial-number word");
    rom->serial[i] = Number(o.serialNumber[i]);
  }
  return true;
}

bool ConvertFaults(const SwitchOptions& o, Faults* faults, std::string* error) {
  for (const auto& text : o.refusals) {
    if (!faults->AddRefusal(text, error)) return false;
  }
  if (!o.resend.empty() && !faults->SetResend(o.resend, error)) return false;
  if (!o.interrupt.empty() && !faults->SetInterrupt(o.interrupt, error)) return false;
  if (!o.flood.empty() && !faults->SetFlood(o.flood, error)) return false;
  for (const auto& address : o.compareAddresses) faults->AddCompareFault(Number(address));
  faults->silenceAfterWBytes = o.silenceAfterWBytes;
  faults->silenceAfterCopy = o.silenceAfterCopy;
  faults->noiseBytes = o.noiseBytes;
  faults->slowMs = o.slowMs;
  return true;
}

}  // namespace

void DefineOptions(CLI::App& app, SwitchOptions& options) {
  DefineLineOptions(app, options);
  DefineFlashOptions(app, options);
  DefineFirmwareOptions(app, options);
  DefineFaultOptions(app, options);
  DefineBootRomOptions(app, options);
}

bool ConvertOptions(SwitchOptions& o, Faults* faults, std::string* error) {
  o.config.firmware.progress = !o.noProgress;
  o.config.firmware.ready = !o.noReady && !o.config.firmware.progressForever;
  if (!o.checkLength.empty()) {
    o.flash.setCheckLength = true;
    o.flash.checkLength = Number(o.checkLength);
  }
  if (!o.tableFault.empty()) ParseTableFault(o.tableFault, &o.flash.tableFault);
  return ConvertIdentity(o, &o.config.identity, error) &&
         ConvertBootRom(o, &o.config.rom, error) && ConvertFaults(o, faults, error);
}
