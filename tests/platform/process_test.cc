#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "platform/error_number.h"
#include "test_util.h"

namespace kestrum {
namespace {

TEST(Process, RunsWithArgumentsAndEnvironmentAndReportsExitCode) {
  parvex_test::ScopedTempDir dir;
  std::string out = dir.str() + "/out";
  std::vector<std::string> env = {"GREETING=hello world"};
  pid_t pid = 0;
  ASSERT_EQ(
      SpawnProcess({"/bin/sh", "-c", "echo \"$GREETING\" \"$1\" > \"$0\"; exit 3", out, "a b"},
                   &env, &pid),
      0);
  int status = -1;
  ASSERT_EQ(WaitProcess(pid, 10000, &status), 0);
  EXPECT_EQ(status, 3);
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "hello world a b");
}

TEST(Process, SearchesThePathAndFailsForAMissingProgram) {
  int status = -1;
  ASSERT_EQ(RunProcess({"true"}, &status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(RunProcess({"no-such-program-parvex"}, &status), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(RunProcess({}, &status), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
}

TEST(Process, WaitTimesOutAndKillEndsTheChild) {
  pid_t pid = 0;
  ASSERT_EQ(SpawnProcess({"sleep", "30"}, nullptr, &pid), 0);
  int status = -1;
  EXPECT_EQ(WaitProcess(pid, 0, &status), -1);
  EXPECT_EQ(GetErrorNumber(), ETIMEDOUT);
  EXPECT_EQ(WaitProcess(pid, 50, &status), -1);
  EXPECT_EQ(GetErrorNumber(), ETIMEDOUT);
  ASSERT_EQ(KillProcess(pid, SIGTERM), 0);
  ASSERT_EQ(WaitProcess(pid, 10000, &status), 0);
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(WaitProcess(pid, 0, &status), -1);  // already reaped
  EXPECT_EQ(GetErrorNumber(), ECHILD);
}

}  // namespace
}  // namespace kestrum
