#include "link/link_io.h"

#include <cstring>

#include "format/format.h"
#include "link/console_output.h"
#include "link/serial_port.h"

int SendString(const char* text) {
  return linkPort.Write(text, static_cast<uint32_t>(strlen(text)));
}

int SendChar(int ch) {
  unsigned char byte = static_cast<unsigned char>(ch);
  return linkPort.Write(&byte, 1);
}

namespace {

// Collects the characters of one formatted line so that it goes out in one Write
// (doc/differences.md). A text that outgrows the buffer goes out in buffer-sized pieces.
struct LineCollector {
  char text[96];
  uint32_t length = 0;

  void Send() {
    if (length > 0) linkPort.Write(text, length);
    length = 0;
  }
};

void CollectChar(int ch, void* context) {
  auto* line = static_cast<LineCollector*>(context);
  if (line->length == sizeof line->text) line->Send();
  line->text[line->length++] = static_cast<char>(ch);
}

}  // namespace

int SendFormatted(const char* format, ...) {
  LineCollector line;
  va_list args;
  va_start(args, format);
  int n = FormatText(CollectChar, &line, format, args);
  va_end(args);
  line.Send();
  return n;
}

int PrintChar(int ch) {
  char c = static_cast<char>(ch);
  ConsoleWrite(&c, 1);
  return static_cast<unsigned char>(c);
}

void PrintString(const char* text) { ConsoleWrite(text, strlen(text)); }

namespace {

// Collects the characters of one formatted message so that the console gets it whole.
struct ConsoleText {
  char text[256];
  size_t length = 0;

  void Show() {
    ConsoleWrite(text, length);
    length = 0;
  }
};

void CollectConsoleChar(int ch, void* context) {
  auto* out = static_cast<ConsoleText*>(context);
  if (out->length == sizeof out->text) out->Show();
  out->text[out->length++] = static_cast<char>(ch);
}

}  // namespace

int PrintFormatted(const char* format, ...) {
  ConsoleText out;
  va_list args;
  va_start(args, format);
  int n = FormatText(CollectConsoleChar, &out, format, args);
  va_end(args);
  // Progress lines and prompts must show before the program goes on to wait for the
  // switch or for a key: the text goes to the console at once.
  out.Show();
  return n;
}

void FlushInput() {
  // Stale input (the tail of an old answer, progress reports, noise from a switch
  // powering up) is gone well within one reply line's time. Bytes that keep coming for
  // longer are a line that never falls quiet: the flush gives up then and leaves them to
  // the caller's line reader, which has its own bounds (doc/differences.md).
  uint32_t start = ClockMs();
  unsigned char byte;
  while (linkPort.BytesWaiting() != 0 && !ElapsedMs(start, kFlushLimitMs)) {
    // A failed read would leave the count unchanged forever; give up instead of spinning.
    if (linkPort.Read(&byte, 1) == 0) break;
  }
}

int ReadLine(char* buffer, int32_t max, const char* terminators) {
  uint32_t start = ClockMs();
  int32_t count = 0;
  bool terminated = false;
  while (!terminated && count < max && !ElapsedMs(start, kLineTimeoutMs)) {
    int32_t n = linkPort.BytesWaiting();
    if (n == 0) {
      // Nothing queued: sleep in the OS until a byte arrives or the limit, counted from
      // the start of the call, has passed. A byte that comes is taken at once.
      uint32_t spent = ClockMs() - start;
      if (spent <= kLineTimeoutMs) linkPort.WaitForInput(kLineTimeoutMs + 1 - spent);
      continue;
    }
    while (n > 0 && count < max) {
      unsigned char byte;
      int32_t got = linkPort.Read(&byte, 1);
      // A read that fails leaves n as it was; go back to the outer loop, which watches
      // the time, rather than asking the same failing read forever.
      if (got <= 0) break;
      n -= got;
      if (byte != 0 && strchr(terminators, byte) != nullptr) {
        buffer[count] = '\0';
        terminated = true;
        break;
      }
      // Only 0x20 to 0x7F are kept: control characters (the LF after a CR, DC1/DC3 flow
      // control from the boot ROM) and every byte from 0x80 up (line noise) are dropped.
      if (static_cast<signed char>(byte) > 0x1F) buffer[count++] = static_cast<char>(byte);
    }
  }
  if (terminated) return count;
  if (max > 0) buffer[0] = '\0';
  return -1;
}

int ReadLineCR(char* buffer, int32_t max) { return ReadLine(buffer, max, "\r"); }

int ReadLineDollar(char* buffer, int32_t max) { return ReadLine(buffer, max, "$"); }
