// How fast does an update go, and where does the time go?
//
// Runs full updates of the carried image through the virtual switch with pacing on
// (bytes at the real 115200 and 19200 baud, erase and copy at data-sheet times), times
// each phase from the switch's time-stamped wire log, and sets every phase beside its
// floor: the time the bytes of that phase need on a real line (10 bits a byte) plus the
// switch's own erase and copy time. The same payload is then programmed and verified by
// Debian's lpc21isp into the same paced switch, as a peer. Prints medians and spreads.
//
// One more run of each is made under strace, to count from outside the program what it
// asks of the port: writes, drains (tcdrain), readiness waits (poll) and queue polls
// (FIONREAD). With those counts and the reply turns of the wire log it projects the time
// of an update through a USB serial adapter, where every drain and every reply costs
// about a USB frame, or the adapter's latency timer.
//
//   update_bench [--runs N] [--no-windows] [--no-lpc21isp] [--reply-latency-ms N]
//                [--realdriver DIR]
//
// --reply-latency-ms has the switch hold each status and reply line N ms, as a USB
// adapter's latency timer holds a short reply: the adapter model, live.
//
// --realdriver runs the native build once more per run inside a QEMU guest, through an
// FTDI adapter under the guest kernel's own ftdi_sio driver (testing/guest_machine.h).
//
// The Windows build is measured too when TQUPD_WINDOWS_BIN and TQUPD_WINE_RUN name it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "image/image_format.h"
#include "image/image_table.h"
#include "image_pack.h"
#include "number_options.h"
#include "testing/guest_machine.h"
#include "testing/program_run.h"
#include "testing/vswitch_process.h"
#include "tool_main.h"

namespace {

using Clock = std::chrono::steady_clock;

// Options for every switch of the benchmark: paced, time-stamped, and any reply latency.
std::vector<std::string> switchOptions = {"--pace", "--log-times"};

std::vector<std::string> WithSwitchOptions(std::vector<std::string> options) {
  options.insert(options.end(), switchOptions.begin(), switchOptions.end());
  return options;
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A processor time that getrusage reports, in ms.
double Ms(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
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
  // Times the host stopped sending and waited for the switch: each one a reply that a
  // USB adapter holds for a USB frame or its latency timer.
  double replyTurns = 0;
  bool ok = false;
};

// What a program asked of the port, counted by strace from outside it.
struct PortCalls {
  long writes = 0;
  long drains = 0;
  long waits = 0;
  long queuePolls = 0;
  bool ok = false;
};

// The command line that runs command under strace, writing the trace to path.
std::vector<std::string> Traced(const std::vector<std::string>& command, const std::string& path) {
  std::vector<std::string> traced = {"strace",
                                     "-f",
                                     "-qq",
                                     "-o",
                                     path,
                                     "-e",
                                     "trace=open,openat,write,ioctl,poll,ppoll,select,pselect6"};
  traced.insert(traced.end(), command.begin(), command.end());
  return traced;
}

// Counts the calls on the port's descriptors: those opened on a path that ends in one of
// portNames (the COM link, or the pseudo-terminal it points at), and those that were
// drained or asked for their queue (only a tty is; under Wine the port's descriptor
// comes from the Wine server, not from an open of the program's own).
PortCalls CountPortCalls(const std::string& tracePath, const std::vector<std::string>& portNames) {
  struct Call {
    std::string pid, name, fd, text;
  };
  std::vector<Call> trace;
  std::ifstream in(tracePath);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    Call c;
    words >> c.pid;
    std::getline(words, c.text);
    c.text.erase(0, c.text.find_first_not_of(' '));
    size_t open = c.text.find('(');
    if (open == std::string::npos) continue;
    c.name = c.text.substr(0, open);
    if (c.name == "poll" || c.name == "ppoll") {
      size_t at = c.text.find("fd=");
      if (at != std::string::npos)
        c.fd = c.text.substr(at + 3, c.text.find_first_of(",}", at) - at - 3);
    } else if (c.name == "open" || c.name == "openat") {
      size_t result = c.text.rfind("= ");
      if (result != std::string::npos)
        c.fd = c.text.substr(result + 2, c.text.find(' ', result + 2) - result - 2);
    } else {
      c.fd = c.text.substr(open + 1, c.text.find_first_of(",)", open) - open - 1);
    }
    trace.push_back(c);
  }
  std::vector<std::pair<std::string, std::string>> portFds;  // (pid, fd)
  for (const Call& c : trace) {
    bool port = c.name == "ioctl" && (c.text.find("TCSBRK") != std::string::npos ||
                                      c.text.find("FIONREAD") != std::string::npos);
    for (const std::string& n : portNames) {
      port = port || ((c.name == "open" || c.name == "openat") && !n.empty() &&
                      c.text.find(n + "\"") != std::string::npos);
    }
    if (port) portFds.push_back({c.pid, c.fd});
  }
  PortCalls calls;
  for (const Call& c : trace) {
    if (std::find(portFds.begin(), portFds.end(), std::make_pair(c.pid, c.fd)) == portFds.end()) {
      continue;
    }
    if (c.name == "write") ++calls.writes;
    if (c.name == "ioctl" && c.text.find("TCSBRK") != std::string::npos) ++calls.drains;
    if (c.name == "ioctl" && c.text.find("FIONREAD") != std::string::npos) ++calls.queuePolls;
    if (c.name == "poll" || c.name == "ppoll" || c.name == "select" || c.name == "pselect6") {
      ++calls.waits;
    }
  }
  calls.ok = !portFds.empty();
  return calls;
}

// Turns of the conversation: host records followed by a switch record.
double ReplyTurns(const std::vector<Record>& records) {
  double turns = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].dir == '<' && records[i - 1].dir == '>') ++turns;
  }
  return turns;
}

