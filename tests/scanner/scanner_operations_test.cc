// The scanner's device operations and scan cycle on real shared areas (an instance built by the
// driver-manager stand-in's library), with fake scan handlers, port and clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "platform/instance_paths.h"
#include "record_builders.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "runtime/channel_prefixes.h"
#include "runtime/saved_values.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "runtime/time_stamps.h"
#include "scanner/scanner.h"
#include "scanner_fakes.h"
#include "test_util.h"
#include "tools/dm/instance.h"
#include "tools/dm/system_description.h"

namespace parvex {
namespace {

namespace fs = std::filesystem;
using kestrum::ChannelConfigRecord;
using parvex_test::AnalogueChannel;
using parvex_test::FakeWorld;
namespace af = kestrum::analogue_flags;

constexpr int kChannels = 4;

// The fake device: delivers `readings` to the analog-input kind at each scan and opens the port
// as `open_results` say.
class FakeDevice : public DeviceHandlers {
 public:
  std::vector<float> readings;  // NaN: leave the channel unwritten
  int result = 0;
  int error = 0;
  std::deque<int> open_results;  // consumed by each open; empty: success
  int opens = 0;
  int scans = 0;
  uint8_t in_progress_seen = 0;
  kestrum::DeviceRecord* device = nullptr;

  int Scan(int kind, const kestrum::DeviceConfigBlock*, uint16_t count, const ChannelConfigRecord*,
           uint32_t* status, float* values) override {
    if (kind != kestrum::kKindAnalogInput) return 0;
    ++scans;
    if (device) in_progress_seen = device->operation_in_progress;
    for (uint16_t i = 0; i < count && i < readings.size(); ++i) {
      if (std::isnan(readings[i])) continue;
      values[i] = readings[i];
      status[i] &= ~kestrum::kStatusNoValue;
    }
    if (result == -1) kestrum::SetErrorNumber(error);
    return result;
  }

  int OpenPort(kestrum::DeviceRecord*) override {
    ++opens;
    if (open_results.empty()) return 0;
    const int r = open_results.front();
    open_results.pop_front();
    if (r != 0) kestrum::SetErrorNumber(r);
    return r != 0 ? -1 : 0;
  }
};

int g_fatal_error = -1;

class ScannerOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kestrum::ForgetSharedAreas();
    // Areas of this case's own: on Windows those of an earlier case live until the program
    // ends, and a name in use cannot be published again.
    static int cases = 0;
    kestrum::SetObjectNamePrefixForTests("scanops" + std::to_string(++cases) + "_");
    words_.Reset();
    g_fatal_error = -1;
    old_cwd_ = fs::current_path();
    kestrum::SetEnvironmentValue("KSM_SAVED_VALUES", (instance_.root() / "saved").string());
    fs::create_directories(instance_.root() / "saved");
    kestrum::dm::SystemDescription system;
    std::string error;
    ASSERT_EQ(kestrum::dm::ParseSystemDescription(
                  R"({"devices": [{"driver": "parvex", "number": 1, "name": "COUNTER 1",
                      "folder": "CNT1", "scan_rate": 1000,
                      "prefixes": {"ai": {"prefix": "P1", "channels": 4}}}]})",
                  &system, &error),
              0)
        << error;
    ASSERT_EQ(kestrum::dm::CreateInstance(system, &error), 0) << error;
    folder_ = instance_.root() / "CNT1";
    fs::create_directories(folder_);
    records_ = {AnalogueChannel(af::kScalingEnable), AnalogueChannel(af::kReferenceEnable),
                AnalogueChannel(), AnalogueChannel()};
    records_[0].analogue.Gain = 2;
    records_[0].analogue.Offset = 1;
    WriteFiles();
    fs::current_path(folder_);
    device_ = kestrum::FindDeviceRecord("parvex", 1);
    ASSERT_NE(device_, nullptr);
    device_handlers_.device = device_;
    kestrum::SystemArea devices;
    ASSERT_EQ(kestrum::OpenDeviceArea(&devices), 0);
    scanner_ = std::make_unique<Scanner>(device_, devices.area, &words_, world_, device_handlers_);
    scanner_->set_fatal_exit([](int e) { g_fatal_error = e; });
  }

  void TearDown() override {
    scanner_.reset();
    fs::current_path(old_cwd_);
    kestrum::RemoveEnvironmentValue("KSM_SAVED_VALUES");
    kestrum::ForgetSharedAreas();
    kestrum::SetObjectNamePrefixForTests("");
  }

  void WriteFiles() {
    kestrum::DeviceConfigFile config;
    std::memset(&config, 0, sizeof config);
    config.block.comm.ScanRate = 1000;
    std::strcpy(config.block.comm.PortName, "COM1");
    std::ofstream(folder_ / "config", std::ios::binary)
        .write(reinterpret_cast<const char*>(&config), sizeof config);
    kestrum::SaveConfigFile save{0, 0, 1000};
    std::ofstream(folder_ / "saveconfig", std::ios::binary)
        .write(reinterpret_cast<const char*>(&save), sizeof save);
    std::ofstream ai(folder_ / "ai", std::ios::binary);
    const char stamp[8] = {};
    ai.write(stamp, sizeof stamp);
    ai.write(reinterpret_cast<const char*>(records_.data()), records_.size() * sizeof records_[0]);
  }

  kestrum::ChannelTableView Table() {
    kestrum::ChannelTableView view;
    kestrum::GetChannelTableView("P1", &view);
    return view;
  }

  parvex_test::ScopedInstance instance_;
  fs::path old_cwd_;
  fs::path folder_;
  std::vector<ChannelConfigRecord> records_;
  RequestWords words_;
  FakeWorld world_;
  FakeDevice device_handlers_;
  kestrum::DeviceRecord* device_ = nullptr;
  std::unique_ptr<Scanner> scanner_;
};

