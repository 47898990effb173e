// The interruption sweep: proof that an update cut short at any point can be finished by
// a later run of tqupd.
//
// A reference run updates a virtual switch that runs an older firmware of the carried
// product and lets the switch number every interruption point (each line it receives,
// half way through each W's data, each change of flash). Then every point is tried with
// every kind of interruption (power loss, the host dying while the switch keeps its
// state, a reply gone wrong), each on a fresh switch: the interrupted run must behave,
// and after a power cycle tqupd must update the switch with the flash byte-exact.
//
//   sweep [--windows] [--sample N] [--draw K] [--jobs J] [--results FILE] [--about TEXT]
//         [--case N:KIND]... [--limit-s S] [--verbose]
//
// --case runs chosen points only (N:power, N:hold or N:reply); --verbose shows what tqupd
// showed in every run of a point that failed.
// Prints a table by phase and kind, every point that was not recovered, and the line
// "sweep: N points, N recovered, N unrecoverable"; the exit status is 0 only when every
// point recovered. scripts/sweep.sh builds what it needs and runs it.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "image/image_format.h"
#include "image/image_table.h"
#include "interruption_points.h"
#include "number_options.h"
#include "point_run.h"
#include "testing/test_image.h"
#include "tool_main.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Arguments {
  bool windows = false;
  size_t sample = 0;  // 0: every point
  uint64_t draw = 1;
  unsigned jobs = 0;  // 0: the build's default
  std::string results;
  std::string about;
  std::vector<std::string> cases;  // N:KIND, instead of a sweep
  int limitSeconds = 0;            // 0: the build's default
  bool verbose = false;            // show what tqupd showed in the runs of points that failed
};

// A chosen case as the command line gives it: N:power, N:hold or N:reply, the switch
// numbering its points from 1.
bool ReadCase(const std::string& text, uint32_t* number, Kind* kind) {
  size_t colon = text.find(':');
  if (colon == std::string::npos ||
      !tool_options::ReadDecimal(text.substr(0, colon), number).empty() || *number == 0) {
    return false;
  }
  for (Kind k : {Kind::kPower, Kind::kHold, Kind::kReply}) {
    if (text.compare(colon + 1, std::string::npos, KindName(k)) == 0) {
      *kind = k;
      return true;
    }
  }
  return false;
}

void DefineOptions(CLI::App& app, Arguments& a) {
  using tool_options::Decimal;
  app.add_flag("--windows", a.windows,
               "Sweep the Windows build under Wine (TQUPD_WINDOWS_BIN and TQUPD_WINE_RUN "
               "name it)");
  app.add_option("--sample", a.sample,
                 "Try a stratified sample of N points instead of every point (0: every point)")
      ->transform(Decimal<size_t>())
      ->type_name("N");
  // The test suite's sample takes its draw from the environment, so that a run can be
  // repeated with another one.
  app.add_option("--draw", a.draw, "The draw that chooses the sample")
      ->transform(Decimal<uint64_t>())
      ->envname("TQUPD_SWEEP_DRAW")
      ->capture_default_str()
      ->type_name("K");
  app.add_option("--jobs", a.jobs, "Runs side by side (0: 8, or 3 under Wine)")
      ->transform(Decimal<unsigned>())
      ->check(CLI::Range(0u, 256u))
      ->type_name("J");
  app.add_option("--results", a.results, "Write the figures to this Markdown file")
      ->type_name("FILE");
  app.add_option("--about", a.about, "What the results file says the run was made with")
      ->type_name("TEXT");
  app.add_option("--case", a.cases,
                 "Run only point N with one kind of interruption: N:power, N:hold or N:reply "
                 "(repeatable)")
      ->check(CLI::Validator(
          [](std::string& text) {
            uint32_t number = 0;
            Kind kind = Kind::kPower;
            return ReadCase(text, &number, &kind)
                       ? std::string()
                       : text + " is not N:power, N:hold or N:reply (points from 1)";
          },
          ""))
      ->allow_extra_args(false)
      ->type_name("N:KIND");
  app.add_option("--limit-s", a.limitSeconds,
                 "Seconds a run of tqupd may take before it counts as hung (0: 60, or 120 "
                 "under Wine)")
      ->transform(Decimal<int>())
      ->check(CLI::Range(0, 86400))
      ->type_name("S");
  app.add_flag("--verbose", a.verbose,
               "Show what tqupd showed in every run of a point that failed");
}

