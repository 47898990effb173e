// The serial line: a pseudo-terminal whose slave side is the host's COM port.
//
// The switch side holds the master. It also keeps a descriptor on the slave, for two
// reasons: the host may open and close the port as often as it likes without the master
// seeing a hang-up, and tcgetattr on that descriptor shows the baud rate the host has
// set, which is what makes rates matter on a line that has none.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class PtyLine {
 public:
  PtyLine() = default;
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;
  ~PtyLine();

  // Creates the pseudo-terminal and the symbolic link linkPath to its slave (replacing
  // a stale link, never a regular file). False with *error set on failure.
  bool Open(const std::string& linkPath, std::string* error);
  // Removes the link and closes both sides.
  void Close();

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // The rate the host has set on its side (output speed; 0 while it is "hung up").
  uint32_t HostBaud() const;

  ssize_t Read(uint8_t* buffer, size_t size);
  ssize_t Write(const uint8_t* bytes, size_t n);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string linkPath_;
};

// speed_t code to bits per second, and back (0 / false for a rate termios lacks).
uint32_t BaudOfSpeed(unsigned speedCode);
bool SpeedOfBaud(uint32_t baud, unsigned* speedCode);
