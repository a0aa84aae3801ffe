#include "runtime/event_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "area_test_util.h"
#include "channel_test_util.h"
#include "platform/error_number.h"
#include "runtime/area_lock.h"
#include "runtime/process_identity.h"
#include "test_child.h"

namespace kestrum {
namespace {

using channel_test::AlarmService;
using channel_test::DerivedService;

constexpr char kSystem[] = R"({
  "devices": [{"driver": "parvex", "number": 1,
               "prefixes": {"do": {"prefix": "D1", "channels": 16}}}],
  "data_processors": [{"name": "ALARM"}, {"name": "DERIVED"},
                      {"name": "CALC", "prefix": "CA", "channels": 20}],
  "loggers": [{"name": "HISTORY"}, {"name": "TREND"}, {"name": "QUIET", "enabled": false}]
})";

constexpr char kWithoutServices[] = R"({
  "devices": [{"driver": "parvex", "number": 1,
               "prefixes": {"do": {"prefix": "D1", "channels": 16}}}],
  "data_processors": [{"name": "ALARM", "present": false}]
})";

void* TableData(std::string_view prefix) {
  return static_cast<std::byte*>(GetChannelTable(prefix)) + kAreaHeaderSize;
}

class EventBatchTest : public ::testing::Test {
 protected:
  void SetUp() override { instance_ = channel_test::Build(kSystem); }
  void TearDown() override {
    EndEventBatch();
    ForgetSharedAreas();
  }

  std::unique_ptr<dm::TemporaryInstance> instance_;
};

TEST_F(EventBatchTest, AlarmRecordsCarryEveryField) {
  AlarmService alarms;
  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);

  // Alarm raised on a value channel without a value, on the high side.
  const uint32_t raised = kStatusAlarmActive | kStatusAlarmSide | kStatusValueChannel |
                          kStatusNoValue | kStatusWarningSide;
  ASSERT_EQ(SendAlarmRaised(2, raised, true, 200, 7, "CONTROLROOM-PC-01", "operator", 12.5f), 0);
  AlarmRecord r = alarms.Record();
  EXPECT_EQ(std::string(r.prefix, 2), "D1");
  EXPECT_EQ(r.channel, 3 | kAlarmChannelNoValue);
  EXPECT_EQ(r.delay, 7);
  EXPECT_EQ(r.zero_6[0] | r.zero_6[1], 0);
  EXPECT_EQ(r.flags, kAlarmFlagValueChannel | kAlarmFlagSide | kAlarmFlagDriveCommon |
                         (200u << kAlarmFlagPriorityShift));
  EXPECT_EQ(channel_test::ValueOf(r), 12.5f);
  EXPECT_STREQ(r.computer_name, "CONTROLROOM-PC-");  // cut to 15 characters
  EXPECT_STREQ(r.user_name, "operator");
  EXPECT_EQ(r.zero_292, 0u);

  // Alarm ended without a value: no delay, priority or drive-common; the side of the word
  // before the change (low here).
  ASSERT_EQ(SendAlarmEnded(0, kStatusAlarmActive, "PC", std::string(40, 'u'), std::nullopt), 0);
  r = alarms.Record();
  EXPECT_EQ(r.channel, 1);
  EXPECT_EQ(r.delay, 0);
  EXPECT_EQ(r.flags, kAlarmFlagEnded);
  EXPECT_EQ(r.value_bits, kNoValueBits);
  EXPECT_EQ(std::string(r.user_name), std::string(32, 'u'));

  // Warnings take their side from 0x200 and never carry drive-common or a delay.
  ASSERT_EQ(SendWarningRaised(15, kStatusWarningActive | kStatusWarningSide | kStatusAlarmSide, 3,
                              "PC", "op", 1.0f),
            0);
  r = alarms.Record();
  EXPECT_EQ(r.channel, 16);
  EXPECT_EQ(r.delay, 0);
  EXPECT_EQ(r.flags, kAlarmFlagWarning | kAlarmFlagSide | (3u << kAlarmFlagPriorityShift));
  ASSERT_EQ(SendWarningEnded(1, kStatusWarningActive | kStatusValueChannel, "PC", "op", 0.0f), 0);
  r = alarms.Record();
  EXPECT_EQ(r.flags, kAlarmFlagEnded | kAlarmFlagWarning | kAlarmFlagValueChannel);
  EXPECT_EQ(channel_test::ValueOf(r), 0.0f);
  EXPECT_EQ(EndEventBatch(), 0);
  EXPECT_TRUE(alarms.Quiet());
}