struct Finished {
  SweepCase c;
  CaseResult result;
};

// Ctrl-C (or SIGTERM) stops the sweep: no new point starts, and the points under way,
// whose programs the signal reached too, are left out of the figures.
volatile sig_atomic_t stopRequested = 0;
void OnStop(int) { stopRequested = 1; }

std::vector<Finished> RunAll(const SweepSetup& setup, const std::vector<SweepCase>& cases,
                             unsigned jobs, bool verbose) {
  std::vector<Finished> done;
  std::atomic<size_t> next{0};
  std::mutex lock;
  auto worker = [&] {
    for (size_t i = next++; i < cases.size() && !stopRequested; i = next++) {
      Finished f{cases[i], RunCase(setup, cases[i])};
      std::lock_guard<std::mutex> hold(lock);
      if (stopRequested) return;
      done.push_back(f);
      if (!f.result.Recovered()) {
        fprintf(stderr, "point %u %s (%s): %s\n", f.c.point.number, KindName(f.c.kind),
                f.c.point.text.c_str(), f.result.outcome.c_str());
        for (const std::string& p : f.result.problems) fprintf(stderr, "  %s\n", p.c_str());
        if (verbose) fprintf(stderr, "%s\n", f.result.transcript.c_str());
      }
      if (done.size() % 50 == 0 || done.size() == cases.size()) {
        fprintf(stderr, "[%zu of %zu]\n", done.size(), cases.size());
      }
    }
  };
  std::vector<std::thread> threads;
  for (unsigned j = 0; j < jobs; ++j) threads.emplace_back(worker);
  for (std::thread& t : threads) t.join();
  // The report lists points in the order of the update.
  std::sort(done.begin(), done.end(), [](const Finished& a, const Finished& b) {
    return a.c.point.number != b.c.point.number ? a.c.point.number < b.c.point.number
                                                : a.c.kind < b.c.kind;
  });
  return done;
}

// The report: the table by phase and kind, the points that were not recovered, and the
// closing line.
std::string Report(const std::vector<Finished>& done) {
  size_t points[kPhaseCount + 1][kKindCount + 1] = {};
  size_t recovered[kPhaseCount + 1][kKindCount + 1] = {};
  for (const Finished& f : done) {
    int p = static_cast<int>(f.c.point.phase);
    int k = static_cast<int>(f.c.kind);
    for (int pp : {p, kPhaseCount}) {
      for (int kk : {k, kKindCount}) {
        ++points[pp][kk];
        if (f.result.Recovered()) ++recovered[pp][kk];
      }
    }
  }
  std::ostringstream out;
  char row[200];
  out << "Recovered of points, by phase and kind of interruption:\n\n";
  out << "| phase           | power        | hold         | reply        | all          |\n";
  out << "|-----------------|--------------|--------------|--------------|--------------|\n";
  for (int p = 0; p <= kPhaseCount; ++p) {
    snprintf(row, sizeof row, "| %-15s |",
             p == kPhaseCount ? "all" : PhaseName(static_cast<Phase>(p)));
    out << row;
    for (int k = 0; k <= kKindCount; ++k) {
      snprintf(row, sizeof row, " %4zu of %-4zu |", recovered[p][k], points[p][k]);
      out << row;
    }
    out << "\n";
  }
  size_t total = points[kPhaseCount][kKindCount];
  size_t good = recovered[kPhaseCount][kKindCount];
  out << "\n";
  if (good == total) {
    out << "Unrecoverable points: none.\n";
  } else {
    out << "Unrecoverable points:\n\n";
    for (const Finished& f : done) {
      if (f.result.Recovered()) continue;
      out << "- " << PhaseName(f.c.point.phase) << ", " << KindName(f.c.kind) << ", point "
          << f.c.point.number << " (" << f.c.point.where << " " << f.c.point.text
          << "): " << f.result.outcome;
      for (const std::string& p : f.result.problems) out << "; " << p;
      out << "\n";
    }
  }
  out << "\nsweep: " << total << " points, " << good << " recovered, " << total - good
      << " unrecoverable\n";
  return out.str();
}