const char* const kPhases[] = {"scan and detection",  "boot-loader entry",       "erase",
                               "firmware blocks",     "parameter table",         "first block",
                               "start and read-back", "update (entry to start)", "whole run"};

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

// The phases of a completed update from the switch's time-stamped wire log: the scan
// and detection until the prompt (promptMs, logAtPrompt records), then each step of the
// update; wholeMs is the run until the key prompt.
void AddPhases(const VirtualSwitchProcess& sw, size_t logAtPrompt, double promptMs, double wholeMs,
               Figures* f) {
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
  size_t started = Find(all, readBack,
                        [](const Record& r) { return r.dir == '#' && r.text == "start firmware"; });
  if (started >= all.size() || entry >= all.size()) {
    fprintf(stderr, "the wire log lacks the update's landmarks\n");
    return;
  }
  auto at = [&](size_t i) { return all[std::min(i, all.size() - 1)].ms; };
  auto phase = [&](const char* name, size_t from, size_t to) {
    f->wallMs[name] = at(to) - at(from);
    f->floorMs[name] = FloorMs(all, from, to);
  };
  f->wallMs["scan and detection"] = promptMs;
  f->floorMs["scan and detection"] = FloorMs(all, 0, answered);
  phase("boot-loader entry", entry, erase);
  phase("erase", erase, eraseDone);
  phase("firmware blocks", eraseDone, table);
  phase("parameter table", table, firstBlock);
  phase("first block", firstBlock, readBack);
  phase("start and read-back", readBack, started);
  phase("update (entry to start)", entry, started);
  f->wallMs["whole run"] = wholeMs;
  f->floorMs["whole run"] = StatsFloorMs(ReadStats(sw.ReadStats()));
  f->replyTurns = ReplyTurns(all);
  f->ok = true;
}

