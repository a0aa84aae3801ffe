// Helpers shared by every test folder: temporary folders and per-test SCADA instances.
#ifndef PARVEX_TESTS_TEST_UTIL_H_
#define PARVEX_TESTS_TEST_UTIL_H_

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/environment.h"
#ifdef _WIN32
#include "platform/registry.h"
#endif

namespace parvex_test {

/// Sets the environment variable `name` to `value`, or removes it when `value` is null or empty
/// (Windows keeps no empty variables).
inline void SetOrRemoveEnv(const std::string& name, const char* value) {
  if (value != nullptr && *value != '\0') {
    kestrum::SetEnvironmentValue(name, value);
  } else {
    kestrum::RemoveEnvironmentValue(name);
  }
}

/// A fresh folder under $TMPDIR (or /tmp; on Windows the user's temporary folder), only its
/// creator's, removed with everything in it on destruction, also when an assertion failed.
class ScopedTempDir {
 public:
  ScopedTempDir() {
#ifdef _WIN32
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && path_.empty() && !ec; ++attempt) {
      const std::filesystem::path made = base / ("parvex-test-" + std::to_string(seed()));
      if (std::filesystem::create_directory(made, ec)) path_ = made;
    }
#else
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/parvex-test-XXXXXX";
    if (char* made = mkdtemp(pattern.data())) path_ = made;
#endif
  }
  ~ScopedTempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

/// Points KESTRUM_RUNDIR and KESTRUM_REGISTRY at folders of its own for as long as it lives,
/// so tests that create objects never meet another test's objects. Restores the previous
/// values on destruction. On Windows the process's HKEY_LOCAL_MACHINE is a fresh key of its
/// own for as long as it lives (one instance at a time).
class ScopedInstance {
 public:
  ScopedInstance() : old_rundir_(Get("KESTRUM_RUNDIR")), old_registry_(Get("KESTRUM_REGISTRY")) {
    std::filesystem::create_directories(rundir());
    std::filesystem::create_directories(registry());
    kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", rundir().string());
    kestrum::SetEnvironmentValue("KESTRUM_REGISTRY", registry().string());
#ifdef _WIN32
    // Children of the test (test_child.h) map the same key.
    kestrum::MapLocalMachineForTests(dir_.path().filename().string());
    kestrum::SetEnvironmentValue("PARVEX_TEST_LOCAL_MACHINE", dir_.path().filename().string());
#endif
  }
  ~ScopedInstance() {
#ifdef _WIN32
    kestrum::MapLocalMachineForTests("");
    kestrum::RemoveEnvironmentValue("PARVEX_TEST_LOCAL_MACHINE");
#endif
    Restore("KESTRUM_RUNDIR", old_rundir_);
    Restore("KESTRUM_REGISTRY", old_registry_);
  }
  ScopedInstance(const ScopedInstance&) = delete;
  ScopedInstance& operator=(const ScopedInstance&) = delete;

  std::filesystem::path root() const { return dir_.path(); }
  std::filesystem::path rundir() const { return dir_.path() / "run"; }
  std::filesystem::path registry() const { return dir_.path() / "registry"; }

 private:
  static std::pair<bool, std::string> Get(const char* name) {
    const char* v = std::getenv(name);
    return {v != nullptr, v ? v : ""};
  }
  static void Restore(const char* name, const std::pair<bool, std::string>& old) {
    SetOrRemoveEnv(name, old.first ? old.second.c_str() : nullptr);
  }

  ScopedTempDir dir_;
  std::pair<bool, std::string> old_rundir_;
  std::pair<bool, std::string> old_registry_;
};

/// Sets (or, with a null value, removes) one environment variable for as long as it lives and
/// restores the previous state on destruction.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (old) old_ = old;
    SetOrRemoveEnv(name, value);
  }
  ~ScopedEnv() { SetOrRemoveEnv(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_TEST_UTIL_H_