std::string PhaseCounts(const std::vector<InterruptionPoint>& points) {
  std::string text;
  for (int p = 0; p < kPhaseCount; ++p) {
    size_t n = 0;
    for (const InterruptionPoint& point : points) n += static_cast<int>(point.phase) == p;
    text +=
        (p ? ", " : "") + std::string(PhaseName(static_cast<Phase>(p))) + " " + std::to_string(n);
  }
  return text;
}

// The point and kind of a chosen case (already checked by ReadCase on the command line).
bool FindCase(const std::string& text, const std::vector<InterruptionPoint>& points, SweepCase* c) {
  uint32_t number = 0;
  Kind kind = Kind::kPower;
  if (!ReadCase(text, &number, &kind)) return false;
  for (const InterruptionPoint& p : points) {
    if (p.number == number) {
      *c = {p, kind};
      return true;
    }
  }
  return false;
}

// Writes the old image the switch starts with into a new temporary folder and completes
// setup; false, after saying why, when it cannot.
bool PrepareSetup(const Arguments& args, SweepSetup* setup, std::string* folder) {
  setup->build = args.windows ? Build::kWindows : Build::kNative;
  if (TqupdCommand(setup->build, {}).empty()) {
    fprintf(stderr, "sweep: the Windows build needs TQUPD_WINDOWS_BIN and TQUPD_WINE_RUN\n");
    return false;
  }
  // Wine takes longer to start a program than the native build takes to update.
  setup->runLimitMs = (args.limitSeconds > 0 ? args.limitSeconds : args.windows ? 120 : 60) * 1000;
  // The switch starts with firmware 2.50 of the carried product: the same payload under
  // an older parameter table, so that until the update erases it the flash's first 512
  // bytes are the image's and the chip rightly runs its firmware.
  char pattern[] = "/tmp/tqupd-sweep-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    fprintf(stderr, "sweep: cannot create a temporary folder\n");
    return false;
  }
  *folder = pattern;
  setup->oldImagePath = *folder + "/old.bin";
  PackOptions older;
  older.version = 0x02320000u;
  if (!WriteTestImage(setup->oldImagePath, older)) {
    fprintf(stderr, "sweep: cannot write %s\n", setup->oldImagePath.c_str());
    return false;
  }
  setup->carriedImage.assign(imageTable[0], imageTable[0] + imageTableSizes[0]);
  if (args.windows) WinePrefix();  // create the prefix once, before runs go side by side
  return true;
}

// The interruption points of a reference update, each with its phase.
bool FindPoints(const SweepSetup& setup, std::vector<InterruptionPoint>* points) {
  std::vector<std::string> log;
  std::string error;
  if (!RunReference(setup, &log, &error)) {
    fprintf(stderr, "sweep: %s\n", error.c_str());
    return false;
  }
  *points = ReadPoints(log);
  const auto* header = reinterpret_cast<const ImageHeader*>(setup.carriedImage.data());
  if (!AssignPhases(points, header->firmwareAddress, header->tableAddress, &error)) {
    fprintf(stderr, "sweep: the reference run's points: %s\n", error.c_str());
    return false;
  }
  printf("reference run: %zu interruption points (%s)\n", points->size(),
         PhaseCounts(*points).c_str());
  return true;
}