// One full update by tqupd (native, or the Windows build under Wine); under strace when
// calls is given.
Figures RunTqupd(Build build, const std::string& oldImage, PortCalls* calls = nullptr) {
  Figures f;
  VirtualSwitchProcess sw(WithSwitchOptions({"--install", oldImage}), 3);
  if (!sw.Start()) {
    fprintf(stderr, "vswitch: %s\n", sw.Error().c_str());
    return f;
  }
  std::string port = "3";
  std::string wineLink;
  if (build == Build::kWindows) port = std::to_string(ClaimWineComPort(sw.LinkPath(), &wineLink));
  std::string tracePath = sw.Directory() + "/trace.txt";
  std::vector<std::string> command = TqupdCommand(build, {port});
  if (calls) command = Traced(command, tracePath);
  auto start = Clock::now();
  ConsoleSession session(command, {"TQUPD_PORTS=" + sw.PortsDirectory()}, build == Build::kWindows);
  bool prompted = session.WaitFor("(Y,N) ", 120000);
  double promptMs = MsSince(start);
  size_t logAtPrompt = sw.LogLines().size();
  session.Type("y");
  bool done = prompted && session.WaitFor("Press any key to exit...", 600000);
  double wholeMs = MsSince(start);
  session.Type(" ");
  session.WaitExit(30000);
  const rusage& usage = session.Usage();
  f.cpuUserMs = Ms(usage.ru_utime);
  f.cpuSystemMs = Ms(usage.ru_stime);
  if (!wineLink.empty()) unlink(wineLink.c_str());
  if (calls) *calls = CountPortCalls(tracePath, {sw.LinkPath(), wineLink, sw.SlavePath()});
  sw.Stop();
  if (!done || session.Output().find("100% complete") == std::string::npos) {
    fprintf(stderr, "update did not complete:\n%s\n", session.Output().c_str());
    return f;
  }

  AddPhases(sw, logAtPrompt, promptMs, wholeMs, &f);
  return f;
}

// One full update by the native tqupd inside the guest, through its real driver (the
// FTDI adapter under ftdi_sio). The processor time is the guest's, not measured here.
Figures RunTqupdInGuest(GuestMachine& guest, const std::string& oldImage) {
  Figures f;
  VirtualSwitchProcess sw(WithSwitchOptions({"--install", oldImage}), 3);
  if (!sw.Start() || !guest.Connect(sw.SlavePath())) {
    fprintf(stderr, "guest: %s %s\n", sw.Error().c_str(), guest.Error().c_str());
    return f;
  }
  auto start = Clock::now();
  if (!guest.StartOnConsole("tqupd " + std::to_string(guest.ComNumber()))) return f;
  bool prompted = guest.WaitFor("(Y,N) ", 120000);
  double promptMs = MsSince(start);
  size_t logAtPrompt = sw.LogLines().size();
  guest.Type("y");
  bool done = prompted && guest.WaitFor("Press any key to exit...", 600000);
  double wholeMs = MsSince(start);
  guest.Type(" ");
  guest.ConsoleStatus(30000);
  sw.Stop();
  if (!done || guest.Output().find("100% complete") == std::string::npos) {
    fprintf(stderr, "update in the guest did not complete:\n%s\n", guest.Output().c_str());
    return f;
  }
  AddPhases(sw, logAtPrompt, promptMs, wholeMs, &f);
  return f;
}

// The same payload programmed and verified by lpc21isp; under strace when calls is given.
Figures RunLpc21isp(const std::string& payload, PortCalls* calls = nullptr) {
  Figures f;
  VirtualSwitchProcess sw(WithSwitchOptions({"--erase", "--zero-alias"}), 3);
  if (!sw.Start()) return f;
  std::string tracePath = sw.Directory() + "/trace.txt";
  std::vector<std::string> command = {"lpc21isp", "-bin",        "-verify", "-donotstart",
                                      payload,    sw.LinkPath(), "115200",  "12000"};
  if (calls) command = Traced(command, tracePath);
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (std::string& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  double wallMs = MsSince(start);
  if (calls) *calls = CountPortCalls(tracePath, {sw.LinkPath(), sw.SlavePath()});
  f.replyTurns = ReplyTurns(ParseLog(sw.LogLines()));
  sw.Stop();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "lpc21isp failed (status %d)\n", status);
    return f;
  }
  f.wallMs["whole run"] = wallMs;
  f.floorMs["whole run"] = StatsFloorMs(ReadStats(sw.ReadStats()));
  f.cpuUserMs = Ms(usage.ru_utime);
  f.cpuSystemMs = Ms(usage.ru_stime);
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
    if (!f.ok || f.cpuUserMs + f.cpuSystemMs == 0) continue;
    user.push_back(f.cpuUserMs);
    system.push_back(f.cpuSystemMs);
  }
  if (!user.empty()) {
    Spread u = SpreadOf(user), s = SpreadOf(system);
    printf("| %-9s | %-24s | %9.0f | %7.0f-%-7.0f | %9s | %5s |\n", label, "CPU user", u.median,
           u.low, u.high, "", "");
    printf("| %-9s | %-24s | %9.0f | %7.0f-%-7.0f | %9s | %5s |\n", label, "CPU system", s.median,
           s.low, s.high, "", "");
  }
}

