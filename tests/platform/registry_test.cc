#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry_value_format.h"

#ifdef _WIN32
#include "scoped_registry_keys.h"
#else
#include <sys/wait.h>
#include <unistd.h>

#include "platform/security_attributes.h"
#include "test_util.h"
#endif

namespace kestrum {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}
#endif

class RegistryTest : public ::testing::Test {
 protected:
#ifndef _WIN32
  fs::path KeyDir(const std::string& relative) const {
    return instance_.registry() / "HKEY_LOCAL_MACHINE" / relative;
  }
#endif
  RegKey Create(const std::string& path) {
    RegKey key = nullptr;
    EXPECT_EQ(RegCreateKey(RegHiveKey(RegHive::kLocalMachine), path, kRegOptionNonVolatile,
                           kKeyAllAccess, nullptr, &key, nullptr),
              0);
    return key;
  }

#ifdef _WIN32
  parvex_test::ScopedRegistryKeys keys_{"SOFTWARE\\Veltrane", "SOFTWARE\\Test"};
#else
  parvex_test::ScopedInstance instance_;
#endif
};

TEST(RegValueFormat, EveryTypeReadsBackAsWritten) {
  const std::string binary("\x00\xff\x10", 3);
  struct Case {
    uint32_t type;
    std::string bytes;
    std::string file;
  } cases[] = {
      {kRegSz, "ON", "ON\n"},
      {kRegSz, "", "\n"},
      {kRegSz, "two\nlines\n", "two\nlines\n\n"},
      {kRegDword, std::string("\x2a\x00\x00\x80", 4), "dword:8000002a\n"},
      {kRegBinary, binary, "hex:00,ff,10\n"},
      {kRegBinary, "", "hex:\n"},
      {kRegQword, std::string(8, '\x01'), "hex(b):01,01,01,01,01,01,01,01\n"},
      // Strings that look like typed forms must not turn into numbers or bytes.
      {kRegSz, "dword:0000002a", "hex(1):64,77,6f,72,64,3a,30,30,30,30,30,30,32,61\n"},
      {kRegSz, "hex:", "hex(1):68,65,78,3a\n"},
  };
  for (const Case& c : cases) {
    std::string file = EncodeRegValue(c.type, c.bytes);
    EXPECT_EQ(file, c.file) << c.bytes;
    RegValueData back = DecodeRegValue(file);
    EXPECT_EQ(back.type, c.type) << c.file;
    EXPECT_EQ(back.bytes, c.bytes) << c.file;
  }
}

TEST(RegValueFormat, HandWrittenFilesAreStringsUnlessExactlyTyped) {
  EXPECT_EQ(DecodeRegValue("ON\n").bytes, "ON");
  EXPECT_EQ(DecodeRegValue("ON").bytes, "ON");
  EXPECT_EQ(DecodeRegValue("ON\n\n").bytes, "ON\n");
  for (const char* text : {"dword:2a", "dword:0000002g", "hex:0", "hex:00,", "hex(zz):00",
                           "hex(1:00", "dword:0000002a trailing"}) {
    RegValueData value = DecodeRegValue(text);
    EXPECT_EQ(value.type, kRegSz) << text;
    EXPECT_EQ(value.bytes, text);
  }
  RegValueData dword = DecodeRegValue("dword:0000FFFF");
  EXPECT_EQ(dword.type, kRegDword);
  EXPECT_EQ(dword.bytes, std::string("\xff\xff\x00\x00", 4));
}

TEST_F(RegistryTest, NamesMatchIgnoringCaseAndKeepTheirStoredCase) {
  RegKey key = Create("SOFTWARE\\Veltrane\\Kestrum");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(RegSetString(key, "ReadXML", "ON"), 0);
  RegCloseKey(key);

  RegKey again = nullptr;
  ASSERT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "software\\VELTRANE\\kestrum",
                       kKeyAllAccess, &again),
            0);
  std::string text;
  EXPECT_EQ(RegGetString(again, "READXML", &text), 0);
  EXPECT_EQ(text, "ON");
  // Writing under another case replaces the existing file instead of adding a second one.
  ASSERT_EQ(RegSetString(again, "readxml", "OFF"), 0);
  uint32_t created = 0;
  RegKey sub = nullptr;
  ASSERT_EQ(RegCreateKey(again, "SUB", 0, kKeyAllAccess, nullptr, &sub, &created), 0);
  EXPECT_EQ(created, kRegCreatedNewKey);
  RegCloseKey(sub);
  // One value, under the name it was created with.
  std::string name;
  ASSERT_EQ(RegEnumValue(again, 0, &name, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(name, "ReadXML");
  EXPECT_EQ(RegEnumValue(again, 1, &name, nullptr, nullptr, nullptr), ENOENT);
  RegCloseKey(again);

#ifndef _WIN32
  EXPECT_EQ(ReadFile(KeyDir("SOFTWARE/Veltrane/Kestrum/ReadXML")), "OFF\n");
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(KeyDir("SOFTWARE/Veltrane/Kestrum"))) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2);  // ReadXML and SUB: no stray temporary files
  EXPECT_FALSE(fs::exists(KeyDir("software")));
