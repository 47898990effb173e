#include "switch_options.h"

#include <CLI/CLI.hpp>

#include "image_pack.h"
#include "number_options.h"

namespace {

using tool_options::Number;

// A family given as its letter ("V") or as its character code ("86").
bool ParseFamily(const std::string& text, uint32_t* family) {
  if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z') {
    *family = static_cast<unsigned char>(text[0]);
    return true;
  }
  return tool_options::ReadNumber(text, family).empty();
}

// The boot code version K reports, MAJOR.MINOR.
bool ParseBootVersion(const std::string& text, uint32_t* major, uint32_t* minor) {
  size_t dot = text.find('.');
  return dot != std::string::npos && tool_options::ReadNumber(text.substr(0, dot), major).empty() &&
         tool_options::ReadNumber(text.substr(dot + 1), minor).empty();
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
      ->transform(Number<uint32_t>())
      ->type_name("N");
}

void DefineFirmwareOptions(CLI::App& app, SwitchOptions& o) {
  FirmwareOptions& firmware = o.config.firmware;
  app.add_option("--identity-name", o.identityName, "Name the firmware reports");
  IdentityOverrides& identity = o.config.identity;
  app.add_option("--identity-version", identity.version,
                 "Version the firmware reports (2.60, 2.60.05b or 0x023C0000)")
      ->transform(tool_options::Word("a version", ParseVersionWord))
      ->type_name("V");
  app.add_option("--identity-family", identity.family,
                 "Family the firmware reports (a letter or its character code)")
      ->transform(tool_options::Word("a family letter or number", ParseFamily))
      ->type_name("F");
  app.add_option("--identity-model", identity.model, "Model index the firmware reports")
      ->transform(Number<uint32_t>())
      ->type_name("N");
  app.add_option("--identity-hex", identity.hex,
                 "The hexadecimal field of the identity reply (a number)")
      ->transform(Number<uint32_t>())
      ->type_name("N");
  app.add_flag("--identity-no-family", o.config.identity.withoutFamily,
               "End the identity reply after the version");
  app.add_flag("--identity-ack", firmware.ackIdentity, "Send \"^+$\" ahead of the identity reply");
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
      ->transform(Number<uint32_t>())
      ->capture_default_str();
  app.add_option("--dsp-banks", firmware.dspBanks, "DSP banks the firmware reloads")
      ->transform(Number<uint32_t>())
      ->capture_default_str();
  app.add_option("--dsp-step-ms", firmware.stepMs, "Time per DSP progress step (ms)")
      ->transform(Number<uint32_t>())
      ->capture_default_str();
  app.add_option("--reset-ms", o.config.resetMs,
                 "Time the chip takes to reset into its boot ROM on \"^BOOTL$\"; bytes that "
                 "arrive meanwhile are lost (ms)")
      ->transform(Number<uint32_t>())
      ->capture_default_str();
  app.add_flag("--no-progress", o.noProgress, "The firmware reports neither progress nor ready");
  app.add_flag("--no-ready", o.noReady, "The firmware reports progress but never ready");
  app.add_flag("--progress-forever", firmware.progressForever,
               "The firmware reports progress without end");
}

void DefineFaultOptions(CLI::App& app, SwitchOptions& o) {
  app.add_option("--fault-compare", o.compareAddresses,
                 "M over a range holding this address answers 10 and its offset")
      ->transform(Number<uint32_t>())
      ->type_name("ADDR");
  app.add_option("--fault-resend", o.resend,
                 "Answer W checksums with RESEND: once, always, or the K-th");
  app.add_option("--fault-refuse", o.refusals,
                 "Refuse a command: LETTER[:K][=CODE] (the K-th use; every use without K)");
  app.add_option("--fault-silence-after-w-bytes", o.silenceAfterWBytes,
                 "Lose power once this many bytes of W data have arrived")
      ->transform(Number<uint64_t>());
  app.add_option("--fault-silence-after-copy", o.silenceAfterCopy,
                 "Lose power at the end of the K-th C, before its status")
      ->transform(Number<uint32_t>());
  // The noise is made afresh ahead of every line: a bound that no line buffer reaches.
  app.add_option("--noise", o.noiseBytes,
                 "Send this many noise bytes ahead of every line and at power-up")
      ->transform(Number<uint32_t>())
      ->check(CLI::Range(0u, 65536u));
  app.add_option("--fault-slow-ms", o.slowMs, "Delay every status and reply line by this much (ms)")
      ->transform(Number<uint32_t>());
  app.add_option("--interrupt", o.interrupt,
                 "Interrupt the switch at point N: N:power, N:hold (until SIGUSR1) or N:reply");
  app.add_option("--flood", o.flood,
                 "Stream empty lines without end from WHERE[:RATE]: probe, identity (the "
                 "firmware's answers), read (the boot ROM's R data) or sync (after the boot "
                 "ROM's synchronisation); RATE in bytes per second, or as fast as the host "
                 "takes them");
}

