// Fixtures shared by the configuration loader tests: a SCADA instance whose program folder
// holds the test extension modules, and device folders to write files into.
#ifndef PARVEX_TESTS_CONFIG_CONFIG_TEST_UTIL_H_
#define PARVEX_TESTS_CONFIG_CONFIG_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "test_util.h"

namespace parvex_test {

/// A fresh instance with KSM_BIN pointing at the built test modules ("testx_ex" with XML
/// support, "nxmlx_ex" without, ".so" or ".dll"). Folders named TESTX_<n> use the first, NXMLX_<n>
/// the second, any other name none.
class ConfigFolderTest : public ::testing::Test {
 protected:
  /// Creates `name` under the instance's configuration root and returns its path.
  std::string Folder(const std::string& name) {
    std::filesystem::path path = instance_.root() / "CURRENT" / name;
    std::filesystem::create_directories(path);
    return path.string();
  }

  static void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  static std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  /// Sets "ReadXML" of the family key to `value`.
  static void SetReadXml(const char* value) {
    kestrum::RegKey key = nullptr;
    ASSERT_EQ(kestrum::RegCreateKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine),
                                    "SOFTWARE\\Veltrane\\Kestrum", kestrum::kRegOptionNonVolatile,
                                    kestrum::kKeyAllAccess, nullptr, &key, nullptr),
              0);
    ASSERT_EQ(kestrum::RegSetString(key, "ReadXML", value), 0);
    kestrum::RegCloseKey(key);
  }

  ScopedInstance instance_;
  // Restores KSM_BIN when the test ends, also when the test pointed it elsewhere. Absolute, so
  // that it holds after a change of working folder (on Windows the build's path has no drive).
  ScopedEnv bin_{"KSM_BIN", std::filesystem::absolute(PARVEX_TEST_MODULE_DIR).string().c_str()};
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_CONFIG_CONFIG_TEST_UTIL_H_
