#include "runtime/write_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/environment.h"
#include "runtime/registry_access.h"
#include "runtime/support_services.h"
#include "runtime_test_util.h"
#include "test_child.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kLoadableLibrary[] = "kernel32.dll";
constexpr char kPathSeparator[] = ";";
constexpr char kProgramSuffix[] = ".exe";
#else
constexpr char kLoadableLibrary[] = "libm.so.6";
constexpr char kPathSeparator[] = ":";
constexpr char kProgramSuffix[] = "";
#endif

// An embedded controller: a loadable vendor library and a stand-in "ewfmgr" on the PATH that
// logs its arguments.
class WriteFilterTest : public ::testing::Test {
 protected:
  WriteFilterTest()
      : vendor_("KESTRUM_VENDOR_LIBRARY", kLoadableLibrary),
        path_("PATH",
              (tools_.str() + kPathSeparator + (getenv("PATH") ? getenv("PATH") : "")).c_str()),
        log_("PARVEX_TOOL_LOG", Log().c_str()) {}

  void InstallTool() {
    fs::copy_file(PARVEX_TEST_TOOL_STANDIN,
                  tools_.path() / ("ewfmgr" + std::string(kProgramSuffix)));
  }
  std::string Log() const { return (tools_.path() / "ewfmgr.log").string(); }
  std::string LogText() const {
    std::ifstream in(Log());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  parvex_test::ScopedInstance instance_;
  parvex_test::ScopedTempDir tools_;
  parvex_test::ScopedEnv vendor_;
  parvex_test::ScopedEnv path_;
  parvex_test::ScopedEnv log_;
};

// One process of the system: writes a registry value twice, as a fresh process would.
PARVEX_TEST_CHILD(WritingProcess) {
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

// A process whose first registry write cannot start the tool.
PARVEX_TEST_CHILD(WriteWithoutTool) {
  ForgetProcessSettings();
  RegKey key = nullptr;
  int result = CreateRegistryKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Test", 0,
                                 kKeyAllAccess, nullptr, &key, nullptr);
  return result == ENOENT && key == nullptr ? 0 : 1;
}

// A process off the controller: the write-filter steps do nothing, the defaults are the PC's.
PARVEX_TEST_CHILD(OffTheController) {
  SetEnvironmentValue("KESTRUM_VENDOR_LIBRARY", "/nonexistent/libvendor.so");
  ForgetProcessSettings();
  return !IsEmbeddedController() && GetSystemDriveLetter() == 'C' &&
                 strcmp(GetProductName(), "Kestrum") == 0 && BeginProtectedWrite() == 1 &&
                 EndProtectedWrite() == 1
             ? 0
             : 1;
}

PARVEX_TEST_CHILD(OnTheController) {
  ForgetProcessSettings();
  return GetSystemDriveLetter() == 'D' && strcmp(GetProductName(), "Tarvo") == 0 ? 0 : 1;
}

TEST_F(WriteFilterTest, OnlyTheFirstProcessAfterStartUpCommits) {
  InstallTool();
  EXPECT_EQ(parvex_test::RunChild("WritingProcess"), 0);
  EXPECT_EQ(LogText(), "c: -commitanddisable -live\nc: -enable\n");
  EXPECT_EQ(parvex_test::RunChild("WritingProcess"), 0);
  EXPECT_EQ(LogText(), "c: -commitanddisable -live\nc: -enable\n");
  EXPECT_EQ(kestrum_test::GetString("SOFTWARE\\Veltrane\\Kestrum", "Count"), "2");
}

TEST_F(WriteFilterTest, AToolThatCannotStartLeavesTheWriteUndoneAndTheCommitPending) {
  EXPECT_EQ(parvex_test::RunChild("WriteWithoutTool"), 0);
  RegKey made = nullptr;
  EXPECT_NE(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Test", kKeyRead, &made), 0);
  // Once the tool is there, the next process commits.
  InstallTool();
  EXPECT_EQ(parvex_test::RunChild("WritingProcess"), 0);
  EXPECT_EQ(LogText(), "c: -commitanddisable -live\nc: -enable\n");
}

TEST_F(WriteFilterTest, OffTheControllerNothingRuns) {
  InstallTool();
  EXPECT_EQ(parvex_test::RunChild("OffTheController"), 0);
  EXPECT_EQ(LogText(), "");
  // On the controller the defaults change.
  EXPECT_EQ(parvex_test::RunChild("OnTheController"), 0);
}

}  // namespace
}  // namespace kestrum
