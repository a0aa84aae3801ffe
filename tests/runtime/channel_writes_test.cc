#include "runtime/channel_writes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "area_test_util.h"
#include "channel_test_util.h"
#include "platform/error_number.h"
#include "records/device_record.h"

namespace kestrum {
namespace {

using channel_test::AlarmService;
using channel_test::MakeDigitalOutput;
using channel_test::Table;
namespace df = digital_flags;
namespace af = analogue_flags;

// DG and AN are applied by the writer (data processors with write mode byte 0); the device's
// D1 and A1 are forwarded to the scanner.
constexpr char kSystem[] = R"({
  "devices": [{"driver": "parvex", "number": 1,
               "prefixes": {"do": {"prefix": "D1", "channels": 8},
                            "ao": {"prefix": "A1", "channels": 8}}}],
  "data_processors": [{"name": "ALARM"},
                      {"name": "DIGI", "prefix": "DG", "channels": 16, "live_bytes": 4},
                      {"name": "ANLG", "prefix": "AN", "channels": 8, "value_kind": 1}],
  "loggers": [{"name": "HISTORY"}]
})";

constexpr uint32_t kAlarmBits =
    kStatusAlarmActive | kStatusAlarmSide | kStatusAlarmFlag | kStatusAlarmImmediate;

class ChannelWritesTest : public ::testing::Test {
 protected:
  void SetUp() override { instance_ = channel_test::Build(kSystem); }
  void TearDown() override { ForgetSharedAreas(); }

  int Digital(std::string_view prefix, uint32_t first, std::vector<uint32_t> states,
              bool unconditional = false) {
    return WriteDigitalChannels(unconditional, true, prefix, first,
                                first + static_cast<uint32_t>(states.size()) - 1, states, "HOST",
                                "operator");
  }
  int Analogue(std::string_view prefix, uint32_t first, std::vector<float> values,
               bool unconditional = false) {
    return WriteAnalogueChannels(unconditional, true, prefix, first,
                                 first + static_cast<uint32_t>(values.size()) - 1, values, "HOST",
                                 "operator");
  }
  uint16_t Notifications(std::string_view prefix) {
    return area_test::ShortSubscriber(GetChannelTable(prefix), 1)->change_counter;
  }

  std::unique_ptr<dm::TemporaryInstance> instance_;
};

TEST_F(ChannelWritesTest, AlarmStateRaisesAndTheOtherStateEndsTheAlarm) {
  AlarmService alarms;
  MakeDigitalOutput("DG", 2,
                    df::kEnable | df::kAlarmEnable | df::kAlarmState | df::kAlarmDriveCommon, 9, 0);
  ASSERT_EQ(Digital("DG", 3, {1}), 0);
  uint32_t status = Table("DG").status[2];
  EXPECT_EQ(status, kStatusState | kAlarmBits);
  AlarmRecord r = alarms.Record();
  EXPECT_EQ(std::string(r.prefix, 2), "DG");
  EXPECT_EQ(r.channel, 3);
  EXPECT_EQ(r.flags, kAlarmFlagSide | kAlarmFlagDriveCommon | (9u << kAlarmFlagPriorityShift));
  EXPECT_EQ(r.delay, 0);
  EXPECT_EQ(channel_test::ValueOf(r), 1.0f);
  EXPECT_STREQ(r.computer_name, "HOST");
  EXPECT_STREQ(r.user_name, "operator");
  EXPECT_EQ(Notifications("DG"), 1);

  ASSERT_EQ(Digital("DG", 3, {0}), 0);
  status = Table("DG").status[2];
  EXPECT_EQ(status & (kStatusState | kStatusAlarmActive | kStatusAlarmFlag), 0u);
  r = alarms.Record();
  EXPECT_EQ(r.channel, 3);
  EXPECT_EQ(r.flags, kAlarmFlagEnded | kAlarmFlagSide);  // side of the word before the change
  EXPECT_EQ(channel_test::ValueOf(r), 0.0f);
  EXPECT_TRUE(alarms.Quiet());
}

