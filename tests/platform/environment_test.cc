#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/error_number.h"

namespace kestrum {
namespace {

TEST(Environment, SetFindAndRemoveAVariable) {
  const std::string name = "PARVEX_ENVIRONMENT_TEST";
  ASSERT_EQ(SetEnvironmentValue(name, "one"), 0);
  ASSERT_EQ(SetEnvironmentValue(name, "two"), 0);
  ASSERT_NE(FindEnvironmentVariable(name), nullptr);
  EXPECT_STREQ(FindEnvironmentVariable(name), "two");
  EXPECT_STREQ(FindEnvironmentVariable("parvex_environment_test"), "two");  // case ignored

  EXPECT_EQ(SetEnvironmentValue(name, ""), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);

  ASSERT_EQ(RemoveEnvironmentValue(name), 0);
  EXPECT_EQ(FindEnvironmentVariable(name), nullptr);
  EXPECT_EQ(RemoveEnvironmentValue(name), 0);  // nothing there
}

}  // namespace
}  // namespace kestrum