TEST_F(EventBatchTest, OperationsNeedABatchAndAChannelInsideTheTable) {
  EXPECT_EQ(CountEventStart(0), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  EXPECT_EQ(SendAlarmRaised(0, kStatusAlarmActive, false, 1, 0, "PC", "op", 1.0f), -1);
  EXPECT_EQ(EndEventBatch(), -1);
  EXPECT_EQ(BeginEventBatch(nullptr), -1);

  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);
  EXPECT_EQ(BeginEventBatch(TableData("CA")), -1);  // one table at a time
  EXPECT_EQ(GetErrorNumber(), EBUSY);
  EXPECT_EQ(CountValueChange(15), 0);
  EXPECT_EQ(CountValueChange(16), -1);
  EXPECT_EQ(SendWarningEnded(16, 0, "PC", "op", std::nullopt), -1);
  EXPECT_EQ(EndEventBatch(), 0);
  EXPECT_EQ(CountEventEnd(0), -1);
}

// Another process: takes the lock of the event area of prefix args[0].
PARVEX_TEST_CHILD(LockEventArea) {
  return AreaLock(GetChannelEventArea(args.at(0))).held() ? 0 : 1;
}

TEST_F(EventBatchTest, BatchHoldsTheEventAreaLockUntilItEnds) {
  auto* header = static_cast<AreaHeader*>(GetChannelEventArea("D1"));
  ASSERT_NE(header, nullptr);
  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);
  EXPECT_EQ(header->lock_holder, static_cast<uint16_t>(CurrentProcessId()));
  EXPECT_EQ(header->lock_depth, 1u);
  // Another process cannot take the event area meanwhile.
  EXPECT_EQ(parvex_test::RunChild("LockEventArea", {"D1"}, 3000), -1);
  ASSERT_EQ(EndEventBatch(), 0);
  EXPECT_EQ(header->lock_holder, 0);
  EXPECT_EQ(header->lock_depth, 0u);
}

TEST_F(EventBatchTest, LoggersAreToldTheirNetEventsAndValueChanges) {
  area_test::Listener history, trend, quiet;
  ASSERT_TRUE(history.ok() && trend.ok() && quiet.ok());
  channel_test::Logger(0)->process_id = history.pid();
  channel_test::Logger(1)->process_id = trend.pid();
  channel_test::Logger(2)->process_id = quiet.pid();
  // HISTORY records channels 1 and 9, TREND channel 9 only, QUIET (disabled) channel 1.
  channel_test::SetEventBit("D1", LoggerEventRow(0), 1);
  channel_test::SetEventBit("D1", LoggerEventRow(0), 9);
  channel_test::SetEventBit("D1", LoggerEventRow(1), 9);
  channel_test::SetEventBit("D1", LoggerEventRow(2), 1);

  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);
  EXPECT_EQ(CountEventStart(1), 0);
  EXPECT_EQ(CountEventStart(9), 0);
  EXPECT_EQ(CountEventStart(4), 0);  // recorded by nobody
  ASSERT_EQ(EndEventBatch(), 0);

  // The next batch: an event starts and ends on channel 9 (net 0) and channel 1's value
  // changes.
  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);
  EXPECT_EQ(CountEventStart(9), 0);
  EXPECT_EQ(CountEventEnd(9), 0);
  EXPECT_EQ(CountValueChange(1), 0);
  ASSERT_EQ(EndEventBatch(), 0);

  // A batch with an event end only.
  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);
  EXPECT_EQ(CountEventEnd(1), 0);
  ASSERT_EQ(EndEventBatch(), 0);

  EXPECT_EQ(history.Received(),
            (std::vector<int32_t>{200002, static_cast<int32_t>(0x80030D40u), 199999}));
  EXPECT_EQ(trend.Received(), (std::vector<int32_t>{200001}));  // net 0 without changes: none
  EXPECT_TRUE(quiet.Received().empty());
}