#endif
}

TEST_F(RegistryTest, ReadsFilesWrittenByHandAndReportsSizes) {
#ifdef _WIN32
  RegKey writer = Create("SOFTWARE\\Veltrane\\Kestrum");
  ASSERT_EQ(RegSetString(writer, "PARVEX_1_Debug", "ON"), 0);
  ASSERT_EQ(RegSetDword(writer, "Count", 0x102), 0);
  RegCloseKey(writer);
#else
  WriteFile(KeyDir("SOFTWARE/Veltrane/Kestrum/PARVEX_1_Debug"), "ON\n");
  WriteFile(KeyDir("SOFTWARE/Veltrane/Kestrum/Count"), "dword:00000102\n");
#endif
  RegKey key = nullptr;
  ASSERT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Veltrane\\Kestrum",
                       kKeyQueryValue, &key),
            0);
  uint32_t type = 0;
  char buffer[8];
  uint32_t size = sizeof buffer;
  ASSERT_EQ(RegQueryValue(key, "parvex_1_debug", &type, buffer, &size), 0);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buffer, "ON");

  size = 2;  // no room for the terminating NUL
  EXPECT_EQ(RegQueryValue(key, "PARVEX_1_Debug", &type, buffer, &size), EOVERFLOW);
  EXPECT_EQ(size, 3u);

  uint32_t number = 0;
  size = sizeof number;
  ASSERT_EQ(RegQueryValue(key, "Count", &type, &number, &size), 0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(number, 0x102u);

  EXPECT_EQ(RegQueryValue(key, "Missing", &type, buffer, &size), ENOENT);
  EXPECT_EQ(RegSetString(key, "Other", "x"), EACCES);  // opened for queries only
#ifndef _WIN32
  EXPECT_EQ(RegQueryValue(key, "../../etc", &type, buffer, &size), EINVAL);
#endif
  RegCloseKey(key);

  RegKey missing = nullptr;
  EXPECT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Nobody", kKeyRead, &missing),
            ENOENT);
  EXPECT_EQ(missing, nullptr);
#ifndef _WIN32
  EXPECT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\..\\..", kKeyRead, &missing),
            EINVAL);
#endif
}

TEST_F(RegistryTest, DwordValuesAndEnumerationInNameOrder) {
  RegKey key = Create("SOFTWARE\\Test");
  ASSERT_EQ(RegSetDword(key, "b", 7), 0);
  ASSERT_EQ(RegSetString(key, "a", "first"), 0);
#ifndef _WIN32
  EXPECT_EQ(ReadFile(KeyDir("SOFTWARE/Test/b")), "dword:00000007\n");
#endif
  std::string name;
  uint32_t type = 0;
  ASSERT_EQ(RegEnumValue(key, 0, &name, &type, nullptr, nullptr), 0);
  EXPECT_EQ(name, "a");
  EXPECT_EQ(type, kRegSz);
  ASSERT_EQ(RegEnumValue(key, 1, &name, &type, nullptr, nullptr), 0);
  EXPECT_EQ(name, "b");
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(RegEnumValue(key, 2, &name, nullptr, nullptr, nullptr), ENOENT);
  EXPECT_EQ(RegDeleteValue(key, "A"), 0);
  EXPECT_EQ(RegDeleteValue(key, "A"), ENOENT);
  RegCloseKey(key);
}

