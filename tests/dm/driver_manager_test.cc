#include "tools/dm/driver_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "built_instance_test.h"
#include "platform/environment.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "tools/dm/instance.h"

namespace kestrum::dm {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kSystem[] = R"({
  "devices": [
    {"driver": "fakedrv", "number": 7, "scan_rate": 100,
     "prefixes": {"ai": {"prefix": "F7", "channels": 2}}},
    {"driver": "fakedrv", "number": 8, "scan_rate": 100}
  ]
})";

class DriverManagerTest : public parvex_test::BuiltInstanceTest<kSystem> {
 protected:
  void TearDown() override {
    manager_.reset();
    RemoveEnvironmentValue("FAKE_SCANNER_NO_BOUNDARY");
    RemoveEnvironmentValue("FAKE_SCANNER_BOUNDARY_ONCE");
    BuiltInstanceTest::TearDown();
  }

  void Start() {
    manager_ = std::make_unique<DriverManager>(
        instance_->system(), [this](const std::string& line) { reports_.push_back(line); });
    ASSERT_EQ(manager_->StartScanners(FAKE_SCANNER), 0);
  }

  // Runs the manager until `done` holds, for at most five seconds.
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      manager_->Tick();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  DeviceRecord* Record(uint16_t number) { return FindDeviceRecord("fakedrv", number); }

  bool Reported(const std::string& text) const {
    for (const auto& line : reports_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::unique_ptr<DriverManager> manager_;
  std::vector<std::string> reports_;
};

TEST_F(DriverManagerTest, ScannerFindsItsRecordUnderItsDriverName) {
  Start();
  for (uint16_t number : {7, 8}) {
    ASSERT_NE(Record(number), nullptr);
    const ProcessId pid = manager_->ScannerPid(number);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(RunUntil([&] { return Record(number)->scanner_pid == static_cast<uint32_t>(pid); }))
        << "device " << number << " never published its process id";
  }
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::is_symlink(ScannerLinkPath("fakedrv")));
#endif
}

TEST_F(DriverManagerTest, ScansFollowThePublishedBoundaries) {
  Start();
  ASSERT_TRUE(RunUntil([&] { return Record(7)->last_scan_ms >= 3; }));
  EXPECT_NE(Record(7)->next_scan.seconds, 0);
  EXPECT_GE(manager_->ScansSent(7), 3);
  // One request per boundary: never more requests than boundaries the scanner has seen plus the
  // one in flight.
  EXPECT_LE(manager_->ScansSent(7), static_cast<int>(Record(7)->last_scan_ms) + 2);
}

TEST_F(DriverManagerTest, ScansFollowTheScanRateWhileNoBoundaryIsPublished) {
  SetEnvironmentValue("FAKE_SCANNER_NO_BOUNDARY", "1");
  Start();
  ASSERT_TRUE(RunUntil([&] { return Record(8)->last_scan_ms >= 3; }));
  EXPECT_EQ(Record(8)->next_scan.seconds, 0);
}

TEST_F(DriverManagerTest, ScansGoOnAtTheScanRateAfterTheLastPublishedBoundary) {
  // A scanner that publishes one boundary (after its start-up) must not starve after it.
  SetEnvironmentValue("FAKE_SCANNER_BOUNDARY_ONCE", "1");
  Start();
  ASSERT_TRUE(RunUntil([&] { return Record(7)->next_scan.seconds != 0; }));
  const TimeStamp only = Record(7)->next_scan;
  EXPECT_TRUE(RunUntil([&] { return Record(7)->last_scan_ms >= 4; }))
      << "scans after the boundary: " << Record(7)->last_scan_ms;
  EXPECT_TRUE(SameTimeStamp(Record(7)->next_scan, only));
}

TEST_F(DriverManagerTest, CommandsReachTheScanner) {
  Start();
  ASSERT_TRUE(RunUntil([&] { return Record(7)->scanner_pid != 0; }));
  for (int32_t code : {kMessageReconfigure, kMessageResetCounters, kMessageInitialiseValues}) {
    ASSERT_TRUE(RunUntil([&] { return manager_->Send(7, code) == 0; }));
    int32_t seen = 0;
    EXPECT_TRUE(RunUntil([&] {
      std::memcpy(&seen, Record(7)->config.unused, sizeof(seen));
      return seen == code;
    })) << code;
  }
  EXPECT_EQ(manager_->Send(99, kMessageScan), -1);
}

TEST_F(DriverManagerTest, ExitOfAScannerIsNoticedAndReported) {
  Start();
  ASSERT_TRUE(RunUntil([&] { return Record(8)->scanner_pid != 0; }));
  ASSERT_EQ(manager_->Send(8, kMessageStop), 0);
  const int scans_at_stop = manager_->ScansSent(8);
  ASSERT_TRUE(RunUntil([&] { return manager_->ScannerPid(8) == 0; }));
  EXPECT_EQ(manager_->ExitStatus(8), 0);
  // A scanner told to stop gets no more scan requests, which it could not take on its way out.
  EXPECT_EQ(manager_->ScansSent(8), scans_at_stop);
  EXPECT_FALSE(Reported("did not take a scan request"));
  EXPECT_EQ(Record(8)->scanner_attached, 0);
  EXPECT_TRUE(Reported("scanner fakedrv 8")) << "no report of the exit";
  EXPECT_GT(manager_->ScannerPid(7), 0) << "the other scanner keeps running";

  manager_->StopScanners(5000);
  EXPECT_EQ(manager_->ExitStatus(7), 0) << "stopped with 31, not killed";
}

TEST_F(DriverManagerTest, MissingProgramIsReportedNotFatal) {
  manager_ = std::make_unique<DriverManager>(
      instance_->system(), [this](const std::string& line) { reports_.push_back(line); });
  EXPECT_EQ(manager_->StartScanners(instance_->dir() + "/no_such_program"), -1);
  EXPECT_TRUE(Reported("could not be started"));
  EXPECT_EQ(manager_->ScannerPid(7), 0);
}

}  // namespace
}  // namespace kestrum::dm
