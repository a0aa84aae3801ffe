#include "platform/stop_request.h"

#include <gtest/gtest.h>

#include <csignal>

namespace kestrum {
namespace {

volatile std::sig_atomic_t g_stop = 0;

TEST(StopRequest, InterruptAndTerminateSetTheFlagAndBrokenPipesAreIgnored) {
  ASSERT_EQ(WatchStopRequests(&g_stop), 0);
  for (int signal : {SIGINT, SIGTERM}) {
    g_stop = 0;
    std::raise(signal);
    EXPECT_EQ(g_stop, 1) << signal;
  }
  ASSERT_EQ(IgnoreBrokenPipes(), 0);
  std::raise(SIGPIPE);  // would end the test program
}

}  // namespace
}  // namespace kestrum
