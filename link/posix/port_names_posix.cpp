#include "port_names_posix.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Whether snprintf's result n says that the whole text fitted in size bytes. An error's
// negative result converts to a count larger than any buffer, so it fails too.
bool Fitted(int n, size_t size) { return static_cast<size_t>(n) < size; }

}  // namespace

bool PortDevicePath(int portNumber, char* path, size_t size) {
  const char* folder = getenv("TQUPD_PORTS");
  struct stat info {};
  int n;
  if (folder && *folder && stat(folder, &info) == 0 && S_ISDIR(info.st_mode)) {
    n = snprintf(path, size, "%s/com%d", folder, portNumber);
  } else {
    n = snprintf(path, size, "/dev/ttyUSB%d", portNumber - 1);
    if (Fitted(n, size) && stat(path, &info) != 0) {
      n = snprintf(path, size, "/dev/ttyS%d", portNumber - 1);
    }
  }
  return Fitted(n, size);
}
