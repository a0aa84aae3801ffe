#include "test_child.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/instance_paths.h"
#include "platform/own_process.h"
#include "platform/process.h"
#ifdef _WIN32
#include "platform/registry.h"
#endif

namespace parvex_test {
namespace {

constexpr char kChildFlag[] = "--parvex-child";
constexpr char kPrefixFlag[] = "--object-prefix=";
// The exit code of a killed child on both platforms (KillProcess's 128 plus the signal).
constexpr int kKillSignal = 9;

std::map<std::string, ChildMain>& Children() {
  static std::map<std::string, ChildMain> children;
  return children;
}

}  // namespace

bool RegisterChild(const char* name, ChildMain main) {
  if (!Children().emplace(name, main).second) {
    std::fprintf(stderr, "child mode %s registered twice\n", name);
    std::abort();
  }
  return true;
}

bool RunChildMode(int argc, char** argv, int* code) {
  if (argc < 4 || std::string(argv[1]) != kChildFlag) return false;
  const auto found = Children().find(argv[2]);
  const std::string prefix = argv[3];
  if (found == Children().end() || prefix.rfind(kPrefixFlag, 0) != 0) {
    std::fprintf(stderr, "no child mode %s\n", argv[2]);
    *code = 98;
    return true;
  }
  kestrum::SetObjectNamePrefixForTests(prefix.substr(sizeof kPrefixFlag - 1));
#ifdef _WIN32
  // The registry of the test that started this child (see ScopedInstance).
  if (const char* mapped = std::getenv("PARVEX_TEST_LOCAL_MACHINE")) {
    kestrum::MapLocalMachineForTests(mapped, false);
  }
#endif
  *code = found->second(std::vector<std::string>(argv + 4, argv + argc));
  return true;
}

TestChild::TestChild(const char* name, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kestrum::OwnProgramPath(), kChildFlag, name,
                                   kPrefixFlag + kestrum::WithObjectNamePrefix("")};
  argv.insert(argv.end(), args.begin(), args.end());
  if (argv[0].empty() || kestrum::SpawnProcess(argv, nullptr, &pid_) != 0) pid_ = -1;
}

TestChild::~TestChild() {
  if (pid_ > 0) Wait(0);
}

int TestChild::Wait(int timeout_ms) {
  if (pid_ <= 0) return -1;
  int status = -1;
  if (kestrum::WaitProcess(pid_, timeout_ms, &status) != 0) {
    kestrum::KillProcess(pid_, kKillSignal);
    kestrum::WaitProcess(pid_, -1, nullptr);
    status = -1;
  } else if (status >= 128) {
    status = -1;  // ended by a signal
  }
  pid_ = -1;
  return status;
}

}  // namespace parvex_test

// The test program's entry: a child mode when started as one, else the tests.
int main(int argc, char** argv) {
  int code = 0;
  if (parvex_test::RunChildMode(argc, argv, &code)) return code;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
