// The host's end of a serial line in tests: a tty opened raw at a real baud rate with
// termios, read with bounded waits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class HostPort {
 public:
  HostPort() = default;
  ~HostPort() { Close(); }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  bool Open(const std::string& path, uint32_t baud);
  bool SetBaud(uint32_t baud);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  bool Write(std::string_view bytes);
  // Everything that arrives within ms.
  std::string ReadFor(int ms);
  // The first bytes that arrive (one read's worth), waiting at most ms for them; empty
  // when none came.
  std::string ReadAny(int ms);
  // Reads until what was read ends with terminator, or ms pass. Returns all bytes read
  // (the terminator included when it came).
  std::string ReadUntil(std::string_view terminator, int ms);
  // One "\r\n"-terminated line without its line end; false after ms without one. Bytes
  // after the line stay queued for the next read.
  bool ReadLine(std::string* line, int ms = 2000);

 private:
  bool ReadSome(int64_t deadline, std::string* text);
  int fd_ = -1;
  std::string pending_;
};
