#include "testing/host_port.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace {

bool SpeedCode(uint32_t baud, speed_t* code) {
  switch (baud) {
    case 9600: *code = B9600; return true;
    case 19200: *code = B19200; return true;
    case 38400: *code = B38400; return true;
    case 57600: *code = B57600; return true;
    case 115200: *code = B115200; return true;
    case 230400: *code = B230400; return true;
    default: return false;
  }
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool HostPort::Open(const std::string& path, uint32_t baud) {
  Close();
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios mode{};
  if (tcgetattr(fd_, &mode) != 0) {
    Close();
    return false;
  }
  cfmakeraw(&mode);
  mode.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd_, TCSANOW, &mode);
  if (!SetBaud(baud)) {
    Close();
    return false;
  }
  return true;
}

bool HostPort::SetBaud(uint32_t baud) {
  speed_t code;
  termios mode{};
  if (fd_ < 0 || !SpeedCode(baud, &code) || tcgetattr(fd_, &mode) != 0) return false;
  cfsetispeed(&mode, code);
  cfsetospeed(&mode, code);
  return tcsetattr(fd_, TCSANOW, &mode) == 0;
}

void HostPort::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  pending_.clear();
}

bool HostPort::Write(std::string_view bytes) {
  size_t done = 0;
  int64_t deadline = NowMs() + 2000;
  while (done < bytes.size() && NowMs() < deadline) {
    ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
  return done == bytes.size();
}

// Waits for bytes until deadline and appends them to text; false once it has passed.
bool HostPort::ReadSome(int64_t deadline, std::string* text) {
  int64_t left = deadline - NowMs();
  if (left <= 0) return false;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(left)) <= 0) return true;
  char buffer[4096];
  ssize_t n = read(fd_, buffer, sizeof buffer);
  if (n > 0) text->append(buffer, static_cast<size_t>(n));
  return true;
}

std::string HostPort::ReadFor(int ms) {
  std::string text;
  text.swap(pending_);
  int64_t deadline = NowMs() + ms;
  while (ReadSome(deadline, &text)) {
  }
  return text;
}

std::string HostPort::ReadAny(int ms) {
  std::string text;
  text.swap(pending_);
  int64_t deadline = NowMs() + ms;
  while (text.empty() && ReadSome(deadline, &text)) {
  }
  return text;
}

std::string HostPort::ReadUntil(std::string_view terminator, int ms) {
  std::string text;
  text.swap(pending_);
  int64_t deadline = NowMs() + ms;
  for (;;) {
    size_t at = text.find(terminator);
    if (at != std::string::npos) {
      pending_ = text.substr(at + terminator.size());
      text.resize(at + terminator.size());
      return text;
    }
    if (!ReadSome(deadline, &text)) return text;
  }
}

bool HostPort::ReadLine(std::string* line, int ms) {
  std::string text = ReadUntil("\r\n", ms);
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
    pending_ = text + pending_;
    return false;
  }
  *line = text.substr(0, text.size() - 2);
  return true;
}