double MedianOf(const std::vector<Figures>& runs, double (*field)(const Figures&)) {
  std::vector<double> values;
  for (const Figures& f : runs) {
    if (f.ok) values.push_back(field(f));
  }
  return SpreadOf(values).median;
}

double WholeRun(const Figures& f) {
  return f.wallMs.count("whole run") ? f.wallMs.at("whole run") : 0;
}
double CpuMs(const Figures& f) { return f.cpuUserMs + f.cpuSystemMs; }
double Turns(const Figures& f) { return f.replyTurns; }

void PrintTraffic(const char* label, const std::vector<Figures>& runs, const PortCalls& calls) {
  double wall = MedianOf(runs, WholeRun);
  double cpu = MedianOf(runs, CpuMs);
  if (calls.ok) {
    printf("| %-9s | %11ld | %6ld | %15ld | %11ld | %11.0f | %14.1f%% |\n", label, calls.writes,
           calls.drains, calls.waits, calls.queuePolls, MedianOf(runs, Turns),
           wall > 0 ? 100.0 * cpu / wall : 0.0);
  } else {
    printf("| %-9s | %11s | %6s | %15s | %11s | %11.0f | %14.1f%% |\n", label, "n/a", "n/a", "n/a",
           "n/a", MedianOf(runs, Turns), wall > 0 ? 100.0 * cpu / wall : 0.0);
  }
}

// The update through a USB adapter: the paced wall time, plus 1 ms for every drain (a USB
// frame), plus a cost per reply turn: 1 ms with low latency, 16 ms with the common
// adapters' default latency timer.
void PrintAdapterModel(const char* label, const std::vector<Figures>& runs,
                       const PortCalls& calls) {
  if (!calls.ok) return;
  double wall = MedianOf(runs, WholeRun);
  double turns = MedianOf(runs, Turns);
  double drainsMs = static_cast<double>(calls.drains);
  printf("| %-9s | %9.0f | %9.0f | %9.0f | %12.0f | %12.0f |\n", label, wall, drainsMs, turns,
         wall + drainsMs + turns * 1.0, wall + drainsMs + turns * 16.0);
}

}  // namespace

