// How the Windows port reads the wait on an overlapped transfer.
#include <gtest/gtest.h>

#include "link/win32/transfer_wait_win32.h"

TEST(TransferWait, OnlyASignalledEventEndsATransfer) {
  EXPECT_TRUE(TransferEnded(WAIT_OBJECT_0));
  // Anything else leaves the transfer running: it is cancelled, never waited for without
  // a bound.
  EXPECT_FALSE(TransferEnded(WAIT_TIMEOUT));
  EXPECT_FALSE(TransferEnded(WAIT_FAILED));
  EXPECT_FALSE(TransferEnded(WAIT_ABANDONED));
}