#ifdef _WIN32
TEST_F(RegistryTest, ValueWriterIsZeroOnlyWhereOnlyTheAdministratorsMayWrite) {
  RegKey key = Create("SOFTWARE\\Veltrane\\Writer");
  ASSERT_EQ(RegSetString(key, "v", "x"), 0);
  uint32_t writer = 7;
  EXPECT_EQ(RegQueryValueWriter(key, "v", &writer), 0);
  EXPECT_EQ(writer, 0u);  // the default access list: only the system and the administrators
  EXPECT_EQ(RegQueryValueWriter(key, "missing", &writer), ENOENT);
  RegCloseKey(key);
  // Without the right to read the access list the writer cannot be named.
  ASSERT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Veltrane\\Writer",
                       kKeyQueryValue, &key),
            0);
  EXPECT_EQ(RegQueryValueWriter(key, "v", &writer), 0);
  EXPECT_EQ(writer, kAnyUser);
  RegCloseKey(key);
}
#else
TEST_F(RegistryTest, ExactlyOneOfSeveralProcessesCreatesAKey) {
  constexpr int kChildren = 4;
  pid_t children[kChildren];
  for (pid_t& child : children) {
    child = fork();
    if (child == 0) {
      RegKey key = nullptr;
      uint32_t disposition = 0;
      int rc = RegCreateKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\EWF", kRegOptionVolatile,
                            kKeySetValue, nullptr, &key, &disposition);
      _exit(rc != 0 ? 2 : disposition == kRegCreatedNewKey ? 1 : 0);
    }
  }
  int created = 0;
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2);
    created += WEXITSTATUS(status);
  }
  EXPECT_EQ(created, 1);
}

TEST_F(RegistryTest, VolatileKeyOfAnEarlierBootCountsAsMissing) {
  WriteFile(KeyDir("SOFTWARE/EWF/.volatile"), "00000000-old-boot\n");
  WriteFile(KeyDir("SOFTWARE/EWF/Leftover"), "x\n");
  RegKey key = nullptr;
  EXPECT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\EWF", kKeyRead, &key),
            ENOENT);
  uint32_t disposition = 0;
  ASSERT_EQ(RegCreateKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\EWF", kRegOptionVolatile,
                         kKeyAllAccess, nullptr, &key, &disposition),
            0);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_EQ(RegQueryValue(key, "Leftover", nullptr, nullptr, nullptr), ENOENT);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKey(RegHiveKey(RegHive::kLocalMachine), "software\\ewf", kRegOptionVolatile,
                         kKeyAllAccess, nullptr, &key, &disposition),
            0);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  RegCloseKey(key);
}

TEST_F(RegistryTest, CreatedObjectsGetTheRequestedModes) {
  SecurityAttributes attributes;
  attributes.file_mode = 0640;
  attributes.dir_mode = 0750;
  RegKey key = nullptr;
  ASSERT_EQ(RegCreateKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\Modes", 0, kKeyAllAccess,
                         &attributes, &key, nullptr),
            0);
  ASSERT_EQ(RegSetString(key, "v", "1"), 0);
  RegCloseKey(key);
  auto mode = [](const fs::path& path) {
    return static_cast<unsigned>(fs::status(path).permissions()) & 0777;
  };
  EXPECT_EQ(mode(KeyDir("SOFTWARE/Modes")), 0750u);
  EXPECT_EQ(mode(KeyDir("SOFTWARE/Modes/v")), 0640u);
}

TEST_F(RegistryTest, SerialCommListsPortAliasesAndIsReadOnly) {
  fs::create_directories(instance_.rundir() / "dev");
  WriteFile(instance_.rundir() / "dev" / "LINE1", "");
  fs::create_symlink(instance_.rundir() / "nowhere", instance_.rundir() / "dev" / "DEAD");
  RegKey key = nullptr;
  ASSERT_EQ(RegOpenKey(RegHiveKey(RegHive::kLocalMachine), "hardware\\devicemap\\serialcomm",
                       kKeyRead, &key),
            0);
  std::string name;
  char data[16];
  uint32_t size = sizeof data;
  ASSERT_EQ(RegEnumValue(key, 0, &name, nullptr, data, &size), 0);
  EXPECT_EQ(name, (instance_.rundir() / "dev" / "LINE1").string());
  EXPECT_STREQ(data, "LINE1");
  for (uint32_t i = 1; RegEnumValue(key, i, &name, nullptr, data, &(size = 16)) == 0; ++i) {
    EXPECT_EQ(std::string(data, 3), "COM") << "dead alias listed: " << data;
  }
  EXPECT_EQ(RegSetString(key, "x", "COM9"), EACCES);
  RegCloseKey(key);
  EXPECT_FALSE(fs::exists(KeyDir("HARDWARE")));
}
#endif

TEST(Registry, RemoteRegistryCannotBeReached) {
  RegKey key = nullptr;
  EXPECT_EQ(RegConnectRegistry("\\\\PLANT7", RegHive::kLocalMachine, &key), EHOSTUNREACH);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegConnectRegistry("", RegHive::kLocalMachine, &key), 0);
  EXPECT_EQ(key, RegHiveKey(RegHive::kLocalMachine));
}

}  // namespace
}  // namespace kestrum