int Run(int argc, char** argv) {
  CLI::App app{"update_bench: times full updates through the paced virtual switch"};
  int runs = 3;
  bool noWindows = false, noPeer = false;
  uint32_t replyLatencyMs = 0;
  app.add_option("--runs", runs, "Timed runs of each program")
      ->transform(tool_options::Decimal<int>())
      ->check(CLI::Range(1, 1000))
      ->capture_default_str()
      ->type_name("N");
  app.add_flag("--no-windows", noWindows,
               "Leave out the Windows build (measured when TQUPD_WINDOWS_BIN and "
               "TQUPD_WINE_RUN name it)");
  app.add_flag("--no-lpc21isp", noPeer, "Leave out the peer, lpc21isp");
  CLI::Option* latency =
      app.add_option("--reply-latency-ms", replyLatencyMs,
                     "Have the switch hold each status and reply line this long, as a USB "
                     "adapter's latency timer holds a short reply")
          ->transform(tool_options::Decimal<uint32_t>())
          ->check(CLI::Range(0u, 60000u))
          ->type_name("N");
  std::string guestDirectory;
  app.add_option("--realdriver", guestDirectory,
                 "Also run the native build inside the QEMU guest made in this folder by "
                 "scripts/realdriver-guest.sh, through an FTDI adapter under the guest's "
                 "ftdi_sio driver (bench/update --realdriver makes it)")
      ->type_name("DIR");
  int exitStatus = tool_options::Parse(app, argc, argv);
  if (exitStatus >= 0) return exitStatus;
  bool windows = !noWindows && getenv("TQUPD_WINDOWS_BIN") && getenv("TQUPD_WINE_RUN");
  bool peer = !noPeer;
  if (latency->count() > 0) {
    switchOptions.push_back("--fault-slow-ms");
    switchOptions.push_back(std::to_string(replyLatencyMs));
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

  std::unique_ptr<GuestMachine> guest;
  if (!guestDirectory.empty()) {
    guest = std::make_unique<GuestMachine>(guestDirectory, GuestMachine::Adapter::kFtdi);
    if (guest->Boot(180000) != GuestMachine::BootResult::kUp) {
      fprintf(stderr, "the guest did not boot: %s\n", guest->Error().c_str());
      return 1;
    }
    fprintf(stderr, "the guest booted in %.1f s\n", guest->BootSeconds());
  }

  std::vector<Figures> native, win, lpc, ftdi;
  for (int run = 0; run < runs; ++run) {
    fprintf(stderr, "run %d of %d...\n", run + 1, runs);
    native.push_back(RunTqupd(Build::kNative, oldPath));
    if (windows) win.push_back(RunTqupd(Build::kWindows, oldPath));
    if (peer) lpc.push_back(RunLpc21isp(payloadPath));
    if (guest) ftdi.push_back(RunTqupdInGuest(*guest, oldPath));
  }
  // The counting runs, apart from the timed ones: strace slows every call a little.
  fprintf(stderr, "counting runs...\n");
  PortCalls nativeCalls, winCalls, lpcCalls;
  RunTqupd(Build::kNative, oldPath, &nativeCalls);
  if (windows) RunTqupd(Build::kWindows, oldPath, &winCalls);
  if (peer) RunLpc21isp(payloadPath, &lpcCalls);
  std::filesystem::remove_all(folder);

  printf("\nFull update of the carried image (%u bytes of firmware, %u of table), paced "
         "virtual switch, %d runs\n\n",
         header->firmwareLength, header->tableLength, runs);
  printf("| build     | phase                    | median ms | min-max ms      | floor ms  | ratio "
         "|\n");
  printf("|-----------|--------------------------|-----------|-----------------|-----------|-------"
         "|\n");
  std::vector<std::string> phases(std::begin(kPhases), std::end(kPhases));
  PrintRows("native", native, phases);
  if (windows) PrintRows("windows", win, phases);
  if (guest) PrintRows("ftdi_sio", ftdi, phases);
  if (peer) PrintRows("lpc21isp", lpc, {"whole run"});
  printf("\nfloor: the bytes of the busier direction at 10 bits a byte at the rate they "
         "crossed, plus the switch's erase (100 ms) and copy (1 ms per 512 bytes) time.\n"
         "lpc21isp's whole run is program and verify, without start; it keeps the boot ROM's "
         "echo on, so its traffic back equals its traffic out.\n"
         "CPU: the utility's own process (under Wine: the Windows process, not the Wine "
         "server).\n");
  if (guest) {
    printf("ftdi_sio: the native build in a QEMU guest (TCG), its port an emulated FTDI "
           "adapter under the guest kernel's ftdi_sio, the switch on its far end; the scan "
           "and the whole run include starting tqupd in the guest.\n");
  }
  printf("\nPort traffic of one full update, counted by strace from outside the program\n\n");
  printf("| build     | port writes | drains | readiness waits | queue polls | reply turns | CPU "
         "of wall time |\n");
  printf("|-----------|-------------|--------|-----------------|-------------|-------------|-------"
         "----------|\n");
  PrintTraffic("native", native, nativeCalls);
  if (windows) PrintTraffic("windows", win, winCalls);
  if (peer) PrintTraffic("lpc21isp", lpc, lpcCalls);
  printf("\nUSB adapter model: the paced run, plus 1 ms per drain and 1 ms (low latency) or\n"
         "16 ms (default latency timer) per reply turn\n\n");
  printf("| build     | paced ms  | drains ms | turns     | low latency  | default 16ms |\n");
  printf("|-----------|-----------|-----------|-----------|--------------|--------------|\n");
  PrintAdapterModel("native", native, nativeCalls);
  if (windows) PrintAdapterModel("windows", win, winCalls);
  if (peer) PrintAdapterModel("lpc21isp", lpc, lpcCalls);
  bool allOk = true;
  for (const auto* set : {&native, &win, &lpc, &ftdi}) {
    for (const Figures& f : *set) allOk = allOk && f.ok;
  }
  return allOk ? 0 : 1;
}

int main(int argc, char** argv) {
  return tool_options::RunTool("update_bench", [&] { return Run(argc, argv); });
}
