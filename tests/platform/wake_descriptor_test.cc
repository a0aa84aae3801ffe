#include "platform/wake_descriptor.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

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

  int other = CreateWakeDescriptor();
  ASSERT_GE(other, 0);
  RaiseWakeDescriptor(other);
  EXPECT_EQ(WaitReadable(fd, &other, 1, 1000), 1) << "the other descriptor counts too";
  RaiseWakeDescriptor(fd);
  EXPECT_EQ(WaitReadable(fd, &other, 1, 1000), 2) << "every readable descriptor counts";
  LowerWakeDescriptor(fd);
  CloseWakeDescriptor(other);

#ifndef _WIN32
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_EQ(write(pipe_fds[1], "x", 1), 1);
  EXPECT_EQ(WaitReadable(fd, &pipe_fds[0], 1, 1000), 1) << "any descriptor counts";
  close(pipe_fds[0]);
  close(pipe_fds[1]);
#endif
  CloseWakeDescriptor(fd);
}

}  // namespace
}  // namespace kestrum