TEST_F(ScannerOperationsTest, StartUpLaysOutTheAnalogInputsOnly) {
  ASSERT_EQ(scanner_->StartUp(), 0) << (world_.reports.empty() ? "" : world_.reports[0]);
  const KindChannels& ai = scanner_->kind(kestrum::kKindAnalogInput);
  EXPECT_TRUE(ai.laid_out);
  EXPECT_EQ(ai.count, kChannels);
  EXPECT_NE(ai.extended, nullptr);
  EXPECT_EQ(std::memcmp(ai.records, records_.data(), sizeof(ChannelConfigRecord) * kChannels), 0);
  EXPECT_EQ(device_->config.comm.ScanRate, 1000u);
  EXPECT_FALSE(scanner_->save_timer().enabled);
  for (int k = 1; k < kestrum::kChannelKindCount; ++k) EXPECT_FALSE(scanner_->kind(k).laid_out);
}

TEST_F(ScannerOperationsTest, StartUpFailsWithTheFullErrorNumberWhenTheConfigurationIsMissing) {
  fs::remove(folder_ / "config");
  EXPECT_EQ(scanner_->StartUp(), -1);
  ASSERT_EQ(world_.reports.size(), 1u);
  EXPECT_EQ(world_.reports[0], "CAN'T READ CONFIGURATION -0002");
}

TEST_F(ScannerOperationsTest, InitialiseDeviceBracketsTheFirstScanAndPublishesTheNextBoundary) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {10, 20, 30, 40};
  words_.pending_scans = 3;
  world_.now = kestrum::TimeStamp{1000000, 250, 0};
  EXPECT_EQ(scanner_->InitialiseDevice(0), 1);
  EXPECT_EQ(device_handlers_.in_progress_seen, 1);
  EXPECT_EQ(device_->operation_in_progress, 0);
  EXPECT_EQ(words_.pending_scans.load(), 0);
  const kestrum::TimeStamp boundary = kestrum::NextPeriodBoundary(world_.now, 1000);
  EXPECT_TRUE(kestrum::SameTimeStamp(device_->next_scan, boundary));
  EXPECT_EQ(world_.clears, 1);
  const kestrum::ChannelTableView t = Table();
  EXPECT_FLOAT_EQ(t.values[0], 21.0f);  // 10 * 2 + 1
  EXPECT_FLOAT_EQ(t.values[2], 30.0f);
  for (int i = 0; i < kChannels; ++i) {
    EXPECT_EQ(t.status[i] & (kestrum::kStatusNoValue | kestrum::kStatusValueChannel),
              kestrum::kStatusValueChannel);
  }
}

