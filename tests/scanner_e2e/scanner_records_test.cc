// The real scanner's notices to other processes: message 32 to the channel table's subscribers
// after every scan, and alarm and warning records on "xalarms", raised and, after a
// reconfigure, ended.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "platform/mailslot.h"
#include "records/alarm_record.h"
#include "records/area_layout.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "scanner_rig.h"
#include "started_rig.h"

namespace parvex_test {
namespace {

std::atomic<int> g_area_changed{0};

void CountAreaChanged(int32_t code) {
  if (code == kestrum::kMessageAreaChanged) ++g_area_changed;
}

TEST(ScannerNotices, EverySuccessfulScanPostsOneAreaChangedToSubscribers) {
  // A scan rate of an hour keeps the stand-in's own boundary scan out of the count.
  RigOptions options;
  options.channels = {ChannelXml(1, "VOLUME", "VOLUME")};
  options.scan_rate_ms = 3600000;
  ScannerRig rig(options);
  ASSERT_EQ(rig.error(), "");
  g_area_changed = 0;
  kestrum::StartDriverLink(CountAreaChanged);
  ASSERT_TRUE(rig.StartCounter({"--interval", "200"}));
  ASSERT_TRUE(ScannerRig::SubscribeByMessage(rig.table_area()));
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
  // Initialise device posts two notices (channels marked failed, then its first scan). They may
  // still be on their way when the scanner reports ready; counting starts after both arrived.
  ASSERT_TRUE(ScannerRig::WaitFor([] { return g_area_changed.load() >= 2; }, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(g_area_changed.load(), 2) << "notices of initialise device";
  for (int scan = 0; scan < 3; ++scan) {
    const int before = g_area_changed.load();
    ASSERT_EQ(rig.Post(kestrum::kMessageScan), 0);
    ASSERT_TRUE(ScannerRig::WaitFor([&] { return g_area_changed.load() > before; }, 5000))
        << "scan " << scan;
    // Nothing more arrives for the one scan.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(g_area_changed.load(), before + 1) << "scan " << scan;
  }
  kestrum::StopDriverLink();
}

struct Received {
  kestrum::AlarmRecord record;
  bool ended() const { return record.flags & kestrum::kAlarmFlagEnded; }
  bool warning() const { return record.flags & kestrum::kAlarmFlagWarning; }
  int priority() const {
    return static_cast<int>((record.flags & kestrum::kAlarmFlagPriorityMask) >>
                            kestrum::kAlarmFlagPriorityShift);
  }
  float value() const {
    float v;
    std::memcpy(&v, &record.value_bits, sizeof v);
    return v;
  }
};

// Reads records until `count` arrived or `timeout_ms` passed.
std::vector<Received> ReadRecords(kestrum::Mailslot* slot, size_t count, int timeout_ms) {
  std::vector<Received> got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (got.size() < count && std::chrono::steady_clock::now() < end) {
    Received r;
    if (kestrum::ReadMailslotFor(slot, &r.record, 100) == sizeof r.record) got.push_back(r);
  }
  return got;
}

TEST(ScannerNotices, AlarmAndWarningRecordsAreRaisedAndEndAfterAReconfigure) {
  auto volume = [](double limit) {
    return ChannelXml(2, "VOLUME", "VOLUME").HighAlarm(limit, limit - 0.5, 7, 0);
  };
  ScannerRig rig({{ChannelXml(1, "CLOCK", "TIME"), volume(2.0)}});
  ASSERT_EQ(rig.error(), "");
  kestrum::Mailslot* slot = kestrum::CreateMailslot("xalarms", sizeof(kestrum::AlarmRecord));
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5"}));

  // The first scan with a reading raises the warning, then the alarm, of channel 2.
  std::vector<Received> raised = ReadRecords(slot, 2, 10000);
  ASSERT_EQ(raised.size(), 2u) << "status " << rig.table().status[1] << " value "
                               << rig.table().values[1];
  EXPECT_TRUE(raised[0].warning());
  EXPECT_FALSE(raised[0].ended());
  EXPECT_FALSE(raised[1].warning());
  EXPECT_FALSE(raised[1].ended());
  for (const Received& r : raised) {
    EXPECT_EQ(std::string(r.record.prefix, 2), "P1");
    EXPECT_EQ(r.record.channel, 2);
    EXPECT_EQ(r.priority(), 7);
    EXPECT_FLOAT_EQ(r.value(), 2.5f);
  }
  EXPECT_EQ(raised[1].record.flags & kestrum::kAlarmFlagSide, kestrum::kAlarmFlagSide);
  const kestrum::ChannelTableView t = rig.table();
  EXPECT_EQ(t.status[1] & (kestrum::kStatusAlarmActive | kestrum::kStatusAlarmFlag |
                           kestrum::kStatusAlarmImmediate | kestrum::kStatusWarningActive),
            kestrum::kStatusAlarmActive | kestrum::kStatusAlarmFlag |
                kestrum::kStatusAlarmImmediate | kestrum::kStatusWarningActive);
  // Steady readings send nothing more.
  EXPECT_TRUE(ReadRecords(slot, 1, 1000).empty());

  // Raising the limits above the reading ends both at the reconfigure's scan.
  ASSERT_TRUE(rig.RewriteChannels({ChannelXml(1, "CLOCK", "TIME"), volume(10.0)}));
  ASSERT_EQ(rig.Post(kestrum::kMessageReconfigure), 0);
  std::vector<Received> ended = ReadRecords(slot, 2, 10000);
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_TRUE(ended[0].warning() && ended[0].ended());
  EXPECT_TRUE(!ended[1].warning() && ended[1].ended());
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] { return !(rig.table().status[1] & kestrum::kStatusAlarmActive); }, 5000));
  kestrum::CloseMailslot(slot);
}

}  // namespace
}  // namespace parvex_test
