// Helpers of the runtime tests: a fresh instance with nothing determined yet, registry values
// written the way another process would, and running a check in a child process.
#ifndef PARVEX_TESTS_RUNTIME_RUNTIME_TEST_UTIL_H_
#define PARVEX_TESTS_RUNTIME_RUNTIME_TEST_UTIL_H_

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <string>

#include "platform/registry.h"
#include "runtime/install_roots.h"
#include "test_util.h"

namespace kestrum_test {

/// A ScopedInstance without an embedded controller and with the once-per-process settings
/// forgotten before and after.
class RuntimeInstance {
 public:
  RuntimeInstance() : vendor_("KESTRUM_VENDOR_LIBRARY", "/nonexistent/libvendor.so") {
    kestrum::ForgetProcessSettings();
  }
  ~RuntimeInstance() { kestrum::ForgetProcessSettings(); }

  const parvex_test::ScopedInstance& instance() const { return instance_; }

 private:
  parvex_test::ScopedInstance instance_;
  parvex_test::ScopedEnv vendor_;
};

/// Writes string value `name` of HKLM\`key` directly into the registry folders.
inline void PutString(const std::string& key, const std::string& name, const std::string& text) {
  kestrum::RegKey handle = nullptr;
  ASSERT_EQ(kestrum::RegCreateKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine), key, 0,
                                  kestrum::kKeyAllAccess, nullptr, &handle, nullptr),
            0);
  ASSERT_EQ(kestrum::RegSetString(handle, name, text), 0);
  kestrum::RegCloseKey(handle);
}

/// Reads string value `name` of HKLM\`key`; "<missing>" when it cannot be read.
inline std::string GetString(const std::string& key, const std::string& name) {
  kestrum::RegKey handle = nullptr;
  std::string text = "<missing>";
  if (kestrum::RegOpenKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine), key,
                          kestrum::kKeyRead, &handle) == 0) {
    if (kestrum::RegGetString(handle, name, &text) != 0) text = "<missing>";
    kestrum::RegCloseKey(handle);
  }
  return text;
}

#ifndef _WIN32
/// Runs `check` in a child process made by fork (as user and group 65534 when `unprivileged`
/// and the tests run as root) and returns its exit code: the check's result, or 99 when it
/// could not run. Only the checks as another user need it (Linux only); other work for a child
/// process is a child mode of test_child.h, which runs on both platforms.
inline int InChild(const std::function<int()>& check, bool unprivileged = false) {
  pid_t child = fork();
  if (child == 0) {
    if (unprivileged && geteuid() == 0 &&
        (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)) {
      _exit(99);
    }
    _exit(check());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 99;
  return WEXITSTATUS(status);
}
#endif  // _WIN32

}  // namespace kestrum_test

#endif  // PARVEX_TESTS_RUNTIME_RUNTIME_TEST_UTIL_H_
