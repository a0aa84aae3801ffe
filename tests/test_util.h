// Helpers shared by every test folder: temporary folders and per-test SCADA instances.
#ifndef PARVEX_TESTS_TEST_UTIL_H_
#define PARVEX_TESTS_TEST_UTIL_H_

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include <unistd.h>

namespace parvex_test {

/// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction,
/// also when an assertion failed.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/parvex-test-XXXXXX";
    if (char* made = mkdtemp(pattern.data())) path_ = made;
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
/// values on destruction.
class ScopedInstance {
 public:
  ScopedInstance() : old_rundir_(Get("KESTRUM_RUNDIR")), old_registry_(Get("KESTRUM_REGISTRY")) {
    std::filesystem::create_directories(rundir());
    std::filesystem::create_directories(registry());
    setenv("KESTRUM_RUNDIR", rundir().c_str(), 1);
    setenv("KESTRUM_REGISTRY", registry().c_str(), 1);
  }
  ~ScopedInstance() {
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
    if (old.first) {
      setenv(name, old.second.c_str(), 1);
    } else {
      unsetenv(name);
    }
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
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_TEST_UTIL_H_
