#include "runtime/install_roots.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>

#include "platform/error_number.h"
#include "runtime_test_util.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using kestrum_test::PutString;

constexpr const char* kFamily = "SOFTWARE\\Veltrane\\Kestrum";

TEST(ProductName, DefaultFirstChoiceSecondChoiceAndEmptyValue) {
  {
    kestrum_test::RuntimeInstance runtime;
    EXPECT_STREQ(GetProductName(), "Kestrum");
    EXPECT_STREQ(GetInstallRoot(), "/opt/Kestrum");
    EXPECT_EQ(GetSystemDriveLetter(), 'C');
  }
  {
    kestrum_test::RuntimeInstance runtime;
    PutString(kFamily, "ProductName", "Second");
    PutString("SOFTWARE\\Veltrane", "ProductName", "First");
    EXPECT_STREQ(GetProductName(), "First");
    EXPECT_STREQ(GetInstallRoot(), "/opt/First");
  }
  {
    kestrum_test::RuntimeInstance runtime;
    PutString(kFamily, "ProductName", "Second");
    EXPECT_STREQ(GetProductName(), "Second");
  }
  {
    kestrum_test::RuntimeInstance runtime;
    PutString("SOFTWARE\\Veltrane", "ProductName", "");
    EXPECT_STREQ(GetProductName(), "Kestrum");
  }
  {
    kestrum_test::RuntimeInstance runtime;
    PutString("SOFTWARE\\Veltrane", "ProductName", std::string(31, 'x'));
    PutString(kFamily, "ProductName", std::string(30, 'y'));
    EXPECT_EQ(std::string(GetProductName()), std::string(30, 'y'));
  }
}

TEST(ProductName, DeterminedOncePerProcess) {
  kestrum_test::RuntimeInstance runtime;
  EXPECT_STREQ(GetProductName(), "Kestrum");
  PutString("SOFTWARE\\Veltrane", "ProductName", "Later");
  EXPECT_STREQ(GetProductName(), "Kestrum");
}

TEST(InstallRoot, RootValueReplacesTheDefaultProductKeyFirst) {
  kestrum_test::RuntimeInstance runtime;
  PutString("SOFTWARE\\Veltrane", "ProductName", "Tarvo");
  PutString(kFamily, "Root:", "/srv/Family");
  EXPECT_STREQ(GetInstallRoot(), "/srv/Family");
  PutString("SOFTWARE\\Veltrane\\Tarvo", "Root:", "/srv/Tarvo");
  EXPECT_STREQ(GetInstallRoot(), "/srv/Tarvo");
  PutString("SOFTWARE\\Veltrane\\Tarvo", "Root:", std::string(kMaxRootValue + 1, 'r'));
  EXPECT_STREQ(GetInstallRoot(), "/opt/Tarvo");  // too long: unreadable, not cut short
}

TEST(ResolveLocation, EnvironmentRootAndPrefixes) {
  kestrum_test::RuntimeInstance runtime;
  PutString(kFamily, "Root:", "/srv/MixedCase");
  parvex_test::ScopedEnv saved("KSM_SAVED_VALUES", nullptr);
  parvex_test::ScopedEnv bin("KSM_BIN", "/usr/lib/Kestrum/bin");
  EXPECT_STREQ(ResolveLocation("KSM_SAVED_VALUES"), "/srv/MixedCase/SAVED_VALUES");
  EXPECT_STREQ(ResolveLocation("ksm_saved_values"), "/srv/MixedCase/SAVED_VALUES");
  EXPECT_STREQ(ResolveLocation("KSM_BIN"), "/usr/lib/Kestrum/bin");
  EXPECT_STREQ(ResolveLocation("DM2_BIN"), "/usr/lib/Kestrum/bin");
  EXPECT_STREQ(ResolveLocation("dm2_Bin"), "/usr/lib/Kestrum/bin");  // names ignore case
  EXPECT_STREQ(ResolveLocation("KSM_"), "/srv/MixedCase/");
  {
    parvex_test::ScopedEnv plain("KSM_SAVED_VALUES", "/data/Saved_Values");
    EXPECT_STREQ(ResolveLocation("KSM_SAVED_VALUES"), "/data/Saved_Values");
  }
  std::string longest = "KSM_" + std::string(245, 'A');
  EXPECT_NE(ResolveLocation(longest.c_str()), nullptr);
  SetErrorNumber(0);
  EXPECT_EQ(ResolveLocation((longest + "A").c_str()), nullptr);
  EXPECT_EQ(GetErrorNumber(), 22);
}

