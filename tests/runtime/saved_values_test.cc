#include "runtime/saved_values.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error_number.h"
#include "record_builders.h"
#include "test_util.h"

namespace kestrum {
namespace {

ChannelConfigRecord Channel(const char* tag, bool enabled, uint8_t type = kTypeAO) {
  ChannelConfigRecord r = IsDigitalType(type) ? parvex_test::DigitalChannel(0, type)
                                              : parvex_test::AnalogueChannel(0, type);
  if (!enabled) r.analogue.flags = 0;
  SetChannelTag(&r, tag);
  return r;
}

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

#ifndef _WIN32
// Runs `body` in a child process bounded by an alarm; returns its exit status or -1.
template <typename Body>
int InChild(Body body) {
  pid_t child = fork();
  if (child == 0) {
    alarm(10);
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
#endif  // _WIN32

class SavedValuesTest : public ::testing::Test {
 protected:
  std::string File(const char* name) {
    std::ifstream in(dir_.str() + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  parvex_test::ScopedTempDir dir_;
  parvex_test::ScopedEnv location_{"KSM_SAVED_VALUES", dir_.str().c_str()};
};

TEST_F(SavedValuesTest, SaveWritesOneRecordPerChannel) {
  std::vector<ChannelConfigRecord> records = {Channel("FLOW_TOTAL_LONG", true),
                                              Channel("SPARE", false), Channel("OUT2", true)};
  std::vector<uint32_t> values = {Bits(1.5f), 77, 0xDEADBEEF};
  ASSERT_EQ(SaveChannelValues("DEV1", "ao", values.data(), records.data(), 3), 3);
  std::string bin = File("DEV1_ao.bin");
  std::string tag = File("DEV1_ao.tag");
  ASSERT_EQ(bin.size(), 48u);
  ASSERT_EQ(tag.size(), 45u);
  EXPECT_EQ(bin.substr(0, 12), "FLOW_TOTAL_L") << "the value file keeps 12 characters";
  EXPECT_EQ(tag.substr(0, 15), "FLOW_TOTAL_LONG");
  EXPECT_EQ(bin.substr(16, 12), std::string(12, '\0')) << "a channel not in use has no name";
  uint32_t spare;
  std::memcpy(&spare, bin.data() + 28, 4);
  EXPECT_EQ(spare, 77u) << "but still its value";
  EXPECT_EQ(bin.substr(32, 5), std::string("OUT2\0", 5));
  EXPECT_EQ(tag.substr(30, 5), std::string("OUT2\0", 5));

  // A device with fewer channels now keeps the surplus records of the longer files.
  ASSERT_EQ(SaveChannelValues("DEV1", "ao", values.data(), records.data(), 1), 1);
  EXPECT_EQ(File("DEV1_ao.bin").size(), 48u);
  EXPECT_EQ(File("DEV1_ao.bin").substr(16), bin.substr(16));
  EXPECT_EQ(File("DEV1_ao.tag").size(), 45u);
}

#ifndef _WIN32
// Windows files have no group, mode or umask: their access comes from the folder's list.
TEST_F(SavedValuesTest, NewFilesAreTheGroupsWhateverTheUmaskAndReplacedOnesKeepTheirMode) {
  std::vector<ChannelConfigRecord> records = {Channel("OUT1", true)};
  std::vector<uint32_t> values = {1};
  const mode_t old_umask = umask(077);
  const int saved = SaveChannelValues("DEV1", "do", values.data(), records.data(), 1);
  umask(old_umask);
  ASSERT_EQ(saved, 1);
  struct stat st;
  for (const std::string& path : {SavedValuePath("DEV1", "do"), SavedTagPath("DEV1", "do")}) {
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0777, 0660u) << path;
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  }
  ASSERT_EQ(SaveChannelValues("DEV1", "do", values.data(), records.data(), 1), 1);
  ASSERT_EQ(stat(SavedValuePath("DEV1", "do").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
#endif  // _WIN32

TEST_F(SavedValuesTest, LoadByPositionOrByTagName) {
  std::vector<ChannelConfigRecord> before = {Channel("A", true), Channel("B", true),
                                             Channel("GONE", true), Channel("D", true, kTypeDO)};
  std::vector<uint32_t> saved = {10, 20, 30, 0xFFFFFFFF};
  ASSERT_EQ(SaveChannelValues("DEV1", "do", saved.data(), before.data(), 4), 4);

  // The configuration now has B and A swapped, GONE renamed, D still digital.
  std::vector<ChannelConfigRecord> after = {Channel("b", true), Channel("A", true),
                                            Channel("NEW", true), Channel("D", true, kTypeDO)};
  std::vector<uint32_t> values(4, 0x12345678);
  ASSERT_EQ(LoadChannelValues("DEV1", "do", true, values.data(), after.data(), 4), 3);
  EXPECT_EQ(values, (std::vector<uint32_t>{20, 10, 0, 1}))
      << "values follow their tags; a lost tag leaves 0; a digital channel gets bit 0 only";

  values.assign(4, 5);
  ASSERT_EQ(LoadChannelValues("DEV1", "do", false, values.data(), after.data(), 4), 4);
  EXPECT_EQ(values, (std::vector<uint32_t>{10, 20, 30, 1})) << "by position names do not count";

  // A channel that is not in use takes no value by name.
  after[0] = Channel("B", false);
  ASSERT_EQ(LoadChannelValues("DEV1", "do", true, values.data(), after.data(), 4), 2);
  EXPECT_EQ(values[0], 0u);

  // Without the tag file the 12 characters of the value file are compared.
  std::vector<ChannelConfigRecord> longer = {Channel("TWELVE_CHARSX", true)};
  uint32_t one = 9;
  ASSERT_EQ(SaveChannelValues("DEV2", "ai", &one, longer.data(), 1), 1);
  std::vector<ChannelConfigRecord> renamed = {Channel("TWELVE_CHARSY", true)};
  ASSERT_EQ(LoadChannelValues("DEV2", "ai", true, &one, renamed.data(), 1), 0);
  ASSERT_TRUE(std::filesystem::remove(dir_.path() / "DEV2_ai.tag"));
  ASSERT_EQ(LoadChannelValues("DEV2", "ai", true, &one, renamed.data(), 1), 1);
  EXPECT_EQ(one, 9u);
}

TEST_F(SavedValuesTest, MissingAndShortFilesFail) {
  std::vector<ChannelConfigRecord> records = {Channel("A", true), Channel("B", true),
                                              Channel("C", true)};
  std::vector<uint32_t> values = {1, 2, 3};
  EXPECT_EQ(LoadChannelValues("NONE", "ai", false, values.data(), records.data(), 3), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(values, (std::vector<uint32_t>{1, 2, 3}));

  ASSERT_EQ(SaveChannelValues("DEV1", "ai", values.data(), records.data(), 2), 2);
  for (bool by_name : {false, true}) {
    std::vector<uint32_t> out(3, 7);
    EXPECT_EQ(LoadChannelValues("DEV1", "ai", by_name, out.data(), records.data(), 3), -1);
    EXPECT_EQ(out, (std::vector<uint32_t>{1, 2, 0})) << "values read before the end remain";
  }
}

// The folder is shared by a group whose members may have less right than the scanner: a saved
// file that is a symlink is neither read (its target's bytes would be copied into the new file
// or taken as references) nor replaced, and the save or load fails with the refusal.
TEST_F(SavedValuesTest, SavedFilesBehindSymlinksAreRefused) {
  std::vector<ChannelConfigRecord> records = {Channel("A", true)};
  std::vector<uint32_t> values = {Bits(1.5f)};
  const std::string secret = dir_.str() + "/secret";
  for (const char* extension : {".bin", ".tag"}) {
    const std::string name = std::string("DEV1_ao") + extension;
    std::filesystem::remove_all(dir_.path());
    std::filesystem::create_directory(dir_.path());
    std::ofstream(secret, std::ios::binary) << std::string(64, 'S');
    ASSERT_EQ(SaveChannelValues("DEV1", "ao", values.data(), records.data(), 1), 1);
    std::filesystem::remove(dir_.path() / name);
    std::error_code ec;
    std::filesystem::create_symlink(secret, dir_.path() / name, ec);
    // wine reports success and makes no link; Windows makes one for a privileged user.
    if (!std::filesystem::is_symlink(dir_.path() / name)) GTEST_SKIP() << "no symbolic links";
    EXPECT_EQ(SaveChannelValues("DEV1", "ao", values.data(), records.data(), 1), -1) << extension;
    EXPECT_EQ(GetErrorNumber(), ELOOP) << extension;
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.path() / name)) << extension;
    EXPECT_EQ(File("secret"), std::string(64, 'S')) << extension;
    std::vector<uint32_t> out(1, 7);
    EXPECT_EQ(LoadChannelValues("DEV1", "ao", true, out.data(), records.data(), 1), -1)
        << extension;
    EXPECT_EQ(GetErrorNumber(), ELOOP) << extension;
  }
}

#ifndef _WIN32
// A file size limit and a second, unprivileged user exist on Linux only.
TEST_F(SavedValuesTest, FailedSavesLeaveThePreviousFiles) {
  std::vector<ChannelConfigRecord> records(100, Channel("VALUE", true));
  std::vector<uint32_t> values(100, 1);
  ASSERT_EQ(SaveChannelValues("DEV1", "ao", values.data(), records.data(), 100), 100);
  const std::string bin = File("DEV1_ao.bin");
  const std::string tag = File("DEV1_ao.tag");
  values.assign(100, 2);

  // A write that stops part-way (the file size limit) is a failure, not a success.
  int partial = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int rc = SaveChannelValues("DEV1", "ao", values.data(), records.data(), 100);
    return rc == -1 && GetErrorNumber() == EFBIG ? 0 : 1;
  });
  EXPECT_EQ(partial, 0);
  EXPECT_EQ(File("DEV1_ao.bin"), bin);
  EXPECT_EQ(File("DEV1_ao.tag"), tag);

  // A folder the process may not write to fails with the platform's error.
  ASSERT_EQ(chmod(dir_.str().c_str(), 0555), 0);
  int refused = InChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    int rc = SaveChannelValues("DEV1", "ao", values.data(), records.data(), 100);
    return rc == -1 && GetErrorNumber() == EACCES && GetLastPlatformError() == EACCES ? 0 : 1;
  });
  chmod(dir_.str().c_str(), 0755);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(File("DEV1_ao.bin"), bin);
  EXPECT_EQ(File("DEV1_ao.tag"), tag);
  // No temporary file is left behind.
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir_.path())) ++entries;
  EXPECT_EQ(entries, 2);
}

#endif  // _WIN32

}  // namespace
}  // namespace kestrum
