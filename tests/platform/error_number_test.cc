#include "platform/error_number.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace kestrum {
namespace {

TEST(ErrorNumber, IsPerThreadAndKeptApartFromLastError) {
  SetErrorNumber(67);
  SetLastPlatformError(kXmlParseError);
  int seen_in_other_thread = -1;
  std::thread([&] { seen_in_other_thread = GetErrorNumber(); }).join();
  EXPECT_EQ(seen_in_other_thread, 0);
  EXPECT_EQ(GetErrorNumber(), 67);
  EXPECT_EQ(GetLastPlatformError(), kXmlParseError);

  errno = ENOENT;
  EXPECT_EQ(FailFromErrno(), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(GetLastPlatformError(), ENOENT);
}

}  // namespace
}  // namespace kestrum