TEST_F(ChannelWritesTest, AlarmWithDelayLeavesTheImmediateBitsClear) {
  AlarmService alarms;
  // Alarm on the low state, with a delay.
  MakeDigitalOutput("DG", 0, df::kEnable | df::kAlarmEnable, 4, 30);
  Table("DG").status[0] = kStatusState | kStatusAlarmFlag;
  ASSERT_EQ(Digital("DG", 1, {0}), 0);
  EXPECT_EQ(Table("DG").status[0], kStatusAlarmActive);
  AlarmRecord r = alarms.Record();
  EXPECT_EQ(r.delay, 30);
  EXPECT_EQ(r.flags, 4u << kAlarmFlagPriorityShift);
}

TEST_F(ChannelWritesTest, WritesThatChangeNothingAreSkipped) {
  AlarmService alarms;
  MakeDigitalOutput("DG", 0, df::kEnable | df::kAlarmEnable | df::kAlarmState);
  Table("DG").status[0] = kStatusState;  // state already 1, alarm bits deliberately missing
  channel_test::Config("DG", 1).digital.Type = kTypeDI;
  channel_test::Config("DG", 1).digital.flags = df::kEnable | df::kAlarmEnable | df::kAlarmState;
  ASSERT_EQ(Digital("DG", 1, {1, 1}), 0);
  EXPECT_EQ(Table("DG").status[0], kStatusState);
  EXPECT_EQ(Table("DG").status[1], 0u);  // "DI" channels are never written
  EXPECT_TRUE(alarms.Quiet());
}

TEST_F(ChannelWritesTest, UnconditionalWriteReevaluatesButRaisesOnlyRealChanges) {
  AlarmService alarms;
  for (uint32_t c = 0; c < 3; ++c) {
    MakeDigitalOutput("DG", c, df::kEnable | df::kAlarmEnable | df::kAlarmState, 2, 0);
  }
  // Channel 1 is already in alarm; channel 2 in state 1 without its alarm bits (and with a
  // stray value-channel bit); channel 3 is idle.
  Table("DG").status[0] = kStatusState | kAlarmBits;
  Table("DG").status[1] = kStatusState | kStatusValueChannel;
  ASSERT_EQ(Digital("DG", 1, {1, 1, 0}), 0);
  EXPECT_TRUE(alarms.Quiet());  // the ordinary write saw nothing to do
  EXPECT_EQ(Table("DG").status[1], kStatusState | kStatusValueChannel);

  ASSERT_EQ(Digital("DG", 1, {1, 1, 0}, true), 0);
  EXPECT_EQ(alarms.Record().channel, 2);
  EXPECT_TRUE(alarms.Quiet());
  EXPECT_EQ(Table("DG").status[0], kStatusState | kAlarmBits);
  EXPECT_EQ(Table("DG").status[1], kStatusState | kAlarmBits);
  EXPECT_EQ(Table("DG").status[2], 0u);
}

TEST_F(ChannelWritesTest, ChannelsWithoutValueOrEnableAreTreatedApart) {
  AlarmService alarms;
  const uint32_t flags = df::kEnable | df::kAlarmEnable | df::kAlarmState;
  MakeDigitalOutput("DG", 0, flags);
  MakeDigitalOutput("DG", 1, flags & ~df::kEnable);
  Table("DG").status[0] = kStatusNoValue;
  // No value: the ordinary write only stores the state, even when it is the same.
  ASSERT_EQ(Digital("DG", 1, {0}), 0);
  EXPECT_EQ(Table("DG").status[0], kStatusNoValue);
  ASSERT_EQ(Digital("DG", 1, {1}), 0);
  EXPECT_EQ(Table("DG").status[0], kStatusNoValue | kStatusState);
  // A disabled channel is evaluated: it gets "no value" and never an alarm.
  ASSERT_EQ(Digital("DG", 2, {1}), 0);
  EXPECT_EQ(Table("DG").status[1], kStatusNoValue | kStatusState);
  EXPECT_TRUE(alarms.Quiet());
  // The unconditional write evaluates the channel without a value and clears the bit.
  ASSERT_EQ(Digital("DG", 1, {1}, true), 0);
  EXPECT_EQ(Table("DG").status[0], kStatusState | kAlarmBits);
  EXPECT_EQ(alarms.Record().channel, 1);
}

