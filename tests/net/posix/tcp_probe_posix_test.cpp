// The TCP probe when the system refuses to make its socket non-blocking. No socket does
// that by itself, so a child process has the system refuse it: a seccomp filter makes
// every fcntl(F_SETFL) fail, and the probe must give the socket up, not connect with it
// blocking.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstdlib>

#include "net/tcp_probe.h"

namespace {

// Installs a filter under which fcntl(..., F_SETFL, ...) fails with EPERM; everything
// else is allowed. False when the system has no seccomp.
bool RefuseSetFlags() {
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fcntl, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_SETFL, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter{static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

int ProbeWithoutNonBlocking() {
  if (!RefuseSetFlags()) return 100;
  AimTcpProbe("127.0.0.1", 9);  // never reached: the probe must stop before it connects
  return static_cast<int>(TcpProbe(10));
}

}  // namespace

TEST(TcpProbePosix, ASocketThatStaysBlockingIsGivenUp) {
  EXPECT_EXIT(std::exit(ProbeWithoutNonBlocking()),
              testing::ExitedWithCode(static_cast<int>(TcpProbeResult::NoSocket)), "");
}