TEST_F(EventBatchTest, DerivedServiceHearsOfAlarmsAndEventsOnItsChannels) {
  AlarmService alarms;
  DerivedService derived;
  channel_test::SetEventBit("CA", kDerivedEventRow, 3);
  // A warning on a derived channel is not a derived change; an alarm elsewhere neither.
  ASSERT_EQ(BeginEventBatch(TableData("CA")), 0);
  EXPECT_EQ(SendWarningRaised(3, kStatusWarningActive, 1, "PC", "op", 2.0f), 0);
  EXPECT_EQ(SendAlarmRaised(4, kStatusAlarmActive, false, 1, 0, "PC", "op", 2.0f), 0);
  ASSERT_EQ(EndEventBatch(), 0);
  EXPECT_TRUE(derived.Quiet());
  // An alarm ended and an event start each count; the table is named once.
  ASSERT_EQ(BeginEventBatch(TableData("CA")), 0);
  EXPECT_EQ(SendAlarmEnded(3, kStatusAlarmActive, "PC", "op", 1.0f), 0);
  EXPECT_EQ(CountEventStart(3), 0);
  ASSERT_EQ(EndEventBatch(), 0);
  EXPECT_EQ(derived.Prefix(), "CA");
  EXPECT_TRUE(derived.Quiet());
  // Channels 16 to 19 of a 20-channel table have no bit in its 2-byte rows.
  ASSERT_EQ(BeginEventBatch(TableData("CA")), 0);
  EXPECT_EQ(CountEventStart(19), 0);
  ASSERT_EQ(EndEventBatch(), 0);
  EXPECT_TRUE(derived.Quiet());
}

TEST(EventBatchServices, RecordsAreDroppedWhenTheAlarmServiceIsNotPresent) {
  auto instance = channel_test::Build(kWithoutServices);
  // A mailslot named "xalarms" exists, but "ALARM" is not running: nothing is sent to it.
  AlarmService alarms;
  ASSERT_EQ(BeginEventBatch(TableData("D1")), 0);
  EXPECT_EQ(SendAlarmRaised(0, kStatusAlarmActive, false, 1, 0, "PC", "op", 1.0f), 0);
  EXPECT_EQ(SendAlarmEnded(0, kStatusAlarmActive, "PC", "op", 1.0f), 0);
  EXPECT_EQ(EndEventBatch(), 0);
  EXPECT_TRUE(alarms.Quiet());
  ForgetSharedAreas();
}

TEST(EventBatchServices, ServicesAreLookedForOncePerProcess) {
  auto instance = channel_test::Build(kSystem);
  // The first look finds neither mailslot open (ten attempts for "derived").
  EXPECT_EQ(AlarmServiceHandle(), -1);
  EXPECT_EQ(DerivedServiceHandle(), -1);
  AlarmService alarms;
  DerivedService derived;
  EXPECT_EQ(AlarmServiceHandle(), -1);
  EXPECT_EQ(DerivedServiceHandle(), -1);
  // A new instance (forgotten areas) looks again.
  auto again = channel_test::Build(kSystem);
  AlarmService alarms2;
  EXPECT_GE(AlarmServiceHandle(), 0);
  ForgetSharedAreas();
}

}  // namespace
}  // namespace kestrum
