#include "point_run.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>

#include "image/image_format.h"
#include "testing/test_image.h"
#include "testing/vswitch_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// Programs are started one at a time: a child forked while another thread is between
// creating a descriptor and marking it close-on-exec would inherit it.
std::mutex startLock;

const char kKeyPrompt[] = "\nPress any key to exit...";
const char kQuestion[] = "(Y,N) ";

// The switch answers at once and reports its DSPs quickly: the runs wait on the line as
// little as tqupd lets them.
std::vector<std::string> SwitchOptions(const std::vector<std::string>& extra) {
  std::vector<std::string> options = {"--boot-ms", "5", "--dsp-step-ms", "1"};
  options.insert(options.end(), extra.begin(), extra.end());
  return options;
}

// The new lines of a growing log file.
class LogTail {
 public:
  explicit LogTail(std::string path) : path_(std::move(path)) {}
  // True once a record with exactly this text after "# <baud> <persona> " has appeared.
  bool Seen(const std::string& event) {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset_));
    std::string line;
    while (std::getline(in, line)) {
      if (in.eof()) break;  // a record still being written
      offset_ += line.size() + 1;
      if (line.size() > event.size() && line[0] == '#' &&
          line.compare(line.size() - event.size(), event.size(), event) == 0 &&
          line[line.size() - event.size() - 1] == ' ') {
        return true;
      }
    }
    return false;
  }

 private:
  std::string path_;
  size_t offset_ = 0;
};

// The COM port under which the build sees a switch: native, COM3 of the switch's own
// ports folder; Windows, a COM number claimed in the Wine prefix for this case.
class PortName {
 public:
  PortName(const SweepSetup& setup, const VirtualSwitchProcess& sw) {
    if (setup.build == Build::kNative) {
      number_ = std::to_string(sw.PortNumber());
      folder_ = sw.PortsDirectory();
    } else {
      int claimed = ClaimWineComPort(sw.LinkPath(), &wineLink_);
      if (claimed > 0) number_ = std::to_string(claimed);
    }
  }
  ~PortName() {
    if (!wineLink_.empty()) unlink(wineLink_.c_str());
  }
  PortName(const PortName&) = delete;
  PortName& operator=(const PortName&) = delete;
  const std::string& Number() const { return number_; }
  std::vector<std::string> Environment() const {
    return folder_.empty() ? std::vector<std::string>{}
                           : std::vector<std::string>{"TQUPD_PORTS=" + folder_};
  }

 private:
  std::string number_;
  std::string folder_;
  std::string wineLink_;
};

enum class Answers { kYesThenNo, kAlwaysYes };

struct TqupdRun {
  bool ended = false;         // reached the key prompt and exited
  bool killedAtHold = false;  // killed when the switch logged its hold
  bool endedEarly = false;    // ended without its key prompt (a crash)
  std::string output;

  bool ReportsSuccess() const {
    return output.find("Updating firmware: 100% complete.") != std::string::npos ||
           output.find("Updating DSPs") != std::string::npos ||
           output.find("Firmware update complete") != std::string::npos;
  }
  // The last line shown before the key prompt (or at all), without the progress that a
  // carriage return overwrote.
  std::string LastMessage() const {
    std::string text = output.substr(0, output.rfind(kKeyPrompt));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    size_t start = text.find_last_of("\n\r");
    return start == std::string::npos ? text : text.substr(start + 1);
  }
};

TqupdRun RunTqupd(const SweepSetup& setup, const VirtualSwitchProcess& sw, const PortName& port,
                  Answers answers, uint32_t killAtHold) {
  TqupdRun run;
  std::unique_ptr<ConsoleSession> session;
  {
    std::lock_guard<std::mutex> lock(startLock);
    session = std::make_unique<ConsoleSession>(TqupdCommand(setup.build, {port.Number()}),
                                               port.Environment(), setup.build == Build::kWindows);
  }
  LogTail log(sw.LogPath());
  std::string hold = "hold " + std::to_string(killAtHold);
  size_t answered = 0;
  size_t readUpTo = 0;  // questions before this place in the output have been answered
  auto deadline = Clock::now() + std::chrono::milliseconds(setup.runLimitMs);
  while (Clock::now() < deadline) {
    bool prompted = session->WaitFor(kKeyPrompt, 20);
    std::string shown = session->Output();
    for (size_t at = shown.find(kQuestion, readUpTo); at != std::string::npos;
         at = shown.find(kQuestion, readUpTo)) {
      readUpTo = at + sizeof kQuestion - 1;
      bool yes = answers == Answers::kAlwaysYes || answered == 0;
      ++answered;
      session->Type(yes ? "y" : "n");
    }
    if (prompted) {
      session->Type(" ");
      run.ended = session->WaitExit(20000) >= 0;
      break;
    }
    if (killAtHold != 0 && log.Seen(hold)) {
      session->Kill();
      run.killedAtHold = true;
      break;
    }
    if (!session->Running()) {
      run.endedEarly = true;
      break;
    }
  }
  session->Kill();
  run.output = session->Output();
  return run;
}