// The chosen cases, a sample, or every point with every kind.
bool ChooseCases(const Arguments& args, const std::vector<InterruptionPoint>& points,
                 std::vector<SweepCase>* cases) {
  for (const std::string& text : args.cases) {
    SweepCase c;
    if (!FindCase(text, points, &c)) {
      fprintf(stderr, "sweep: no such case: %s\n", text.c_str());
      return false;
    }
    cases->push_back(c);
  }
  if (args.cases.empty()) {
    *cases = args.sample > 0 ? StratifiedSample(points, args.sample, args.draw) : AllCases(points);
  }
  if (args.sample > 0) {
    std::string chosen;
    for (const SweepCase& c : *cases) {
      chosen += " " + std::to_string(c.point.number) + ":" + KindName(c.kind);
    }
    printf("sample:%s\n", chosen.c_str());
  }
  return true;
}

void WriteResults(const Arguments& args, const std::vector<InterruptionPoint>& points,
                  size_t caseCount, const std::string& wall, const std::string& report) {
  std::ofstream out(args.results, std::ios::trunc);
  char date[32];
  time_t now = time(nullptr);
  strftime(date, sizeof date, "%Y-%m-%d", localtime(&now));
  out << "# Interruption sweep, " << (args.windows ? "Windows build under Wine" : "native build")
      << "\n\n";
  out << "Made " << date << (args.about.empty() ? "" : " with " + args.about) << ".\n\n";
  out << "The update has " << points.size() << " interruption points (" << PhaseCounts(points)
      << "), each tried with three kinds of interruption: power (the switch loses power), "
         "hold (the host dies while the switch keeps its state) and reply (the reply is "
         "refused or garbled). In the counts, a point is one interruption point with one "
         "kind. This run: ";
  if (!args.cases.empty()) {
    out << "chosen points only.\n\n";
  } else if (args.sample > 0) {
    out << "a stratified sample of " << caseCount << " (draw " << args.draw << ").\n\n";
  } else {
    out << "every one of them.\n\n";
  }
  out << wall << "\n" << report;
}

}  // namespace

int Run(int argc, char** argv) {
  CLI::App app{"sweep: interrupts updates at every point and checks that tqupd recovers each"};
  Arguments args;
  DefineOptions(app, args);
  int exitStatus = tool_options::Parse(app, argc, argv);
  if (exitStatus >= 0) return exitStatus;
  unsigned jobs = args.jobs > 0 ? args.jobs : args.windows ? 3 : 8;
  if (args.sample > 0)
    printf("sweep sample: draw %llu\n", static_cast<unsigned long long>(args.draw));
  fflush(stdout);
  auto started = Clock::now();

  SweepSetup setup;
  std::string folder;
  std::vector<InterruptionPoint> points;
  std::vector<SweepCase> cases;
  bool ready = PrepareSetup(args, &setup, &folder) && FindPoints(setup, &points) &&
               ChooseCases(args, points, &cases);
  if (!ready) {
    if (!folder.empty()) std::filesystem::remove_all(folder);
    return 2;
  }
  printf("running %zu points (%u side by side)\n", cases.size(), jobs);
  fflush(stdout);
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::vector<Finished> done = RunAll(setup, cases, jobs, args.verbose);
  bool stopped = done.size() < cases.size();
  std::filesystem::remove_all(folder);

  double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::string report = Report(done);
  if (stopped) {
    report = "Stopped early: " + std::to_string(done.size()) + " of " +
             std::to_string(cases.size()) + " points run.\n\n" + report;
  }
  char wall[160];
  int whole = static_cast<int>(std::lround(seconds));
  snprintf(wall, sizeof wall, "Wall time: %d min %02d s, %u runs side by side on %u cores.\n",
           whole / 60, whole % 60, jobs, std::thread::hardware_concurrency());
  printf("\n%s\n%s", wall, report.c_str());
  if (!args.results.empty()) WriteResults(args, points, cases.size(), wall, report);
  size_t failed = 0;
  for (const Finished& f : done) failed += f.result.Recovered() ? 0 : 1;
  return failed == 0 && !stopped ? 0 : 1;
}

int main(int argc, char** argv) {
  return tool_options::RunTool("sweep", [&] { return Run(argc, argv); });
}
