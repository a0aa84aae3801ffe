// The real scanner through faults of its files: a configuration file deleted, truncated or
// overwritten before a reconfigure, and a saved-values folder that is full or read-only at a
// save. Each test names what must hold.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mount.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fault_util.h"
#include "platform/process.h"
#include "records/channel_config.h"
#include "records/time_stamp.h"
#include "runtime/driver_link.h"
#include "runtime/saved_values.h"
#include "runtime/time_stamps.h"
#include "scanner/scanner_hooks.h"
#include "scanner_rig.h"
#include "started_rig.h"

namespace parvex_test {
namespace {

namespace fs = std::filesystem;

enum class Damage { kDelete, kTruncate, kGarbage };

struct FileFault {
  const char* file;  // in the device folder
  Damage damage;
};

std::string FaultName(const testing::TestParamInfo<FileFault>& info) {
  static const char* const kDamage[] = {"Deleted", "Truncated", "Garbage"};
  return std::string(info.param.file) + kDamage[static_cast<int>(info.param.damage)];
}

void Spoil(const std::string& path, Damage damage) {
  const auto size = fs::file_size(path);
  switch (damage) {
    case Damage::kDelete:
      fs::remove(path);
      break;
    case Damage::kTruncate:
      fs::resize_file(path, size / 2);
      break;
    case Damage::kGarbage: {
      std::mt19937 random(11);
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      for (uintmax_t i = 0; i < size; ++i) out.put(static_cast<char>(random()));
      break;
    }
  }
}

class ReconfigureWithoutItsFile : public testing::TestWithParam<FileFault> {};

// A configuration that cannot be read at a reconfigure ends the scanner with its message and
// error number, never with a crash or a hang; it leaves every channel failed, and the device
// record says that no scanner is attached and no operation runs.
TEST_P(ReconfigureWithoutItsFile, EndsTheScannerWithItsMessageAndFailedChannels) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5", "--interval", "200"}));
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return ChannelValid(rig, 0); }, 10000));

  Spoil(rig.device_folder() + "/" + GetParam().file, GetParam().damage);
  ASSERT_EQ(rig.Post(kestrum::kMessageReconfigure), 0);
  const int status = rig.WaitExit(10000);
  ASSERT_GT(status, 0) << "message '" << rig.error_message() << "'";
  ASSERT_LT(status, 128) << "killed by a signal";
  char expected[64];
  std::snprintf(expected, sizeof expected, "CAN'T READ CONFIGURATION -%04d",
                parvex::ShownErrorCode(status));
  EXPECT_EQ(rig.error_message(), expected);
  EXPECT_TRUE(AllChannelsFailed(rig, status));
  EXPECT_EQ(rig.device()->scanner_attached, 0);
  EXPECT_EQ(rig.device()->operation_in_progress, 0);
}

INSTANTIATE_TEST_SUITE_P(ScannerFaults, ReconfigureWithoutItsFile,
                         testing::Values(FileFault{"ai", Damage::kDelete},
                                         FileFault{"ai", Damage::kTruncate},
                                         FileFault{"config", Damage::kDelete}),
                         FaultName);

class ReconfigureWithDamagedBytes : public testing::TestWithParam<FileFault> {};

// The binary files carry no check of their own: a short device file is taken as far as it
// goes, and bytes of the right length are taken as they are. Whatever they hold, the scanner
// neither crashes nor hangs: it goes on scanning and still stops when asked.
TEST_P(ReconfigureWithDamagedBytes, LeavesTheScannerScanningAndStoppable) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME"), ChannelXml(2, "CLOCK", "TIME")}});
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5", "--interval", "200"}));
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return ChannelValid(rig, 0); }, 10000));

  Spoil(rig.device_folder() + "/" + GetParam().file, GetParam().damage);
  ASSERT_EQ(rig.Post(kestrum::kMessageReconfigure), 0);
  EXPECT_TRUE(ScanReplacesMarker(rig, 1, nullptr)) << "message '" << rig.error_message() << "'";
  EXPECT_TRUE(ScanReplacesMarker(rig, 1, nullptr)) << "message '" << rig.error_message() << "'";
  EXPECT_EQ(rig.WaitExit(0), -1);
  rig.StopPump();
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  EXPECT_EQ(rig.WaitExit(10000), 0);
  EXPECT_EQ(rig.device()->scanner_attached, 0);
}

INSTANTIATE_TEST_SUITE_P(ScannerFaults, ReconfigureWithDamagedBytes,
                         testing::Values(FileFault{"ai", Damage::kGarbage},
                                         FileFault{"config", Damage::kTruncate},
                                         FileFault{"config", Damage::kGarbage}),
                         FaultName);

#ifndef _WIN32
// Linux only: the full and read-only folders are a tmpfs mounted for the test.
// A small file system mounted over a folder for the test's lifetime.
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(const std::string& folder) : folder_(folder) {
    ok_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") == 0;
  }
  ~ScopedTmpfs() {
    if (ok_) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool ok() const { return ok_; }
  bool ReadOnly(bool read_only) {
    return mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | (read_only ? MS_RDONLY : 0),
                 nullptr) == 0;
  }

 private:
  std::string folder_;
  bool ok_ = false;
};

