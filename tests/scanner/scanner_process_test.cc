// What the scanner's start accepts from the device record it is handed.
#include "scanner/scanner_process.h"

#include <gtest/gtest.h>

namespace parvex {
namespace {

// A device folder name is one folder inside the configuration folder on every platform: no
// separator of either platform, no drive (Windows reads "C:x" as a path on drive C), no way up.
TEST(ScannerProcess, DeviceFolderNamesThatCouldLeadOutAreRefused) {
  const struct {
    const char* name;
    bool usable;
  } cases[] = {
      {"CNT1", true},  {"a.b", true},  {"..", false},         {"../x", false},  {"a/b", false},
      {"a\\b", false}, {"\\x", false}, {"\\\\srv\\s", false}, {"C:\\x", false}, {"C:x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(UsableAsDeviceFolderName(c.name), c.usable) << c.name;
}

}  // namespace
}  // namespace parvex
