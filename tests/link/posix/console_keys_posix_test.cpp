// The POSIX console keys, with standard input replaced for the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "link/console_keys.h"

namespace {

// Puts fd in the place of standard input for the life of one test.
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

}  // namespace

TEST(ConsoleKeysPosix, KeysComeOneByteAtATimeAndThenTheEndOfInput) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "y\0;", 3), 3);  // a key, then an extended key's two codes
  close(fds[1]);
  StandardInputFrom keys(fds[0]);
  EXPECT_EQ(KeyWaiting(), 1);
  EXPECT_EQ(ReadKey(), 'y');
  EXPECT_EQ(ReadKey(), 0);
  EXPECT_EQ(ReadKey(), ';');
  EXPECT_EQ(KeyWaiting(), 1);  // the end of input is reported at once
  EXPECT_EQ(ReadKey(), -1);
}

// A read that fails (here standard input is open for writing only) ends like the end of
// input, at once: only a read interrupted by a signal is made again. The child gives up
// after 10 s, so that a read that went round for ever fails the test instead of holding it.
TEST(ConsoleKeysPosix, AKeyReadThatFailsEndsLikeTheEndOfInput) {
  StandardInputFrom writeOnly(open("/dev/null", O_WRONLY));
  EXPECT_EXIT(
      {
        alarm(10);
        std::exit(ReadKey() == -1 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}