// The boot ROM runs code at power-up only over a valid vector table (bank A's first
// eight words sum to zero). Unless the first 512 bytes are the image's, the chip must
// stay in its boot ROM, where the next run can reach it.
bool StaysInBootRomUnlessComplete(const std::vector<uint8_t>& flash,
                                  const std::vector<uint8_t>& image) {
  const auto* h = reinterpret_cast<const ImageHeader*>(image.data());
  if (flash.size() < 512) return false;
  if (std::equal(flash.begin(), flash.begin() + 512, image.begin() + h->firmwareOffset)) {
    return true;
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < 8; ++i) sum += ReadLe32(&flash[4 * i]);
  return sum != 0;
}

// The checks every run must pass; what failed is added to problems.
void CheckRun(const SweepSetup& setup, const VirtualSwitchProcess& sw, const TqupdRun& run,
              const std::string& name, bool mustEnd, CaseResult* result) {
  std::vector<std::string>* problems = &result->problems;
  result->transcript += "--- " + name + ":\n" + run.output + "\n";
  if (mustEnd && run.endedEarly) {
    problems->push_back(name + " ends without its key prompt (last shown: \"" + run.LastMessage() +
                        "\")");
  } else if (mustEnd && !run.ended) {
    problems->push_back(name + " does not end within " + std::to_string(setup.runLimitMs / 1000) +
                        " s (last shown: \"" + run.LastMessage() + "\")");
  }
  std::vector<uint8_t> flash = sw.ReadFlash();
  if (run.ReportsSuccess() && !FlashHoldsImage(flash, setup.carriedImage)) {
    problems->push_back(name + " reports success, but the flash does not hold the image");
  }
  if (!StaysInBootRomUnlessComplete(flash, setup.carriedImage)) {
    problems->push_back(name + " leaves a valid vector table over other bytes than the image's");
  }
}

bool StartSwitch(VirtualSwitchProcess& sw, const std::vector<std::string>* options,
                 std::vector<std::string>* problems) {
  std::lock_guard<std::mutex> lock(startLock);
  bool started = options ? sw.Restart(*options) : sw.Start();
  if (!started) problems->push_back("the virtual switch did not start: " + sw.Error());
  return started;
}

}  // namespace

bool RunReference(const SweepSetup& setup, std::vector<std::string>* logLines, std::string* error) {
  VirtualSwitchProcess sw(SwitchOptions({"--install", setup.oldImagePath, "--log-points"}));
  std::vector<std::string> problems;
  if (!StartSwitch(sw, nullptr, &problems)) {
    *error = problems[0];
    return false;
  }
  PortName port(setup, sw);
  TqupdRun run = RunTqupd(setup, sw, port, Answers::kAlwaysYes, 0);
  CaseResult checked;
  CheckRun(setup, sw, run, "the reference run", true, &checked);
  problems = checked.problems;
  if (!problems.empty() || !run.ReportsSuccess()) {
    *error = problems.empty() ? "the reference run did not update the switch: " + run.LastMessage()
                              : problems[0];
    return false;
  }
  sw.Stop();
  *logLines = sw.LogLines();
  return true;
}

CaseResult RunCase(const SweepSetup& setup, const SweepCase& c) {
  CaseResult result;
  std::string interrupt = std::to_string(c.point.number) + ":" + KindName(c.kind);
  VirtualSwitchProcess sw(
      SwitchOptions({"--install", setup.oldImagePath, "--log-points", "--interrupt", interrupt}));
  if (!StartSwitch(sw, nullptr, &result.problems)) {
    result.outcome = "not run";
    return result;
  }
  PortName port(setup, sw);

  // The interrupted run.
  bool hold = c.kind == Kind::kHold;
  TqupdRun first = RunTqupd(setup, sw, port, Answers::kYesThenNo, hold ? c.point.number : 0);
  // The switch must have met the point as the reference did: same number, same line.
  bool reached = false;
  for (const InterruptionPoint& p : ReadPoints(sw.LogLines())) {
    if (p.number == c.point.number) reached = p.where == c.point.where && p.text == c.point.text;
  }
  if (!reached) {
    result.problems.push_back("the run did not meet point " + std::to_string(c.point.number) +
                              " as the reference did");
  }
  if (hold) {
    CheckRun(setup, sw, first, "the run the host died in", false, &result);
    if (first.killedAtHold) {
      // The host died at the point; the switch goes on and tqupd is run again.
      sw.Release();
      TqupdRun again = RunTqupd(setup, sw, port, Answers::kAlwaysYes, 0);
      CheckRun(setup, sw, again, "the run after the host died", true, &result);
    } else {
      result.problems.push_back("the switch never held");
    }
  } else {
    CheckRun(setup, sw, first, "the interrupted run", true, &result);
  }

  // Power cycle, no faults, and the run that must finish the job.
  std::vector<std::string> plain = SwitchOptions({});
  if (!StartSwitch(sw, &plain, &result.problems)) {
    result.outcome = "switch did not power up";
    return result;
  }
  TqupdRun last = RunTqupd(setup, sw, port, Answers::kAlwaysYes, 0);
  CheckRun(setup, sw, last, "the run after the power cycle", true, &result);
  bool exact = FlashHoldsImage(sw.ReadFlash(), setup.carriedImage);
  if (last.ended && last.ReportsSuccess() && exact) {
    result.outcome = "updated, flash exact";
  } else if (!last.ended) {
    result.outcome = "no end, last shown: \"" + last.LastMessage() + "\"";
  } else if (last.ReportsSuccess()) {
    result.outcome = "reported updated, flash differs";
  } else {
    result.outcome = "not updated: \"" + last.LastMessage() + "\"";
  }
  return result;
}