// Fills the file system of `folder` with the file "filler".
bool Fill(const std::string& folder) {
  std::FILE* out = std::fopen((folder + "/filler").c_str(), "wb");
  if (out == nullptr) return false;
  std::vector<char> block(4096, 'x');
  while (std::fwrite(block.data(), 1, block.size(), out) == block.size()) {
  }
  std::fclose(out);
  return true;
}

bool Before(const kestrum::TimeStamp& a, const kestrum::TimeStamp& b) {
  return a.seconds < b.seconds || (a.seconds == b.seconds && a.milliseconds < b.milliseconds);
}

// Sends initialise values and waits until its operation ended: it publishes a new scan
// boundary, which differs from the last one once the local time has passed that one.
bool InitialiseValues(ScannerRig& rig) {
  const kestrum::TimeStamp last = rig.device()->next_scan;
  if (!ScannerRig::WaitFor([&] { return !Before(kestrum::LocalTimeNow(), last); }, 10000)) {
    return false;
  }
  if (rig.Post(kestrum::kMessageInitialiseValues) != 0) return false;
  return ScannerRig::WaitFor(
      [&] {
        const kestrum::TimeStamp now = rig.device()->next_scan;
        return (now.seconds != last.seconds || now.milliseconds != last.milliseconds) &&
               rig.device()->operation_in_progress == 0;
      },
      10000);
}

// The saved reference of channel 0, or -1 when none loads.
float SavedReference() {
  kestrum::ChannelConfigRecord records[8] = {};
  for (auto& r : records) r.analogue.flags = kestrum::analogue_flags::kEnable;
  float saved[8] = {};
  if (kestrum::LoadChannelValues("CNT1", "ai", false, reinterpret_cast<uint32_t*>(saved), records,
                                 8) != 8) {
    return -1.0f;
  }
  return saved[0];
}

// Waits until channel 0 reads a value other than 0, so that a re-base moves its reference.
bool ReadsNonZero(ScannerRig& rig) {
  return ScannerRig::WaitFor([&] { return ChannelValid(rig, 0) && rig.table().values[0] != 0.0f; },
                             10000);
}

int TemporaryFiles(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    count += entry.path().extension() == ".tmp";
  }
  return count;
}

enum class SaveFault { kFull, kReadOnly };

class SaveInto : public testing::TestWithParam<SaveFault> {};

// A save into a full or read-only folder keeps the saved values of the last good save whole
// (no half-written file, no temporary left behind); the scanner goes on scanning, and the next
// save after the folder recovered stores the new values.
TEST_P(SaveInto, KeepsTheLastSavedValuesAndTheScannerGoesOn) {
  ScannerRig rig({{ChannelXml(1, "SMALL", "VALUE", 1).Set("ReferenceEnable", "On")}});
  ASSERT_EQ(rig.error(), "");
  ScopedTmpfs tmpfs(rig.saved_values_folder());
  if (!tmpfs.ok()) GTEST_SKIP() << "cannot mount a file system here";
  ASSERT_TRUE(StartRig(rig, {"--ports", "1", "--interval", "200"}));

  ASSERT_TRUE(ReadsNonZero(rig));
  ASSERT_TRUE(InitialiseValues(rig));
  const float good = SavedReference();
  ASSERT_GT(good, 0.0f);

  if (GetParam() == SaveFault::kFull) {
    ASSERT_TRUE(Fill(rig.saved_values_folder()));
  } else {
    ASSERT_TRUE(tmpfs.ReadOnly(true));
  }
  ASSERT_TRUE(ReadsNonZero(rig));
  ASSERT_TRUE(InitialiseValues(rig));
  EXPECT_EQ(SavedReference(), good);
  EXPECT_EQ(TemporaryFiles(rig.saved_values_folder()), 0);
  EXPECT_EQ(kestrum::WaitProcess(rig.scanner_pid(), 0, nullptr), -1);
  EXPECT_TRUE(ScanReplacesMarker(rig, 0, nullptr));

  if (GetParam() == SaveFault::kFull) {
    fs::remove(rig.saved_values_folder() + "/filler");
  } else {
    ASSERT_TRUE(tmpfs.ReadOnly(false));
  }
  ASSERT_TRUE(ReadsNonZero(rig));
  ASSERT_TRUE(InitialiseValues(rig));
  EXPECT_NE(SavedReference(), good);
  EXPECT_GT(SavedReference(), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(ScannerFaults, SaveInto,
                         testing::Values(SaveFault::kFull, SaveFault::kReadOnly),
                         [](const testing::TestParamInfo<SaveFault>& info) {
                           return info.param == SaveFault::kFull ? "AFullFolder"
                                                                 : "AReadOnlyFolder";
                         });
#endif  // _WIN32

}  // namespace
}  // namespace parvex_test
