// A running virtual switch for tests: the vswitch program started with a private
// folder that holds its COM port link (ports/comN), its flash file, its wire log and
// its figures. Stop() is a clean power-off, Kill() a power cut, Restart() a power
// cycle with the flash kept. The destructor stops the switch and removes the folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class VirtualSwitchProcess {
 public:
  // options are passed to vswitch after the fixture's own --link, --flash, --log and
  // --stats. The port is linked as ports/com<portNumber>.
  explicit VirtualSwitchProcess(std::vector<std::string> options = {}, int portNumber = 3);
  ~VirtualSwitchProcess();
  VirtualSwitchProcess(const VirtualSwitchProcess&) = delete;
  VirtualSwitchProcess& operator=(const VirtualSwitchProcess&) = delete;

  // Starts vswitch and waits (at most 5 s) for its "ready" line. False, with Error()
  // telling why, when it does not come.
  bool Start();
  // SIGTERM and wait: the link is removed and the flash written back. True when the
  // program ended with status 0.
  bool Stop();
  // SIGKILL and wait: nothing is tidied up (the flash file holds what the chip held).
  void Kill();
  // Releases a switch that --interrupt N:hold has frozen (SIGUSR1).
  void Release();
  // Power cycle: Stop() (if running) and Start() with the same options, or new ones.
  bool Restart();
  bool Restart(std::vector<std::string> options);
  // Options for the next Start().
  void SetOptions(std::vector<std::string> options) { options_ = std::move(options); }
  bool Running() const { return pid_ > 0; }

  const std::string& Directory() const { return directory_; }
  // Put this in TQUPD_PORTS for the utility; the switch is then COM<PortNumber()>.
  std::string PortsDirectory() const { return directory_ + "/ports"; }
  std::string LinkPath() const;
  std::string FlashPath() const { return directory_ + "/flash.bin"; }
  std::string LogPath() const { return directory_ + "/wire.log"; }
  std::string StatsPath() const { return directory_ + "/stats.txt"; }
  // The pseudo-terminal slave that the link points at (from the "ready" line).
  const std::string& SlavePath() const { return slavePath_; }
  int PortNumber() const { return portNumber_; }
  const std::vector<std::string>& Options() const { return options_; }

  std::vector<uint8_t> ReadFlash() const;
  std::string ReadLog() const;
  std::vector<std::string> LogLines() const;
  // Waits (at most ms) until a line of the wire log begins with prefix: the way to know
  // that the switch has taken in a request before the host changes its rate.
  bool WaitForLog(const std::string& prefix, int ms = 3000) const;
  std::string ReadStats() const;
  // What vswitch wrote to its standard error.
  std::string ReadErrors() const;

  const std::string& Error() const { return error_; }

  // The vswitch program this fixture starts (known when the tests are built).
  static std::string ProgramPath();

 private:
  bool Wait();

  std::vector<std::string> options_;
  int portNumber_;
  std::string directory_;
  std::string slavePath_;
  std::string error_;
  pid_t pid_ = -1;
  int exitStatus_ = -1;
};