TEST_F(ChannelWritesTest, EventsOfWrittenChannelsReachTheLogger) {
  area_test::Listener history;
  ASSERT_TRUE(history.ok());
  channel_test::Logger(0)->process_id = history.pid();
  channel_test::SetEventBit("DG", LoggerEventRow(0), 5);
  MakeDigitalOutput("DG", 5, df::kEnable | df::kEventEnable);  // event on the low state
  Table("DG").status[5] = kStatusState;
  ASSERT_EQ(Digital("DG", 6, {0}), 0);
  EXPECT_EQ(Table("DG").status[5], kStatusEventActive);
  ASSERT_EQ(Digital("DG", 6, {1}), 0);
  EXPECT_EQ(Table("DG").status[5], kStatusState);
  EXPECT_EQ(history.Received(), (std::vector<int32_t>{200001, 199999}));
}

TEST_F(ChannelWritesTest, ForwardedWritesOnlyStoreAndTellTheOwner) {
  AlarmService alarms;
  area_test::Listener scanner;
  ASSERT_TRUE(scanner.ok());
  FindDeviceRecord("parvex", 1)->scanner_pid = scanner.pid();
  MakeDigitalOutput("D1", 0, df::kEnable | df::kAlarmEnable | df::kAlarmState, 1, 0);
  AnalogueChannelConfig& a =
      channel_test::MakeAnalogueOutput("A1", 0, af::kEnable | af::kHighAlarmEnable);
  a.HighAlarmLimit = 10.0f;
  ASSERT_EQ(Digital("D1", 1, {1}), 0);
  EXPECT_EQ(Table("D1").status[0], kStatusState);
  ASSERT_EQ(Analogue("A1", 1, {50.0f}), 0);
  EXPECT_EQ(Table("A1").status[0], 0u);
  EXPECT_EQ(Table("A1").values[0], 50.0f);
  EXPECT_EQ(Table("A1").extended[0].code, 0);  // the device's value kind is 0
  EXPECT_EQ(Notifications("D1"), 0);
  EXPECT_TRUE(alarms.Quiet());
  EXPECT_EQ(scanner.Received(), (std::vector<int32_t>{305, 305}));
}

