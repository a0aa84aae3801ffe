// The Windows main of the end-to-end tests: each case runs in a process of its own (this
// program started again with a filter naming the case). A case's driver-manager instance makes
// the system's areas under their own names, since the real scanner it starts opens those names;
// on Windows an area lives as long as the process that created it, so a second case in the same
// process could not create them again. A --gtest_filter chooses the cases as usual.
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
// Marks the start of a program that runs the one case its filter names.
constexpr char kOneCaseFlag[] = "--parvex-one-case";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> forwarded;
  bool one_case = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    one_case |= arg == kOneCaseFlag;
    if (arg.rfind("--gtest_filter=", 0) != 0) forwarded.push_back(arg);
  }
  testing::InitGoogleMock(&argc, argv);
  if (one_case || testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // Listing marks the cases the filter chooses (should_run) without running any.
  testing::GTEST_FLAG(list_tests) = true;
  if (RUN_ALL_TESTS() != 0) return 1;

  const std::string program = kestrum::OwnProgramPath();
  std::vector<std::string> failed;
  int count = 0;
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  for (int s = 0; s < unit.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *unit.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const testing::TestInfo& info = *suite.GetTestInfo(t);
      if (!info.should_run()) continue;
      const std::string name = std::string(suite.name()) + "." + info.name();
      std::vector<std::string> child = {program, kOneCaseFlag};
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
