#include "app/update_fixture.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "image/image_format.h"
#include "image/image_table.h"

const char kBanner[] = "\nHalvek / Tessary firmware update utility. Version 1.02"
                       "\n(c) Halvek Audio Systems. All rights reserved.\n"
                       "Firmware validated.\n";

std::string BuildName(const testing::TestParamInfo<Build>& info) {
  return info.param == Build::kNative ? "Native" : "Windows";
}

void EndToEndRun::SetUp() {
  if (TqupdCommand(build(), {}).empty()) GTEST_SKIP() << "Windows build not given";
  char pattern[] = "/tmp/tqupd-e2e-XXXXXX";
  portsFolder_ = mkdtemp(pattern);
}

void EndToEndRun::TearDown() {
  if (session_) session_->Kill();
  session_.reset();
  for (const std::string& link : wineLinks_) unlink(link.c_str());
  for (const auto& [link, target] : wineSaved_) {
    unlink(link.c_str());
    if (!target.empty()) std::filesystem::create_symlink(target, link);
  }
  silentPorts_.clear();
  if (searchLock_ >= 0) close(searchLock_);  // releases the lock
  switches_.clear();
  if (!portsFolder_.empty()) std::filesystem::remove_all(portsFolder_);
}

VirtualSwitchProcess& EndToEndRun::AddSwitch(std::vector<std::string> options, int portNumber) {
  switches_.push_back(std::make_unique<VirtualSwitchProcess>(std::move(options), portNumber));
  VirtualSwitchProcess& sw = *switches_.back();
  EXPECT_TRUE(sw.Start()) << sw.Error();
  // The native build finds every switch of the test in one folder of links.
  std::filesystem::create_symlink(sw.LinkPath(),
                                  portsFolder_ + "/com" + std::to_string(portNumber));
  return sw;
}

std::vector<std::string> EndToEndRun::Installed(const PackOptions& options) {
  std::vector<std::string> installed = ::Installed(portsFolder_, options);
  EXPECT_FALSE(installed.empty());
  return installed;
}

std::vector<std::string> EndToEndRun::InstalledVersion(uint32_t version) {
  PackOptions options;
  options.version = version;
  return Installed(options);
}

void EndToEndRun::AddSilentPort(int portNumber) {
  silentPorts_.push_back(std::make_unique<PtyPair>());
  const PtyPair& pty = *silentPorts_.back();
  ASSERT_TRUE(pty.ok());
  std::filesystem::create_symlink(pty.slavePath(),
                                  portsFolder_ + "/com" + std::to_string(portNumber));
}

void EndToEndRun::AddMissingPort(int portNumber) {
  std::filesystem::create_symlink(portsFolder_ + "/no-such-device",
                                  portsFolder_ + "/com" + std::to_string(portNumber));
}

std::string EndToEndRun::PortOf(const VirtualSwitchProcess& sw) { return PortOf(sw.PortNumber()); }

std::string EndToEndRun::PortOf(int portNumber) {
  if (build() == Build::kNative) return std::to_string(portNumber);
  std::string link;
  int claimed = ClaimWineComPort(portsFolder_ + "/com" + std::to_string(portNumber), &link);
  if (claimed == 0) {
    ADD_FAILURE() << "no free COM number in " << WinePrefix();
    return "99";
  }
  wineLinks_.push_back(link);
  return std::to_string(claimed);
}

void EndToEndRun::MirrorPortsIntoWine() {
  if (build() != Build::kWindows) return;
  std::string prefix = WinePrefix();
  // Tests run side by side: one test at a time owns COM1 to COM16 of the prefix.
  searchLock_ = open((prefix + "/.search-ports.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (searchLock_ >= 0) flock(searchLock_, LOCK_EX);
  for (int n = 1; n <= 16; ++n) {
    std::string link = prefix + "/dosdevices/com" + std::to_string(n);
    std::error_code error;
    std::string old = std::filesystem::read_symlink(link, error).string();
    wineSaved_.push_back({link, old});
    unlink(link.c_str());
    std::string target = portsFolder_ + "/com" + std::to_string(n);
    // A port this test does not provide must not open either.
    std::filesystem::create_symlink(std::filesystem::exists(std::filesystem::symlink_status(target))
                                        ? target
                                        : portsFolder_ + "/none",
                                    link);
  }
}

void EndToEndRun::Launch(const std::vector<std::string>& args) {
  session_ = std::make_unique<ConsoleSession>(
      TqupdCommand(build(), args), std::vector<std::string>{"TQUPD_PORTS=" + portsFolder_},
      build() == Build::kWindows);
  // Before the test reads a line or types a key: a Windows build whose Wine console came
  // up detached from the terminal is started once more (see WaitUntilKeysReachIt).
  EXPECT_TRUE(session_->WaitUntilKeysReachIt())
      << "Wine's console came up detached from the terminal twice; shown:\n"
      << Shown();
}

bool EndToEndRun::Expect(const std::string& text, int timeoutMs, size_t from) {
  bool seen = session_->WaitFor(text, timeoutMs, from);
  EXPECT_TRUE(seen) << "waited for: " << text << "\nshown:\n"
                    << Shown() << "\nterminal:\n"
                    << session_->Terminal() << "\nrunning: " << session_->Running();
  return seen;
}

int EndToEndRun::PressKeyAndWait() {
  if (!Expect("\nPress any key to exit...")) return -1;
  session_->Type(" ");
  return session_->WaitExit(20000);
}

const std::vector<uint8_t>& EndToEndRun::CarriedImage() {
  // The very bytes the utility under test carries.
  static const std::vector<uint8_t> image(imageTable[0], imageTable[0] + imageTableSizes[0]);
  return image;
}

std::string ProgressLines() {
  const auto* h = reinterpret_cast<const ImageHeader*>(EndToEndRun::CarriedImage().data());
  uint32_t length = h->firmwareLength;
  std::string text = "\nUpdating firmware:   0% complete.";
  char line[64];
  for (uint32_t remaining = length - 512; remaining >= 4096;) {
    remaining -= 4096;
    snprintf(line, sizeof line, "\rUpdating firmware: %3u%% complete.",
             (length - remaining) * 100 / length);
    text += line;
  }
  return text + "\rUpdating firmware: 100% complete.\n";
}

std::string OlderSwitchUpdatedText() {
  std::string text = "\n\nThis update is newer than the firmware inside the KLM8800T.\n"
                     "\n Current Version: 2.50, Model: KLM8800T"
                     "\n Update Version:  2.60, Model: KLM8800T"
                     "\n\nContinue with update to newer version? (Y,N) Y\n";
  return text.append(ProgressLines()).append(DspLines(2)).append("\nPress any key to exit...\n");
}

std::string DspLines(int banks) {
  std::string text;
  char line[80];
  for (int bank = 1; bank <= banks; ++bank) {
    text += "\n";
    for (int step = 0; step < 6; ++step) {
      snprintf(line, sizeof line, "\rUpdating DSPs: Bank = %d, Complete = %3d%%", bank,
               (step + 1) * 100 / 6);
      text += line;
    }
  }
  return text;
}
