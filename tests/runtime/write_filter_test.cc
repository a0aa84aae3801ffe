#include "runtime/write_filter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/registry_access.h"
#include "runtime/support_services.h"
#include "runtime_test_util.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

// An embedded controller: a loadable vendor library and a stand-in "ewfmgr" on the PATH that
// logs its arguments.
class WriteFilterTest : public ::testing::Test {
 protected:
  WriteFilterTest()
      : vendor_("KESTRUM_VENDOR_LIBRARY", "libm.so.6"),
        path_("PATH", (tools_.str() + ":" + (getenv("PATH") ? getenv("PATH") : "")).c_str()) {}

  void InstallTool() {
    fs::path tool = tools_.path() / "ewfmgr";
    std::ofstream(tool) << "#!/bin/sh\necho \"$*\" >> \"" << Log() << "\"\n";
    chmod(tool.c_str(), 0755);
  }
  std::string Log() const { return (tools_.path() / "ewfmgr.log").string(); }
  std::string LogText() const {
    std::ifstream in(Log());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // One process of the system: writes a registry value twice, as a fresh process would.
  static int WritingProcess() {
    ForgetProcessSettings();
    if (!IsEmbeddedController()) return 2;
    for (const char* value : {"1", "2"}) {
      RegKey key = nullptr;
      if (CreateRegistryKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Veltrane\\Kestrum", 0,
                            kKeyAllAccess, GetSharedSecurityAttributes(), &key, nullptr) != 0) {
        return 3;
      }
      int rc = SetRegistryValue(key, "Count", kRegSz, value, 2);
      RegCloseKey(key);
      if (rc != 0) return 4;
    }
    return 0;
  }

  parvex_test::ScopedInstance instance_;
  parvex_test::ScopedTempDir tools_;
  parvex_test::ScopedEnv vendor_;
  parvex_test::ScopedEnv path_;
};

TEST_F(WriteFilterTest, OnlyTheFirstProcessAfterStartUpCommits) {
  InstallTool();
  EXPECT_EQ(kestrum_test::InChild(WritingProcess), 0);
  EXPECT_EQ(LogText(), "c: -commitanddisable -live\nc: -enable\n");
  EXPECT_EQ(kestrum_test::InChild(WritingProcess), 0);
  EXPECT_EQ(LogText(), "c: -commitanddisable -live\nc: -enable\n");
  EXPECT_EQ(kestrum_test::GetString("SOFTWARE\\Veltrane\\Kestrum", "Count"), "2");
}

TEST_F(WriteFilterTest, AToolThatCannotStartLeavesTheWriteUndoneAndTheCommitPending) {
  int rc = kestrum_test::InChild([] {
    ForgetProcessSettings();
    RegKey key = nullptr;
    int result = CreateRegistryKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Test", 0,
                                   kKeyAllAccess, nullptr, &key, nullptr);
    return result == ENOENT && key == nullptr ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(fs::exists(instance_.registry() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Test"));
  // Once the tool is there, the next process commits.
  InstallTool();
  EXPECT_EQ(kestrum_test::InChild(WritingProcess), 0);
  EXPECT_EQ(LogText(), "c: -commitanddisable -live\nc: -enable\n");
}

TEST_F(WriteFilterTest, OffTheControllerNothingRuns) {
  InstallTool();
  int rc = kestrum_test::InChild([] {
    setenv("KESTRUM_VENDOR_LIBRARY", "/nonexistent/libvendor.so", 1);
    ForgetProcessSettings();
    return !IsEmbeddedController() && GetSystemDriveLetter() == 'C' &&
                   strcmp(GetProductName(), "Kestrum") == 0 && BeginProtectedWrite() == 1 &&
                   EndProtectedWrite() == 1
               ? 0
               : 1;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(LogText(), "");
  // On the controller the defaults change.
  rc = kestrum_test::InChild([] {
    ForgetProcessSettings();
    return GetSystemDriveLetter() == 'D' && strcmp(GetProductName(), "Tarvo") == 0 ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
}

}  // namespace
}  // namespace kestrum
