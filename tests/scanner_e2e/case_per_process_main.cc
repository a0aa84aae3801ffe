// The Windows main of the end-to-end tests: each case runs in a process of its own (this
// program started again with a filter naming the case). A case's driver-manager instance makes
// the system's areas under their own names, since the real scanner it starts opens those names;
// on Windows an area lives as long as the process that created it, so a second case in the same
// process could not create them again. With a --gtest_filter of its own the program runs the
// cases it names in itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/own_process.h"
#include "platform/process.h"

namespace {

// Longest run of one case before it counts as hung.
constexpr int kCaseTimeoutMs = 120000;

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> forwarded(argv + 1, argv + argc);
  testing::InitGoogleMock(&argc, argv);
  if (testing::GTEST_FLAG(filter) != "*" || testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  const std::string program = kestrum::OwnProgramPath();
  std::vector<std::string> failed;
  int count = 0;
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  for (int s = 0; s < unit.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *unit.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const std::string name = std::string(suite.name()) + "." + suite.GetTestInfo(t)->name();
      std::vector<std::string> child = {program};
      child.insert(child.end(), forwarded.begin(), forwarded.end());
      child.push_back("--gtest_filter=" + name);
      std::fflush(stdout);
      kestrum::ProcessId pid = 0;
      int status = -1;
      if (kestrum::SpawnProcess(child, nullptr, &pid) == 0 &&
          kestrum::WaitProcess(pid, kCaseTimeoutMs, &status) != 0) {
        kestrum::EndProcess(pid);
        kestrum::WaitProcess(pid, -1, nullptr);
        status = -1;
      }
      ++count;
      if (status != 0) failed.push_back(name + " (exit " + std::to_string(status) + ")");
    }
  }
  std::printf("[==========] %d cases, each in a process of its own: %zu failed\n", count,
              failed.size());
  for (const std::string& name : failed) std::printf("[  FAILED  ] %s\n", name.c_str());
  return failed.empty() ? 0 : 1;
}
