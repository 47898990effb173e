#include "pty_line.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const struct {
  uint32_t baud;
  speed_t code;
} kSpeeds[] = {{0, B0},           {300, B300},      {600, B600},       {1200, B1200},
               {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
               {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
               {460800, B460800}, {921600, B921600}};

}  // namespace

uint32_t BaudOfSpeed(unsigned speedCode) {
  for (const auto& s : kSpeeds) {
    if (s.code == speedCode) return s.baud;
  }
  return 0;
}

bool SpeedOfBaud(uint32_t baud, unsigned* speedCode) {
  for (const auto& s : kSpeeds) {
    if (s.baud == baud) {
      *speedCode = s.code;
      return true;
    }
  }
  return false;
}

PtyLine::~PtyLine() { Close(); }

bool PtyLine::Open(const std::string& linkPath, std::string* error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    *error = std::string("cannot create a pseudo-terminal: ") + strerror(errno);
    Close();
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    *error = std::string("ptsname: ") + strerror(errno);
    Close();
    return false;
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    *error = "cannot open " + slavePath_ + ": " + strerror(errno);
    Close();
    return false;
  }
  // Raw from the start: a new pty echoes and translates line ends, which would bounce
  // the switch's own output back into it before the host has configured the port. The
  // rate a port shows before anyone sets one is 9600, as on a fresh UART.
  termios mode{};
  tcgetattr(slave_, &mode);
  cfmakeraw(&mode);
  mode.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&mode, B9600);
  cfsetospeed(&mode, B9600);
  tcsetattr(slave_, TCSANOW, &mode);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  struct stat info {};
  if (lstat(linkPath.c_str(), &info) == 0) {
    if (!S_ISLNK(info.st_mode)) {
      *error = linkPath + " exists and is not a symbolic link; not replacing it";
      Close();
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
    *error = "cannot create link " + linkPath + ": " + strerror(errno);
    Close();
    return false;
  }
  linkPath_ = linkPath;
  return true;
}

void PtyLine::Close() {
  if (!linkPath_.empty()) {
    unlink(linkPath_.c_str());
    linkPath_.clear();
  }
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

uint32_t PtyLine::HostBaud() const {
  termios mode{};
  if (slave_ < 0 || tcgetattr(slave_, &mode) != 0) return 0;
  return BaudOfSpeed(cfgetospeed(&mode));
}

ssize_t PtyLine::Read(uint8_t* buffer, size_t size) { return read(master_, buffer, size); }

ssize_t PtyLine::Write(const uint8_t* bytes, size_t n) { return write(master_, bytes, n); }
