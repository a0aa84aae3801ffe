#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/error_number.h"
#include "platform/own_process.h"

namespace kestrum {
namespace {

// The child program of these tests (process_child.cc), built beside them.
const std::string kChild = PARVEX_PROCESS_CHILD;

TEST(Process, RunsWithArgumentsAndEnvironmentAndReportsExitCode) {
  std::string out = testing::TempDir() + "parvex-process-" + std::to_string(OwnProcessId());
  std::vector<std::string> env = {"GREETING=hello world"};
  // Blanks, quotes, backslashes before a quote or at the end, and an empty argument must all
  // arrive as given (Windows passes one command line that the child splits again).
  std::vector<std::string> args = {"a b",      "",           "say \"hi\"",
                                   "my dir\\", "dir\\\\\"x", "\\\\server\\s"};
  std::vector<std::string> argv = {kChild, "write", out, "3"};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = 0;
  ASSERT_EQ(SpawnProcess(argv, &env, &pid), 0);
  int status = -1;
  ASSERT_EQ(WaitProcess(pid, 10000, &status), 0);
  EXPECT_EQ(status, 3);
  std::ifstream in(out, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  in.close();
  std::filesystem::remove(out);
  std::string expected = "hello world\n";
  for (const std::string& arg : args) expected += arg + "\n";
  EXPECT_EQ(got.str(), expected);
}

TEST(Process, SearchesThePathAndFailsForAMissingProgram) {
  int status = -1;
#ifdef _WIN32
  ASSERT_EQ(RunProcess({"cmd", "/c", "exit", "0"}, &status), 0);
#else
  ASSERT_EQ(RunProcess({"true"}, &status), 0);
#endif
  EXPECT_EQ(status, 0);
  EXPECT_EQ(RunProcess({"no-such-program-parvex"}, &status), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(RunProcess({}, &status), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
}

TEST(Process, WaitTimesOutAndKillEndsTheChild) {
  ProcessId pid = 0;
  ASSERT_EQ(SpawnProcess({kChild, "sleep", "30"}, nullptr, &pid), 0);
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

  ASSERT_EQ(SpawnProcess({kChild, "sleep", "30"}, nullptr, &pid), 0);
  ASSERT_EQ(EndProcess(pid), 0);
  ASSERT_EQ(WaitProcess(pid, 10000, &status), 0);
  EXPECT_EQ(status, kEndedProcessStatus);
}

}  // namespace
}  // namespace kestrum
