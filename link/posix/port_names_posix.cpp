#include "port_names_posix.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

bool PortDevicePath(int portNumber, char* path, size_t size) {
  const char* folder = getenv("TQUPD_PORTS");
  struct stat info {};
  int n;
  if (folder && *folder && stat(folder, &info) == 0 && S_ISDIR(info.st_mode)) {
    n = snprintf(path, size, "%s/com%d", folder, portNumber);
  } else {
    n = snprintf(path, size, "/dev/ttyUSB%d", portNumber - 1);
    if (n > 0 && static_cast<size_t>(n) < size && stat(path, &info) != 0) {
      n = snprintf(path, size, "/dev/ttyS%d", portNumber - 1);
    }
  }
  return n > 0 && static_cast<size_t>(n) < size;
}
