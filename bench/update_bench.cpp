// How fast does an update go, and where does the time go?
//
// Runs full updates of the carried image through the virtual switch with pacing on
// (bytes at the real 115200 and 19200 baud, erase and copy at data-sheet times), times
// each phase from the switch's time-stamped wire log, and sets every phase beside its
// floor: the time the bytes of that phase need on a real line (10 bits a byte) plus the
// switch's own erase and copy time. The same payload is then programmed and verified by
// Debian's lpc21isp into the same paced switch, as a peer. Prints medians and spreads.
//
//   update_bench [--runs N] [--no-windows] [--no-lpc21isp]
//
// The Windows build is measured too when TQUPD_WINDOWS_BIN and TQUPD_WINE_RUN name it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/image_table.h"
#include "image_pack.h"
#include "support/program_run.h"
#include "support/vswitch_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The switch's flash timings with --pace (see the virtual switch's README): these count
// toward the floor, since no host can make the flash faster.
constexpr double kEraseMs = 100.0;
constexpr double kCopyMsPer512 = 1.0;

// One record of the time-stamped wire log.
struct Record {
  double ms;
  char dir;
  uint32_t baud;
  std::string channel;
  std::string text;
};

std::vector<Record> ParseLog(const std::vector<std::string>& lines) {
  std::vector<Record> records;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] != '@') continue;
    std::istringstream in(line.substr(1));
    Record r;
    in >> r.ms >> r.dir >> r.baud >> r.channel;
    std::getline(in, r.text);
    if (!r.text.empty() && r.text[0] == ' ') r.text.erase(0, 1);
    records.push_back(r);
  }
  return records;
}

// The floor of the records [from, to): the line time of the busier direction (a UART
// carries both at once), plus the switch's erase and copy time.
double FloorMs(const std::vector<Record>& records, size_t from, size_t to) {
  double ms = 0, inMs = 0, outMs = 0;
  for (size_t i = from; i < to && i < records.size(); ++i) {
    const Record& r = records[i];
    if ((r.dir == '>' || r.dir == '<') && r.baud > 0) {
      // ISP lines and data lines end in CR LF; firmware frames carry their own "$".
      size_t bytes = r.text.size() + (r.channel == "fw" ? 0 : 2);
      (r.dir == '>' ? inMs : outMs) += static_cast<double>(bytes) * 10.0 * 1000.0 / r.baud;
    } else if (r.dir == '#' && r.text.rfind("erase ", 0) == 0) {
      ms += kEraseMs;
    } else if (r.dir == '#' && r.text.rfind("copy ", 0) == 0) {
      unsigned address = 0, count = 0;
      if (sscanf(r.text.c_str(), "copy %u %u", &address, &count) == 2) {
        ms += kCopyMsPer512 * count / 512.0;
      }
    }
  }
  return ms + std::max(inMs, outMs);
}

// Index of the first record at or after from that matches; records.size() if none.
template <typename Match>
size_t Find(const std::vector<Record>& records, size_t from, Match match) {
  for (size_t i = from; i < records.size(); ++i) {
    if (match(records[i])) return i;
  }
  return records.size();
}

bool HostIsp(const Record& r, const char* prefix) {
  return r.dir == '>' && r.channel == "isp" && r.text.rfind(prefix, 0) == 0;
}

struct Figures {
  std::map<std::string, double> wallMs;
  std::map<std::string, double> floorMs;
  double cpuUserMs = 0;
  double cpuSystemMs = 0;
  bool ok = false;
};

const char* const kPhases[] = {"scan and detection", "boot-loader entry", "erase",
                               "firmware blocks",    "parameter table",   "first block",
                               "start and read-back", "update (entry to start)",
                               "whole run"};

std::map<std::string, uint64_t> ReadStats(const std::string& text) {
  std::map<std::string, uint64_t> stats;
  std::istringstream in(text);
  std::string key;
  uint64_t value;
  while (in >> key >> value) stats[key] = value;
  return stats;
}

double StatsFloorMs(const std::map<std::string, uint64_t>& stats) {
  auto get = [&](const char* key) {
    auto it = stats.find(key);
    return it == stats.end() ? 0.0 : static_cast<double>(it->second);
  };
  return std::max(get("wire_us_in"), get("wire_us_out")) / 1000.0 + get("erase_ms") +
         get("copy_ms");
}

