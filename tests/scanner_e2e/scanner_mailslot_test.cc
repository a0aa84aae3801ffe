// The real scanner's posts under load: a burst of alarm records reaches a reading alarm service
// whole and in order, and a receiver that never reads costs one bounded scan and is reported.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/mailslot.h"
#include "records/alarm_record.h"
#include "runtime/driver_link.h"
#include "runtime/post_delivery.h"
#include "scanner_rig.h"
#ifndef _WIN32
#include "syslog_capture.h"
#endif

namespace parvex_test {
namespace {

constexpr int kChannels = 100;

// 100 channels on the report's volume, each above its warning and alarm limits at 2.5.
RigOptions CrossingChannels() {
  RigOptions options;
  options.table_channels = kChannels;
  for (int id = 1; id <= kChannels; ++id) {
    options.channels.push_back(
        ChannelXml(id, "V" + std::to_string(id), "VOLUME").HighAlarm(2.0, 1.5, 3, 0));
  }
  return options;
}

std::vector<kestrum::AlarmRecord> ReadRecords(kestrum::Mailslot* slot, size_t count,
                                              int timeout_ms) {
  std::vector<kestrum::AlarmRecord> got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (got.size() < count && std::chrono::steady_clock::now() < end) {
    kestrum::AlarmRecord r;
    if (kestrum::ReadMailslotFor(slot, &r, 100) == sizeof r) got.push_back(r);
  }
  return got;
}

TEST(ScannerMailslots, EveryRecordOfOneScanReachesAReadingAlarmServiceInChannelOrder) {
  ScannerRig rig(CrossingChannels());
  ASSERT_EQ(rig.error(), "");
  kestrum::Mailslot* slot = kestrum::CreateMailslot("xalarms", sizeof(kestrum::AlarmRecord));
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(rig.StartCounter({"--volume", "2.5"}));
  // The service reads from before the scanner starts: its first scan raises a warning, then an
  // alarm, on every channel.
  std::vector<kestrum::AlarmRecord> got;
  std::thread service([&] { got = ReadRecords(slot, 2 * kChannels, 8000); });
  const bool started = rig.StartScanner();
  service.join();
  ASSERT_TRUE(started) << rig.error();
  ASSERT_EQ(got.size(), 2u * kChannels);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].channel, i / 2 + 1) << i;
    EXPECT_EQ((got[i].flags & kestrum::kAlarmFlagWarning) != 0, i % 2 == 0) << i;
    EXPECT_EQ(got[i].flags & kestrum::kAlarmFlagEnded, 0u) << i;
  }
  kestrum::CloseMailslot(slot);
}

// The dropped records are counted in the system log, which a preloaded library captures on
// Linux; on Windows the line goes to the event log, which the test does not read.
TEST(ScannerMailslots, AnAlarmServiceThatNeverReadsCostsOneBoundedScanAndTheDropsAreLogged) {
  ScannerRig rig(CrossingChannels());
  ASSERT_EQ(rig.error(), "");
  kestrum::Mailslot* slot = kestrum::CreateMailslot("xalarms", sizeof(kestrum::AlarmRecord));
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(rig.StartCounter({"--volume", "2.5", "--interval", "200"}));
#ifndef _WIN32
  ScopedSyslogCapture syslog;
#endif
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
#ifndef _WIN32
  syslog.Release();
#endif
  // The scan that raised every record finished within the serial wait and one post budget;
  // the scans after it still run.
  EXPECT_LT(rig.table().header->scan_duration_ms, 1000u + kestrum::kPostBudgetMs);
  const int before = rig.ScansSent();
  rig.StartPump(100);
  EXPECT_TRUE(ScannerRig::WaitFor([&] { return rig.ScansSent() >= before + 5; }, 10000));
  rig.StopPump();
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  EXPECT_EQ(rig.WaitExit(10000), 0);

  // What the receiver's queue took, and the one line counting the rest.
  const size_t queued = ReadRecords(slot, 2 * kChannels, 1000).size();
  EXPECT_LT(queued, 2u * kChannels);
#ifndef _WIN32
  const std::string log = syslog.Text();
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(log, m, std::regex("([0-9]+) MESSAGES TO MAILSLOT xalarms DROPPED")))
      << log;
  EXPECT_EQ(std::stoul(m[1]), 2 * kChannels - queued) << log;
  EXPECT_EQ(log.find("DROPPED", m.position(0) + m.length(0)), std::string::npos) << log;
#endif
  kestrum::CloseMailslot(slot);
}

}  // namespace
}  // namespace parvex_test
