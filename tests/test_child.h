// Work a test runs in a child process. Windows has no fork, so on both platforms the child is
// the test program started again in a child mode that runs one registered function (its exit
// code is the function's result) instead of the tests. The child inherits the environment, so
// it sees the instance (KESTRUM_RUNDIR, and on Windows the test's registry) of the test that
// starts it, and the test's object-name prefix; it shares nothing else with the test.
#ifndef PARVEX_TESTS_TEST_CHILD_H_
#define PARVEX_TESTS_TEST_CHILD_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace parvex_test {

using ChildMain = int (*)(const std::vector<std::string>& args);

/// Registers `main` as the child mode `name` (unique in the program). Returns true.
bool RegisterChild(const char* name, ChildMain main);

/// Runs the child mode `argv[2]` with the arguments after it when `argv[1]` is the child-mode
/// flag: returns true and the mode's exit code in `*code`. Returns false for a normal start.
bool RunChildMode(int argc, char** argv, int* code);

/// Defines and registers the child mode `name`, a function of `args`:
///   PARVEX_TEST_CHILD(PostOnce) { return Post(args.at(0)) == 0 ? 0 : 1; }
#define PARVEX_TEST_CHILD(name)                                                              \
  int name(const std::vector<std::string>& args);                                            \
  [[maybe_unused]] const bool name##_registered = ::parvex_test::RegisterChild(#name, name); \
  int name([[maybe_unused]] const std::vector<std::string>& args)

/// A running child mode of this program. Kills and reaps the child when it is still running
/// at destruction.
class TestChild {
 public:
  TestChild(const char* name, const std::vector<std::string>& args = {});
  ~TestChild();
  TestChild(const TestChild&) = delete;
  TestChild& operator=(const TestChild&) = delete;

  bool started() const { return pid_ > 0; }
  uint32_t pid() const { return static_cast<uint32_t>(pid_); }

  /// Waits at most `timeout_ms` for the child to end: its exit code, or -1 when it did not end
  /// in time (it is killed then), was ended by a signal, or never started.
  int Wait(int timeout_ms);

 private:
  pid_t pid_ = -1;
};

/// Runs the child mode `name` and waits for it: TestChild::Wait's result.
inline int RunChild(const char* name, const std::vector<std::string>& args = {},
                    int timeout_ms = 10000) {
  return TestChild(name, args).Wait(timeout_ms);
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_TEST_CHILD_H_