// One full update by tqupd (native, or the Windows build under Wine).
Figures RunTqupd(Build build, const std::string& oldImage) {
  Figures f;
  VirtualSwitchProcess sw({"--install", oldImage, "--pace", "--log-times"}, 3);
  if (!sw.Start()) {
    fprintf(stderr, "vswitch: %s\n", sw.Error().c_str());
    return f;
  }
  std::string port = "3";
  std::string wineLink;
  if (build == Build::kWindows) port = std::to_string(ClaimWineComPort(sw.LinkPath(), &wineLink));
  auto start = Clock::now();
  ConsoleSession session(TqupdCommand(build, {port}), {"TQUPD_PORTS=" + sw.PortsDirectory()},
                         build == Build::kWindows);
  bool prompted = session.WaitFor("(Y,N) ", 120000);
  double promptMs = MsSince(start);
  size_t logAtPrompt = sw.LogLines().size();
  session.Type("y");
  bool done = prompted && session.WaitFor("Press any key to exit...", 600000);
  double wholeMs = MsSince(start);
  session.Type(" ");
  session.WaitExit(30000);
  const rusage& usage = session.Usage();
  f.cpuUserMs = usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0;
  f.cpuSystemMs = usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0;
  if (!wineLink.empty()) unlink(wineLink.c_str());
  sw.Stop();
  if (!done || session.Output().find("100% complete") == std::string::npos) {
    fprintf(stderr, "update did not complete:\n%s\n", session.Output().c_str());
    return f;
  }

  std::vector<std::string> lines = sw.LogLines();
  std::vector<Record> all = ParseLog(std::vector<std::string>(lines.begin(), lines.end()));
  // Records before the prompt was answered belong to the scan and detection.
  size_t answered = std::min(logAtPrompt, all.size());
  size_t entry = answered;
  size_t unlock = Find(all, entry, [](const Record& r) { return HostIsp(r, "U "); });
  size_t eraseCommand = Find(all, unlock, [](const Record& r) { return HostIsp(r, "E "); });
  size_t erase = Find(all, unlock, [](const Record& r) { return HostIsp(r, "P "); });
  size_t eraseDone = Find(all, eraseCommand + 1, [](const Record& r) { return r.dir == '<'; }) + 1;
  size_t tableErase = Find(all, eraseDone, [](const Record& r) { return HostIsp(r, "E "); });
  size_t table = tableErase > 0 ? tableErase - 1 : tableErase;  // its prepare
  size_t tableCompare = Find(all, tableErase, [](const Record& r) { return HostIsp(r, "M "); });
  size_t firstBlock = Find(all, tableCompare, [](const Record& r) { return HostIsp(r, "W "); });
  size_t readBack = Find(all, firstBlock, [](const Record& r) { return HostIsp(r, "R "); });
  size_t started = Find(all, readBack, [](const Record& r) {
    return r.dir == '#' && r.text == "start firmware";
  });
  if (started >= all.size() || entry >= all.size()) {
    fprintf(stderr, "the wire log lacks the update's landmarks\n");
    return f;
  }
  auto at = [&](size_t i) { return all[std::min(i, all.size() - 1)].ms; };
  auto phase = [&](const char* name, size_t from, size_t to) {
    f.wallMs[name] = at(to) - at(from);
    f.floorMs[name] = FloorMs(all, from, to);
  };
  f.wallMs["scan and detection"] = promptMs;
  f.floorMs["scan and detection"] = FloorMs(all, 0, answered);
  phase("boot-loader entry", entry, erase);
  phase("erase", erase, eraseDone);
  phase("firmware blocks", eraseDone, table);
  phase("parameter table", table, firstBlock);
  phase("first block", firstBlock, readBack);
  phase("start and read-back", readBack, started);
  phase("update (entry to start)", entry, started);
  f.wallMs["whole run"] = wholeMs;
  f.floorMs["whole run"] = StatsFloorMs(ReadStats(sw.ReadStats()));
  f.ok = true;
  return f;
}

// The same payload programmed and verified by lpc21isp.
Figures RunLpc21isp(const std::string& payload) {
  Figures f;
  VirtualSwitchProcess sw({"--erase", "--zero-alias", "--pace", "--log-times"}, 3);
  if (!sw.Start()) return f;
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execlp("lpc21isp", "lpc21isp", "-bin", "-verify", "-donotstart", payload.c_str(),
           sw.LinkPath().c_str(), "115200", "12000", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  double wallMs = MsSince(start);
  sw.Stop();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "lpc21isp failed (status %d)\n", status);
    return f;
  }
  f.wallMs["whole run"] = wallMs;
  f.floorMs["whole run"] = StatsFloorMs(ReadStats(sw.ReadStats()));
  f.cpuUserMs = usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0;
  f.cpuSystemMs = usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0;
  f.ok = true;
  return f;
}

