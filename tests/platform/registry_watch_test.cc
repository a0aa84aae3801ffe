#include "platform/registry_watch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include "scoped_registry_keys.h"
#else
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"
#endif

namespace kestrum {
namespace {

constexpr int kPatienceMs = 5000;

RegKey CreateKey(const char* path) {
  RegKey key = nullptr;
  EXPECT_EQ(RegCreateKey(RegHiveKey(RegHive::kLocalMachine), path, 0, kKeyAllAccess, nullptr, &key,
                         nullptr),
            0);
  return key;
}

// The registry a test works in: on Linux an instance of its own, on Windows the prefix's
// registry without the keys that the tests use.
class RegistryWatchTest : public ::testing::Test {
#ifdef _WIN32
  parvex_test::ScopedRegistryKeys keys_{"SOFTWARE\\Veltrane", "SOFTWARE\\Top"};
#else
  parvex_test::ScopedInstance instance_;
#endif
};

TEST_F(RegistryWatchTest, SeesAValueWrittenByAnotherProcess) {
  RegKey key = CreateKey("SOFTWARE\\Veltrane\\Kestrum");
  std::unique_ptr<RegistryWatch> watch;
  ASSERT_EQ(RegWatchKey(key, false, &watch), 0);
  EXPECT_EQ(watch->Wait(0), 0);

#ifdef _WIN32
  ASSERT_EQ(std::system("reg add HKLM\\SOFTWARE\\Veltrane\\Kestrum /v PARVEX_1_Debug /d ON /f"
                        " >NUL"),
            0);
#else
  pid_t child = fork();
  if (child == 0) {
    RegKey own = nullptr;
    int rc = RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "software\\veltrane\\kestrum",
                        kKeySetValue, &own);
    _exit(rc == 0 && RegSetString(own, "PARVEX_1_Debug", "ON") == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
#endif

  EXPECT_EQ(watch->Wait(kPatienceMs), 1);
  std::string text;
  EXPECT_EQ(RegGetString(key, "PARVEX_1_Debug", &text), 0);
  EXPECT_EQ(text, "ON");
  EXPECT_EQ(watch->Wait(0), 0);  // the change was taken

#ifndef _WIN32
  // A file edited in place by hand counts as well.
  std::ofstream(RegKeyFolder(key) + "/PARVEX_1_Debug") << "OFF\n";
  EXPECT_EQ(watch->Wait(kPatienceMs), 1);
#endif
  RegCloseKey(key);
}

TEST_F(RegistryWatchTest, SubtreeCoversKeysCreatedAfterTheWatchStarted) {
  RegKey top = CreateKey("SOFTWARE\\Top");
  std::unique_ptr<RegistryWatch> flat, deep;
  ASSERT_EQ(RegWatchKey(top, false, &flat), 0);
  ASSERT_EQ(RegWatchKey(top, true, &deep), 0);

  RegKey sub = CreateKey("SOFTWARE\\Top\\Sub");
  EXPECT_EQ(flat->Wait(kPatienceMs), 1);
  EXPECT_EQ(deep->Wait(kPatienceMs), 1);

  ASSERT_EQ(RegSetDword(sub, "Value", 3), 0);
  EXPECT_EQ(deep->Wait(kPatienceMs), 1);
  EXPECT_EQ(flat->Wait(0), 0);  // a value below the key is not a change of the key itself
  RegCloseKey(sub);
  RegCloseKey(top);
}

#ifndef _WIN32
TEST(RegistryWatch, KeyThatIsNotStoredCannotBeWatched) {
  parvex_test::ScopedInstance instance;
  RegKey key = nullptr;
  ASSERT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                       kKeyRead, &key),
            0);
  std::unique_ptr<RegistryWatch> watch;
  EXPECT_EQ(RegWatchKey(key, false, &watch), ENOENT);
  EXPECT_EQ(watch, nullptr);
  RegCloseKey(key);
}
#endif

}  // namespace
}  // namespace kestrum
