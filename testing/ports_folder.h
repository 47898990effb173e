// Points the POSIX build's COM port names at a folder of links for the life of one test:
// COMn is <folder>/comN while it lives (see link/posix/port_names_posix.h), and whatever
// TQUPD_PORTS said before comes back when it ends.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class PortsFolder {
 public:
  explicit PortsFolder(const std::string& folder) {
    if (const char* old = getenv("TQUPD_PORTS")) previous_ = old;
    setenv("TQUPD_PORTS", folder.c_str(), 1);
  }
  ~PortsFolder() {
    if (previous_) {
      setenv("TQUPD_PORTS", previous_->c_str(), 1);
    } else {
      unsetenv("TQUPD_PORTS");
    }
  }
  PortsFolder(const PortsFolder&) = delete;
  PortsFolder& operator=(const PortsFolder&) = delete;

 private:
  std::optional<std::string> previous_;
};
