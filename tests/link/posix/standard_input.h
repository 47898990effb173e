// Standard input replaced for the life of one test: the console keys' POSIX half reads
// the technician's keys from it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

// Puts fd (which it takes over) in the place of standard input, and the old one back at
// the end.
class StandardInputFrom {
 public:
  explicit StandardInputFrom(int fd) : saved_(dup(STDIN_FILENO)) {
    dup2(fd, STDIN_FILENO);
    close(fd);
  }
  ~StandardInputFrom() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }
  StandardInputFrom(const StandardInputFrom&) = delete;
  StandardInputFrom& operator=(const StandardInputFrom&) = delete;

 private:
  int saved_;
};

// Standard input holding keys, then the end of input.
class Keys : public StandardInputFrom {
 public:
  explicit Keys(const std::string& keys) : StandardInputFrom(PipeHolding(keys)) {}

 private:
  static int PipeHolding(const std::string& keys) {
    int fds[2];
    if (pipe(fds) != 0) abort();
    if (write(fds[1], keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) abort();
    close(fds[1]);
    return fds[0];
  }
};
