#include "platform/wake_descriptor.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrum {
namespace {

TEST(WakeDescriptor, ReadableExactlyWhileRaised) {
  int fd = CreateWakeDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(WaitReadable(fd, nullptr, 0, 0), 0);
  RaiseWakeDescriptor(fd);
  RaiseWakeDescriptor(fd);
  EXPECT_EQ(WaitReadable(fd, nullptr, 0, 0), 1);
  LowerWakeDescriptor(fd);  // one lowering clears any number of raises
  EXPECT_EQ(WaitReadable(fd, nullptr, 0, 0), 0);
  LowerWakeDescriptor(fd);  // lowering a lowered flag does not block
  EXPECT_EQ(WaitReadable(fd, nullptr, 0, 0), 0);

  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_EQ(write(pipe_fds[1], "x", 1), 1);
  EXPECT_EQ(WaitReadable(fd, &pipe_fds[0], 1, 1000), 1) << "the other descriptor counts too";
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  CloseWakeDescriptor(fd);
}

}  // namespace
}  // namespace kestrum
