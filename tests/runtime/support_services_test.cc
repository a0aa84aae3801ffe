#include "runtime/support_services.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/system_event.h"
#include "runtime_test_util.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(SupportServices, PlatformIdAndSharedAttributes) {
  EXPECT_EQ(GetPlatformId(), 2);
  const SecurityAttributes* attributes = GetSharedSecurityAttributes();
  ASSERT_NE(attributes, nullptr);
  EXPECT_EQ(attributes, GetSharedSecurityAttributes());
  EXPECT_EQ(attributes->file_mode, 0660u);
  EXPECT_EQ(attributes->dir_mode, 0770u);
}

#ifndef _WIN32
// Needs a second, unprivileged user (the tests run as root in CI), which a Windows test cannot
// become without that user's password.
TEST(CanAccessFile, GenericAndSpecificRightsAsAnOrdinaryUser) {
  parvex_test::ScopedTempDir dir;
  chmod(dir.path().c_str(), 0755);
  std::string readable = (dir.path() / "readable").string();
  std::string shared = (dir.path() / "shared").string();
  std::ofstream(readable) << "x";
  std::ofstream(shared) << "x";
  chmod(readable.c_str(), 0644);
  chmod(shared.c_str(), 0777);
  auto check = [](const std::string& path, uint32_t access) {
    return kestrum_test::InChild([&] { return CanAccessFile(path.c_str(), access); }, true);
  };
  EXPECT_EQ(check(readable, kGenericRead), 1);
  EXPECT_EQ(check(readable, kGenericWrite), 0);
  EXPECT_EQ(check(readable, 0x0004), 0);  // append data is writing
  EXPECT_EQ(check(readable, kGenericExecute), 0);
  EXPECT_EQ(check(readable, kGenericAll), 0);
  EXPECT_EQ(check(readable, 0x0080), 1);  // reading attributes needs no permission bit
  EXPECT_EQ(check(shared, kGenericAll), 1);
  EXPECT_EQ(check(dir.str(), kGenericWrite), 0);
  EXPECT_EQ(CanAccessFile((dir.str() + "/missing").c_str(), 0x0080), 0);
  EXPECT_EQ(CanAccessFile(nullptr, kGenericRead), 0);
}
#endif  // _WIN32

TEST(SinglePrecision, ResultsAreRoundedToFloat) {
  float big = 16777216.0f, one = 1.0f, third = 1.0f / 3.0f, three = 3.0f;
  EXPECT_EQ(AddFloats(big, one), big);  // 2^24 + 1 is not a float
  EXPECT_EQ(SubtractFloats(big, one), 16777215.0f);
  EXPECT_EQ(MultiplyFloats(third, three), 1.0f);
}

TEST(ReportSystemEvent, LogFileFormOfTheOlderPlatform) {
  kestrum_test::RuntimeInstance runtime;
  parvex_test::ScopedTempDir dir;
  std::string folder = dir.str() + "/";
  parvex_test::ScopedEnv location("KSM_", folder.c_str());
  ReportSystemEventOn(1, ".", 1, "CONFIG ERROR ONE");
  ReportSystemEventOn(1, nullptr, 1, "CONFIG ERROR TWO\n");
  ReportSystemEventOn(1, "plant7", 1, "NOT HERE");  // another computer's log is out of reach
  std::ifstream in(folder + "Kestrum.log");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // "HH:MM:SS MM/DD/YY " before each text: digits where the pattern has 9.
  auto stamped = [](const std::string& line, const std::string& tail) {
    const std::string pattern = "99:99:99 99/99/99 ";
    if (line.size() != pattern.size() + tail.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
      if (pattern[i] == '9' ? !isdigit(static_cast<unsigned char>(line[i]))
                            : line[i] != pattern[i]) {
        return false;
      }
    }
    return line.compare(pattern.size(), std::string::npos, tail) == 0;
  };
  size_t end = text.find('\n');
  ASSERT_NE(end, std::string::npos) << text;
  EXPECT_TRUE(stamped(text.substr(0, end + 1), "CONFIG ERROR ONE\n")) << text;
  EXPECT_TRUE(stamped(text.substr(end + 1), "CONFIG ERROR TWO\n")) << text;
  // The current platform reports to the system log and leaves the file alone. (The file is
  // written in text mode: on Windows each line ends with a carriage return and a line feed.)
  const auto size = fs::file_size(folder + "Kestrum.log");
  ReportSystemEvent(".", 1, "TO SYSLOG");
  EXPECT_EQ(fs::file_size(folder + "Kestrum.log"), size);
}

}  // namespace
}  // namespace kestrum