TEST(ResolveLocation, RegistryReferences) {
  kestrum_test::RuntimeInstance runtime;
  PutString(kFamily, "Root:", "/srv/FromRegistry");
  struct Case {
    const char* value;
    const char* expected;
  } cases[] = {
      {"%\\LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\Root:%", "/srv/FromRegistry"},
      {"%\\localmachine\\software\\veltrane\\kestrum\\root:%", "/srv/FromRegistry"},
      {"%", "%"},
      {"%%", "%%"},
      {"%LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\Root:%",
       "%LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\Root:%"},
      {"%\\Elsewhere\\SOFTWARE\\Root:%", "%\\Elsewhere\\SOFTWARE\\Root:%"},
      {"%\\LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\%",
       "%\\LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\%"},
      {"%\\LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\Missing%",
       "%\\LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\Missing%"},
  };
  for (const Case& c : cases) {
    parvex_test::ScopedEnv variable("KSM_CURRENT_CONFIG", c.value);
    EXPECT_STREQ(ResolveLocation("KSM_CURRENT_CONFIG"), c.expected) << c.value;
  }
  // The product key is read first.
  PutString("SOFTWARE\\Veltrane", "ProductName", "Tarvo");
  ForgetProcessSettings();
  PutString("SOFTWARE\\Veltrane\\Tarvo", "Root:", "/srv/Product");
  parvex_test::ScopedEnv variable("KSM_CURRENT_CONFIG",
                                  "%\\LocalMachine\\SOFTWARE\\Veltrane\\Kestrum\\Root:%");
  EXPECT_STREQ(ResolveLocation("KSM_CURRENT_CONFIG"), "/srv/Product");
}

TEST(GetFolder, ExportFoldersAreCreatedAndFallBackToTheUsersFolder) {
  kestrum_test::RuntimeInstance runtime;
  fs::path root = runtime.instance().root();
  fs::path data = root / "data";
  fs::create_directories(data);
  fs::path locked = root / "locked";
  fs::create_directories(locked);
  parvex_test::ScopedEnv images("KSM_EXPORTED_IMAGES", (locked / "images").string().c_str());
  parvex_test::ScopedEnv exported("KSM_EXPORTED_DATA", (data / "exports").string().c_str());

  // Writable: the folder itself, made when missing.
  EXPECT_EQ(std::string(GetFolder("DM2_EXPORTED_DATA")), (data / "exports").string());
  EXPECT_TRUE(fs::is_directory(data / "exports"));
  // A location that is not an export folder is neither created nor checked.
  parvex_test::ScopedEnv saved("KSM_SAVED_VALUES", (locked / "saved").string().c_str());
  EXPECT_EQ(std::string(GetFolder("KSM_SAVED_VALUES")), (locked / "saved").string());
  EXPECT_FALSE(fs::exists(locked / "saved"));

#ifndef _WIN32
  // A folder the process may not write to falls back to the user's own folder. Checked as a
  // second, unprivileged user (the tests run as root in CI), which a Windows test cannot become
  // without that user's password: Linux only.
  // Let the unprivileged child reach the instance, read the registry and write its data.
  chmod(root.c_str(), 0755);
  chmod(runtime.instance().registry().c_str(), 0755);
  chmod(data.c_str(), 0777);
  chmod(locked.c_str(), 0755);
  parvex_test::ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
  std::string expected = (data / "Veltrane" / "Kestrum" / "EXPORTED_IMAGES").string();
  int rc = kestrum_test::InChild(
      [&] {
        ForgetProcessSettings();
        const char* folder = GetFolder("EXPORTED_IMAGES");
        return folder && folder == expected && fs::is_directory(expected) ? 0 : 1;
      },
      true);
  EXPECT_EQ(rc, 0);
#endif  // _WIN32
}

}  // namespace
}  // namespace kestrum