TEST_F(ScannerOperationsTest, InitialiseDeviceRetriesEverySecondUntilThePortOpens) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {1, 2, 3, 4};
  device_handlers_.open_results = {2, 13};
  scanner_->InitialiseDevice(0);
  EXPECT_EQ(device_handlers_.opens, 3);
  EXPECT_EQ(world_.reports, (std::vector<std::string>{"CAN'T INITIALISE DEVICE -0002",
                                                      "CAN'T INITIALISE DEVICE -0013"}));
  EXPECT_EQ(world_.message_waits, (std::vector<uint32_t>{1000, 1000}));
  EXPECT_EQ(device_handlers_.scans, 1);
  EXPECT_FALSE(Table().status[0] & kestrum::kStatusNoValue);
}

TEST_F(ScannerOperationsTest, StopDuringInitialiseDeviceEndsTheRetries) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.open_results = {2, 2, 2, 2};
  world_.on_wait = [this] { words_.running = 0; };
  EXPECT_EQ(scanner_->InitialiseDevice(0), 1);
  EXPECT_EQ(device_handlers_.opens, 1);
  EXPECT_EQ(device_->operation_in_progress, 0);
}

TEST_F(ScannerOperationsTest, AScanWithoutNewReadingsDoesNotScaleTwice) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {10, 20, 30, 40};
  scanner_->InitialiseDevice(0);
  const float nan = NAN;
  device_handlers_.readings = {nan, nan, nan, nan};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(scanner_->Scan(false), 0);
  EXPECT_FLOAT_EQ(Table().values[0], 21.0f);
}

TEST_F(ScannerOperationsTest, HandlerResultTwoPublishesNothingAndMinusOneFails) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {10, 20, 30, 40};
  scanner_->InitialiseDevice(0);
  device_->last_scan_ms = 777;
  Table().header->scan_duration_ms = 555;
  device_handlers_.readings = {50, 60, 70, 80};
  device_handlers_.result = 2;
  EXPECT_EQ(scanner_->Scan(false), 0);
  EXPECT_FLOAT_EQ(Table().values[2], 30.0f);
  EXPECT_EQ(device_->last_scan_ms, 777u);
  EXPECT_EQ(Table().header->scan_duration_ms, 555u);

  device_handlers_.result = -1;
  device_handlers_.error = 42;
  EXPECT_EQ(scanner_->Scan(false), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), 42);
  EXPECT_FLOAT_EQ(Table().values[2], 30.0f);

  device_handlers_.result = 0;
  EXPECT_EQ(scanner_->Scan(false), 0);
  EXPECT_FLOAT_EQ(Table().values[2], 70.0f);
  EXPECT_NE(device_->last_scan_ms, 777u);
}

TEST_F(ScannerOperationsTest, MarkAllFailedClearsAlarmsKeepsWarningsAndMarksExtendedRecords) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  const kestrum::ChannelTableView t = Table();
  for (int i = 0; i < kChannels; ++i) {
    t.status[i] = kestrum::kStatusAlarmActive | kestrum::kStatusAlarmFlag |
                  kestrum::kStatusAlarmImmediate | kestrum::kStatusWarningActive |
                  kestrum::kStatusValueChannel;
  }
  device_->last_scan_ms = 9;
  EXPECT_EQ(scanner_->MarkAllChannelsFailed(0x12345), 0);
  EXPECT_EQ(kestrum::GetErrorNumber(), 0x12345);
  EXPECT_EQ(t.header->error_code, 0x2345);
  EXPECT_EQ(device_->last_scan_ms, 0u);
  const KindChannels& ai = scanner_->kind(kestrum::kKindAnalogInput);
  for (int i = 0; i < kChannels; ++i) {
    const uint32_t expected =
        kestrum::kStatusNoValue | kestrum::kStatusWarningActive | kestrum::kStatusValueChannel;
    EXPECT_EQ(t.status[i], expected);
    EXPECT_EQ(ai.working_status[i], expected);
    EXPECT_EQ(t.extended[i].code, kestrum::kExtendedCodeFailed);
  }
}