struct Spread {
  double median, low, high;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return {0, 0, 0};
  size_t n = values.size();
  double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

void PrintRows(const char* label, const std::vector<Figures>& runs,
               const std::vector<std::string>& phases) {
  for (const std::string& phase : phases) {
    std::vector<double> wall, floor;
    for (const Figures& f : runs) {
      if (!f.ok || !f.wallMs.count(phase)) continue;
      wall.push_back(f.wallMs.at(phase));
      floor.push_back(f.floorMs.at(phase));
    }
    if (wall.empty()) continue;
    Spread w = SpreadOf(wall);
    Spread fl = SpreadOf(floor);
    printf("| %-9s | %-24s | %9.0f | %7.0f-%-7.0f | %9.0f | %5.2f |\n", label, phase.c_str(),
           w.median, w.low, w.high, fl.median, fl.median > 0 ? w.median / fl.median : 0.0);
  }
  std::vector<double> user, system;
  for (const Figures& f : runs) {
    if (!f.ok) continue;
    user.push_back(f.cpuUserMs);
    system.push_back(f.cpuSystemMs);
  }
  if (!user.empty()) {
    Spread u = SpreadOf(user), s = SpreadOf(system);
    printf("| %-9s | %-24s | %9.0f | %7.0f-%-7.0f | %9s | %5s |\n", label, "CPU user", u.median,
           u.low, u.high, "", "");
    printf("| %-9s | %-24s | %9.0f | %7.0f-%-7.0f | %9s | %5s |\n", label, "CPU system",
           s.median, s.low, s.high, "", "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  bool windows = getenv("TQUPD_WINDOWS_BIN") && getenv("TQUPD_WINE_RUN");
  bool peer = true;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--runs") && i + 1 < argc) {
      runs = std::max(1, atoi(argv[++i]));
    } else if (!strcmp(argv[i], "--no-windows")) {
      windows = false;
    } else if (!strcmp(argv[i], "--no-lpc21isp")) {
      peer = false;
    } else {
      fprintf(stderr, "usage: update_bench [--runs N] [--no-windows] [--no-lpc21isp]\n");
      return 2;
    }
  }

  // The switch starts with an older firmware of the carried product.
  char pattern[] = "/tmp/tqupd-bench-XXXXXX";
  std::string folder = mkdtemp(pattern);
  PackOptions older;
  older.version = 0x02320000;
  std::string error;
  std::vector<uint8_t> oldImage =
      PackImage(SyntheticPayload(kSyntheticPayloadBytes, kSyntheticEntry, 1), older, &error);
  std::string oldPath = folder + "/old.bin";
  std::ofstream(oldPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(oldImage.data()),
             static_cast<std::streamsize>(oldImage.size()));
  // lpc21isp gets the carried payload exactly as tqupd writes it.
  const auto* header = reinterpret_cast<const ImageHeader*>(imageTable[0]);
  std::string payloadPath = folder + "/payload.bin";
  std::ofstream(payloadPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(imageTable[0] + header->firmwareOffset),
             header->firmwareLength);

  std::vector<Figures> native, win, lpc;
  for (int run = 0; run < runs; ++run) {
    fprintf(stderr, "run %d of %d...\n", run + 1, runs);
    native.push_back(RunTqupd(Build::kNative, oldPath));
    if (windows) win.push_back(RunTqupd(Build::kWindows, oldPath));
    if (peer) lpc.push_back(RunLpc21isp(payloadPath));
  }
  std::filesystem::remove_all(folder);

  printf("\nFull update of the carried image (%u bytes of firmware, %u of table), paced "
         "virtual switch, %d runs\n\n",
         header->firmwareLength, header->tableLength, runs);
  printf("| build     | phase                    | median ms | min-max ms      | floor ms  | ratio |\n");
  printf("|-----------|--------------------------|-----------|-----------------|-----------|-------|\n");
  std::vector<std::string> phases(std::begin(kPhases), std::end(kPhases));
  PrintRows("native", native, phases);
  if (windows) PrintRows("windows", win, phases);
  if (peer) PrintRows("lpc21isp", lpc, {"whole run"});
  printf("\nfloor: the bytes of the busier direction at 10 bits a byte at the rate they "
         "crossed, plus the switch's erase (100 ms) and copy (1 ms per 512 bytes) time.\n"
         "lpc21isp's whole run is program and verify, without start; it keeps the boot ROM's "
         "echo on, so its traffic back equals its traffic out.\n"
         "CPU: the utility's own process (under Wine: the Windows process, not the Wine "
         "server).\n");
  bool allOk = true;
  for (const auto* set : {&native, &win, &lpc}) {
    for (const Figures& f : *set) allOk = allOk && f.ok;
  }
  return allOk ? 0 : 1;
}