TEST_F(ChannelWritesTest, BadRangesAndTablesAreRefusedBeforeAnyChange) {
  MakeDigitalOutput("DG", 0, df::kEnable);
  const std::vector<uint32_t> ones(20, 1);
  const uint32_t count = Table("DG").count;
  struct Case {
    uint32_t first, last;
    size_t values;
  } cases[] = {{0, 1, 1}, {1, count + 1, 17}, {count + 1, count + 1, 1}, {3, 2, 2}, {1, 3, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
    SetErrorNumber(0);
    EXPECT_EQ(WriteDigitalChannels(false, true, "DG", c.first, c.last,
                                   std::span(ones).first(c.values), "H", "U"),
              -1);
    EXPECT_EQ(GetErrorNumber(), EINVAL);
  }
  EXPECT_EQ(Table("DG").status[0], 0u);
  EXPECT_EQ(Notifications("DG"), 0);
  EXPECT_EQ(Digital("ZZ", 1, {1}), -1);  // no such table
  // A value write to a table without values.
  EXPECT_EQ(Analogue("DG", 1, {1.0f}), -1);
  EXPECT_EQ(Digital("DG", 16, {1}), 0);  // the last channel is inside
}

TEST_F(ChannelWritesTest, ValueChannelWalksThroughWarningAndAlarmLevels) {
  AlarmService alarms;
  area_test::Listener history;
  ASSERT_TRUE(history.ok());
  channel_test::Logger(0)->process_id = history.pid();
  channel_test::SetEventBit("AN", LoggerEventRow(0), 1);
  AnalogueChannelConfig& a = channel_test::MakeAnalogueOutput(
      "AN", 1,
      af::kEnable | af::kHighAlarmEnable | af::kHighWarningEnable | af::kLowAlarmEnable |
          af::kLowWarningEnable | af::kSigChangeEnable | af::kEventEnable |
          af::kLowAlarmDriveCommon);
  a.HighAlarmLimit = 80;
  a.HighWarningLimit = 70;
  a.LowWarningLimit = 20;
  a.LowAlarmLimit = 10;
  a.SigChangeValue = -5;  // its magnitude counts
  a.HighEventLimit = 90;
  a.LowEventLimit = 5;
  a.HighAlarmPriority = 11;
  a.LowAlarmPriority = 12;
  a.LowAlarmDelay = 4;

  ASSERT_EQ(Analogue("AN", 2, {50}), 0);  // a significant change, nothing else
  EXPECT_EQ(Table("AN").status[1], kStatusValueChannel | kStatusSigChange);
  EXPECT_EQ(Table("AN").values[1], 50.0f);
  EXPECT_EQ(Table("AN").extended[1].code, kExtendedCodeWritten);
  EXPECT_EQ(Table("AN").extended[1].value, 50.0f);
  EXPECT_TRUE(alarms.Quiet());

  ASSERT_EQ(Analogue("AN", 2, {52}), 0);  // below the significant change
  EXPECT_EQ(Table("AN").status[1], kStatusValueChannel);

  ASSERT_EQ(Analogue("AN", 2, {75}), 0);  // high warning
  AlarmRecord r = alarms.Record();
  EXPECT_EQ(r.flags, kAlarmFlagWarning | kAlarmFlagValueChannel | kAlarmFlagSide |
                         (11u << kAlarmFlagPriorityShift));
  EXPECT_EQ(channel_test::ValueOf(r), 75.0f);

  ASSERT_EQ(Analogue("AN", 2, {85}), 0);  // high alarm, delay 0; the warning stays
  r = alarms.Record();
  EXPECT_EQ(r.flags, kAlarmFlagValueChannel | kAlarmFlagSide | (11u << kAlarmFlagPriorityShift));
  EXPECT_EQ(r.delay, 0);
  EXPECT_TRUE(alarms.Quiet());
  EXPECT_EQ(Table("AN").status[1], kStatusValueChannel | kStatusSigChange | kStatusWarningActive |
                                       kStatusWarningSide | kAlarmBits);

  ASSERT_EQ(Analogue("AN", 2, {15}), 0);  // low warning replaces the high one; alarm ends
  r = alarms.Record();
  EXPECT_EQ(r.flags, kAlarmFlagWarning | kAlarmFlagValueChannel | (12u << kAlarmFlagPriorityShift));
  r = alarms.Record();
  EXPECT_EQ(r.flags, kAlarmFlagEnded | kAlarmFlagValueChannel | kAlarmFlagSide);
  EXPECT_EQ(channel_test::ValueOf(r), 15.0f);

  ASSERT_EQ(Analogue("AN", 2, {5}), 0);  // low alarm with a delay; a low event starts
  r = alarms.Record();
  EXPECT_EQ(r.flags,
            kAlarmFlagValueChannel | kAlarmFlagDriveCommon | (12u << kAlarmFlagPriorityShift));
  EXPECT_EQ(r.delay, 4);
  const uint32_t s = Table("AN").status[1];
  EXPECT_EQ(s & (kStatusAlarmActive | kStatusAlarmSide | kStatusAlarmFlag), kStatusAlarmActive);
  EXPECT_EQ(s & (kStatusEventActive | kStatusEventSide), kStatusEventActive);
  EXPECT_EQ(s & (kStatusWarningActive | kStatusWarningSide), kStatusWarningActive);

  // Value changes of 50, 75 - 52, 85 - 75, 15, and 5 - 15 with the event start.
  EXPECT_EQ(history.Received(),
            (std::vector<int32_t>{int32_t(0x80030D40u), int32_t(0x80030D40u), int32_t(0x80030D40u),
                                  int32_t(0x80030D40u), int32_t(0x80030D41u)}));
}

TEST_F(ChannelWritesTest, DeadbandsKeepAlarmsAndWarnings) {
  AlarmService alarms;
  AnalogueChannelConfig& a = channel_test::MakeAnalogueOutput(
      "AN", 0,
      af::kEnable | af::kHighAlarmEnable | af::kHighAlarmDeadbandEnable | af::kHighWarningEnable |
          af::kLowAlarmEnable | af::kLowAlarmDeadbandEnable | af::kLowWarningEnable);
  a.HighAlarmLimit = 80;
  a.HighAlarmDeadband = 75;  // the alarm is kept down to 75, the warning down to 70 - 5
  a.HighWarningLimit = 70;
  a.LowAlarmLimit = 10;
  a.LowAlarmDeadband = 12;  // kept up to 12; the warning up to 20 + 2
  a.LowWarningLimit = 20;
  ASSERT_EQ(Analogue("AN", 1, {85}), 0);
  alarms.Record();  // warning
  alarms.Record();  // alarm
  ASSERT_EQ(Analogue("AN", 1, {76}), 0);
  EXPECT_TRUE(alarms.Quiet());
  ASSERT_EQ(Analogue("AN", 1, {66}), 0);  // alarm ends, the warning is kept
  EXPECT_EQ(alarms.Record().flags & (kAlarmFlagEnded | kAlarmFlagWarning), kAlarmFlagEnded);
  EXPECT_TRUE(alarms.Quiet());
  ASSERT_EQ(Analogue("AN", 1, {64}), 0);  // warning ends
  EXPECT_EQ(alarms.Record().flags & (kAlarmFlagEnded | kAlarmFlagWarning),
            kAlarmFlagEnded | kAlarmFlagWarning);

  ASSERT_EQ(Analogue("AN", 1, {9}), 0);
  alarms.Record();
  alarms.Record();
  ASSERT_EQ(Analogue("AN", 1, {21}), 0);  // alarm ends at 21 > 12, low warning kept to 22
  EXPECT_EQ(alarms.Record().flags & kAlarmFlagEnded, kAlarmFlagEnded);
  EXPECT_TRUE(alarms.Quiet());
  EXPECT_EQ(Table("AN").status[0] & kStatusWarningActive, kStatusWarningActive);
}

TEST_F(ChannelWritesTest, UnchangedValueIsSkippedUnlessUnconditional) {
  AlarmService alarms;
  AnalogueChannelConfig& a =
      channel_test::MakeAnalogueOutput("AN", 0, af::kEnable | af::kHighAlarmEnable);
  a.HighAlarmLimit = 10;
  Table("AN").values[0] = 20;  // at an alarm level, but not evaluated yet
  ASSERT_EQ(Analogue("AN", 1, {20}), 0);
  EXPECT_EQ(Table("AN").status[0], 0u);
  EXPECT_EQ(Table("AN").extended[0].code, 0);
  ASSERT_EQ(Analogue("AN", 1, {20}, true), 0);
  EXPECT_EQ(Table("AN").status[0], kStatusValueChannel | kAlarmBits);
  EXPECT_EQ(alarms.Record().channel, 1);
}

}  // namespace
}  // namespace kestrum