void DefineBootRomOptions(CLI::App& app, SwitchOptions& o) {
  BootRomOptions& rom = o.config.rom;
  app.add_option_function<std::string>(
         "--boot-version",
         [&rom](const std::string& text) {
           ParseBootVersion(text, &rom.bootCodeMajor, &rom.bootCodeMinor);
         },
         "Boot code version that K reports (default 1.7)")
      ->check(CLI::Validator(
          [](std::string& text) {
            uint32_t major = 0, minor = 0;
            return ParseBootVersion(text, &major, &minor) ? std::string()
                                                          : text + " is not MAJOR.MINOR";
          },
          ""))
      ->type_name("MAJOR.MINOR");
  app.add_option("--serial-number", o.serialNumber, "Four words that N reports")
      ->transform(Number<uint32_t>())
      ->expected(4);
}

bool ConvertIdentity(const SwitchOptions& o, IdentityOverrides* identity, std::string* error) {
  if (!o.identityName.empty()) {
    if (o.identityName.size() > 31) return Fail(error, "--identity-name: at most 31 characters");
    identity->name = o.identityName;
  }
  return true;
}

void ConvertBootRom(const SwitchOptions& o, BootRomOptions* rom) {
  for (size_t i = 0; i < o.serialNumber.size() && i < 4; ++i) rom->serial[i] = o.serialNumber[i];
}

bool ConvertFaults(const SwitchOptions& o, Faults* faults, std::string* error) {
  for (const auto& text : o.refusals) {
    if (!faults->AddRefusal(text, error)) return false;
  }
  if (!o.resend.empty() && !faults->SetResend(o.resend, error)) return false;
  if (!o.interrupt.empty() && !faults->SetInterrupt(o.interrupt, error)) return false;
  if (!o.flood.empty() && !faults->SetFlood(o.flood, error)) return false;
  for (uint32_t address : o.compareAddresses) faults->AddCompareFault(address);
  faults->silenceAfterWBytes = o.silenceAfterWBytes;
  faults->silenceAfterCopy = o.silenceAfterCopy;
  faults->noiseBytes = o.noiseBytes;
  faults->slowMs = o.slowMs;
  return true;
}

void DefineOptions(CLI::App& app, SwitchOptions& options) {
  DefineLineOptions(app, options);
  DefineFlashOptions(app, options);
  DefineFirmwareOptions(app, options);
  DefineFaultOptions(app, options);
  DefineBootRomOptions(app, options);
}

}  // namespace

bool ConvertOptions(SwitchOptions& o, Faults* faults, std::string* error) {
  o.config.firmware.progress = !o.noProgress;
  o.config.firmware.ready = !o.noReady && !o.config.firmware.progressForever;
  if (o.checkLength) {
    o.flash.setCheckLength = true;
    o.flash.checkLength = *o.checkLength;
  }
  if (!o.tableFault.empty()) ParseTableFault(o.tableFault, &o.flash.tableFault);
  ConvertBootRom(o, &o.config.rom);
  return ConvertIdentity(o, &o.config.identity, error) && ConvertFaults(o, faults, error);
}

int ParseSwitchOptions(int argc, char** argv, SwitchOptions& options) {
  CLI::App app{"vswitch: a virtual matrix switch on a pseudo-terminal"};
  DefineOptions(app, options);
  // CLI11's own statuses: 0 after --help, its error code for a wrong command line.
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return -1;
}