TEST_F(ScannerOperationsTest, InitialiseValuesRebasesReferencesAndSavesThem) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {10, 20, 30, 40};
  scanner_->InitialiseDevice(0);
  EXPECT_FLOAT_EQ(Table().values[1], 20.0f);
  EXPECT_EQ(scanner_->InitialiseValues(), 0);
  EXPECT_FLOAT_EQ(Table().values[1], 0.0f);   // with ReferenceEnable: shows 0
  EXPECT_FLOAT_EQ(Table().values[2], 30.0f);  // without it: unchanged
  float saved[kChannels] = {};
  ASSERT_EQ(kestrum::LoadChannelValues("CNT1", "ai", false, reinterpret_cast<uint32_t*>(saved),
                                       records_.data(), kChannels),
            kChannels);
  EXPECT_FLOAT_EQ(saved[1], 20.0f);
  EXPECT_FLOAT_EQ(saved[0], 0.0f);
  // A new reading moves the value away from the reference.
  device_handlers_.readings[1] = 25;
  scanner_->Scan(false);
  EXPECT_FLOAT_EQ(Table().values[1], 5.0f);
}

// A re-base the saved-values folder refuses changes nothing: the references in memory stay
// those of the files, the message says why, and the next re-base after the folder is back works.
TEST_F(ScannerOperationsTest, InitialiseValuesThatCannotBeSavedKeepsTheOldReferences) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {10, 20, 30, 40};
  scanner_->InitialiseDevice(0);
  const fs::path saved = instance_.root() / "saved";
  fs::remove_all(saved);
  std::ofstream(saved) << "not a folder";
  world_.reports.clear();

  EXPECT_EQ(scanner_->InitialiseValues(), 0) << "the channels go on being served";
  EXPECT_FLOAT_EQ(Table().values[1], 20.0f);
  EXPECT_FLOAT_EQ(scanner_->kind(kestrum::kKindAnalogInput).reference[1], 0.0f);
  ASSERT_EQ(world_.reports.size(), 1u);
  EXPECT_EQ(world_.reports[0].rfind("CAN'T INITIALISE VALUES - ", 0), 0u) << world_.reports[0];
  ASSERT_EQ(world_.events.size(), 1u);
  EXPECT_NE(world_.events[0].find("saving the \"ai\" values of CNT1 failed"), std::string::npos)
      << world_.events[0];

  fs::remove(saved);
  fs::create_directories(saved);
  EXPECT_EQ(scanner_->InitialiseValues(), 0);
  EXPECT_FLOAT_EQ(Table().values[1], 0.0f);
  float stored[kChannels] = {};
  ASSERT_EQ(kestrum::LoadChannelValues("CNT1", "ai", false, reinterpret_cast<uint32_t*>(stored),
                                       records_.data(), kChannels),
            kChannels);
  EXPECT_FLOAT_EQ(stored[1], 20.0f);
}

TEST_F(ScannerOperationsTest, ReconfigureReloadsAChangedChannelFileAndRescans) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  device_handlers_.readings = {10, 20, 30, 40};
  scanner_->InitialiseDevice(0);
  records_[2].analogue.flags |= af::kScalingEnable;
  records_[2].analogue.Gain = 3;
  WriteFiles();
  fs::last_write_time(folder_ / "ai",
                      fs::last_write_time(folder_ / "ai") + std::chrono::seconds(5));
  EXPECT_EQ(scanner_->Reconfigure(), 0);
  EXPECT_FLOAT_EQ(Table().values[2], 90.0f);
  EXPECT_EQ(device_->operation_in_progress, 0);
}

TEST_F(ScannerOperationsTest, ReconfigureWithoutConfigurationTakesTheExitPath) {
  ASSERT_EQ(scanner_->StartUp(), 0);
  fs::remove(folder_ / "config");
  EXPECT_EQ(scanner_->Reconfigure(), -1);
  EXPECT_EQ(g_fatal_error, 2);
  EXPECT_EQ(world_.reports, std::vector<std::string>{"CAN'T READ CONFIGURATION -0002"});
}

}  // namespace
}  // namespace parvex
