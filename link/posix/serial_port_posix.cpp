// The OS half of SerialPort over a POSIX tty with termios.
//
// The contract is the Windows one: raw 8-bit line, no flow control, DTR low, and no read
// or write that waits longer than 1000 ms. The descriptor is non-blocking and every wait
// is a poll() with the remaining time, so a wait costs no processor time.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>

#include "link/clock.h"
#include "link/serial_port_os.h"
#include "port_names_posix.h"

namespace {
constexpr int kNoDescriptor = -1;  // what open() gives on failure; a free slot holds it
}  // namespace

struct PortOs {
  int fd = kNoDescriptor;
};

namespace {

PortOs ports[kPortOsSlots];

// After the first byte a read also ends once the line has been quiet this long, like
// the Windows read interval time-out.
constexpr uint32_t kReadIntervalMs = 10;

bool SpeedCode(uint32_t baudRate, speed_t* code) {
  static const struct {
    uint32_t rate;
    speed_t code;
  } kRates[] = {{1200, B1200},   {2400, B2400},     {4800, B4800},
                {9600, B9600},   {19200, B19200},   {38400, B38400},
                {57600, B57600}, {115200, B115200}, {230400, B230400}};
  for (const auto& r : kRates) {
    if (r.rate == baudRate) {
      *code = r.code;
      return true;
    }
  }
  return false;
}

// Sets the whole line up at the given rate, on opening and on every change of rate alike:
// a raw line, no input or output processing, no canonical mode, no echo, 8 data bits, no
// parity, one stop bit (cfmakeraw leaves the stop bits as they were), the receiver on,
// modem status lines ignored. HUPCL is cleared so that closing the port does not drop the
// control lines; no XON/XOFF and no RTS/CTS, since the switch's boot ROM and firmware use
// neither. VMIN and VTIME play no part: the descriptor is non-blocking.
bool ApplySpeed(int fd, uint32_t baudRate) {
  speed_t code;
  termios mode{};
  if (!SpeedCode(baudRate, &code) || tcgetattr(fd, &mode) != 0) return false;
  cfmakeraw(&mode);
  mode.c_cflag |= CLOCAL | CREAD | CS8;
  mode.c_cflag &=
      static_cast<tcflag_t>(~(HUPCL | CRTSCTS | CSIZE | CSTOPB | PARENB | PARODD)) | CS8;
  mode.c_iflag &= static_cast<tcflag_t>(~(IXON | IXOFF | IXANY));
  cfsetspeed(&mode, code);  // both directions
  return tcsetattr(fd, TCSANOW, &mode) == 0;
}

// USB serial adapters hold short bursts of received bytes for their latency timer
// (16 ms on common ones) before passing them on; every reply of the boot ROM would pay
// it, some 330 times an update. Low-latency mode has the driver pass them on at once.
// Ports without the setting (pseudo-terminals, many built-in UARTs) refuse it quietly.
void AskForLowLatency(int fd) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
  }
#else
  (void)fd;
#endif
}

void CloseDescriptor(int fd) {
  // Undo TIOCEXCL so that the next open (ours or another program's) is not refused.
  ioctl(fd, TIOCNXCL);
  close(fd);
}

// Waits until fd is ready for events or the time is up; false on time-out, hang-up or
// error, each after the whole time. A signal that interrupts the wait does not end it.
bool WaitReady(int fd, short events, uint32_t start, uint32_t limit) {
  pollfd p{};
  p.fd = fd;
  p.events = events;
  int r;
  do {
    const uint32_t spent = std::min(ClockMs() - start, limit);
    r = poll(&p, 1, static_cast<int>(limit - spent));
  } while (r == -1 && errno == EINTR);
  // A hung-up line (the adapter was pulled out, the far end of a pseudo-terminal closed)
  // says it is readable, so that a read finds out, yet nothing will come: not ready.
  constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;
  if ((p.revents & kGone) == 0 && (p.revents & events) != 0) return true;
  // The time is up, or the line has gone. The rest of the time passes here rather than
  // in a caller's loop, which would otherwise ask again at once, over and over.
  SleepMs(limit - std::min(ClockMs() - start, limit));
  return false;
}

}  // namespace

PortOs* PortOsOpen(int32_t portNumber, uint32_t baudRate) {
  PortOs* slot = nullptr;
  for (PortOs& p : ports) {
    if (p.fd == kNoDescriptor) {
      slot = &p;
      break;
    }
  }
  char path[512];
  if (slot == nullptr || !PortDevicePath(portNumber, path, sizeof path)) return nullptr;
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd == kNoDescriptor) return nullptr;
  // POSIX ports are not exclusive by default, while Windows ports are. TIOCEXCL refuses
  // further opens of the tty (except by root); flock() also keeps out programs that run
  // as root but honour the advisory lock, and closes the race between two openers.
  ioctl(fd, TIOCEXCL);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !ApplySpeed(fd, baudRate)) {
    CloseDescriptor(fd);
    return nullptr;
  }
  // DTR low, as on Windows: some adapters wire DTR to the switch's reset or ISP line.
  // A pseudo-terminal has no modem lines and refuses this; that is not an error.
  int dtr = TIOCM_DTR;
  ioctl(fd, TIOCMBIC, &dtr);
  AskForLowLatency(fd);
  slot->fd = fd;
  return slot;
}

bool PortOsSetBaudRate(PortOs* port, uint32_t baudRate) { return ApplySpeed(port->fd, baudRate); }

void PortOsClose(PortOs* port) {
  CloseDescriptor(port->fd);
  port->fd = kNoDescriptor;
}

int32_t PortOsWrite(PortOs* port, const void* data, uint32_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t done = 0;
  uint32_t start = ClockMs();
  while (done < count) {
    ssize_t n = write(port->fd, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    // The line failed (hung up), or found no room for the rest within the bound: give up.
    if (errno != EAGAIN && errno != EINTR) return 0;
    if (!WaitReady(port->fd, POLLOUT, start, kPortIoBoundMs)) return 0;
  }
  // Return only once the bytes are on the line, so that a reply wait that follows starts
  // after the command has gone out.
  tcdrain(port->fd);
  return static_cast<int32_t>(done);
}

int32_t PortOsBytesWaiting(PortOs* port) {
  int queued{};
  if (ioctl(port->fd, FIONREAD, &queued) != 0) return 0;
  return queued;
}

int32_t PortOsRead(PortOs* port, void* buffer, uint32_t count) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  uint32_t done = 0;
  uint32_t start = ClockMs();
  while (done < count) {
    ssize_t n = read(port->fd, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    // n == 0 is a hung-up line; any error but "nothing yet" ends the read too.
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
    bool waiting = (done == 0) ? WaitReady(port->fd, POLLIN, start, kPortIoBoundMs)
                               : WaitReady(port->fd, POLLIN, ClockMs(), kReadIntervalMs);
    if (!waiting) break;
  }
  return static_cast<int32_t>(done);
}

bool PortOsWaitForInput(PortOs* port, uint32_t ms) {
  return WaitReady(port->fd, POLLIN, ClockMs(), ms);
}
