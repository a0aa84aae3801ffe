#include "runtime/error_reporting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "area_test_util.h"
#include "channel_test_util.h"
#include "platform/error_number.h"
#include "records/fixed_text.h"
#include "runtime/time_stamps.h"

namespace kestrum {
namespace {

using channel_test::AlarmService;
using channel_test::Table;
namespace df = digital_flags;

constexpr char kSystem[] = R"({
  "error_entries": 4,
  "data_processors": [{"name": "ALARM"},
                      {"name": "SYSER", "prefix": "SE", "channels": 8, "live_bytes": 4}],
  "loggers": [{"name": "HISTORY"}, {"name": "L_AB_CDEFGH_IJ_KL_M"}]
})";

// A SYSER channel for `description`: a "DO" channel whose alarm follows its state.
ChannelConfigRecord& SyserChannel(uint32_t channel, std::string_view description,
                                  std::string_view tag = "") {
  channel_test::MakeDigitalOutput("SE", channel, df::kEnable | df::kAlarmEnable | df::kAlarmState,
                                  5, 0);
  ChannelConfigRecord& r = channel_test::Config("SE", channel);
  SetChannelDescription(&r, description);
  SetChannelTag(&r, tag);
  return r;
}

class ErrorReportingTest : public ::testing::Test {
 protected:
  void Build(const char* json = kSystem) { instance_ = channel_test::Build(json); }
  void TearDown() override {
    SetErrorSourceNameRules(nullptr, nullptr);
    ForgetSharedAreas();
  }

  SystemArea Errors() {
    SystemArea errors;
    EXPECT_EQ(OpenErrorArea(&errors), 0);
    return errors;
  }
  LongErrorEntry& Long(uint32_t i) {
    SystemArea e = Errors();
    return *reinterpret_cast<LongErrorEntry*>(static_cast<uint8_t*>(e.area) +
                                              LongErrorEntryOffset(e.count, i));
  }
  ShortErrorEntry& Short(uint32_t i) {
    SystemArea e = Errors();
    return *reinterpret_cast<ShortErrorEntry*>(static_cast<uint8_t*>(e.area) +
                                               ShortErrorEntryOffset(i));
  }
  uint16_t Notifications() { return area_test::ShortSubscriber(Errors().area, 1)->change_counter; }

  std::unique_ptr<dm::TemporaryInstance> instance_;
};

TEST_F(ErrorReportingTest, ReportRaisesTheSyserChannelAndClearLowersIt) {
  Build();
  AlarmService alarms;
  SyserChannel(0, "OTHER DEVICE");
  const ChannelConfigRecord& channel = SyserChannel(3, "counter one");
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "COUNTER ONE"), 0);
  EXPECT_EQ(Long(0).source_type, kErrorSourceDevice);
  EXPECT_STREQ(Long(0).source_name, "COUNTER ONE");

  SetErrorNumber(1465);
  const TimeStamp before = LocalTimeNow();
  ReportError("CAN'T SCAN DEVICE -%04d", 1465 & 0xFFF);
  const TimeStamp stamp = Table("SE").header->stamp;  // the time of the report
  EXPECT_GE(DiffMs(stamp, before), 0);
  EXPECT_LE(DiffMs(stamp, LocalTimeNow()), 0);
  EXPECT_EQ(GetErrorNumber(), 1465);
  EXPECT_STREQ(Long(0).message, "CAN'T SCAN DEVICE -1465");
  EXPECT_EQ(Notifications(), 1);
  EXPECT_EQ(FixedText(channel.digital.HighStateText), "CAN'T SCAN DEVICE -1465");
  EXPECT_EQ(FixedText(channel.digital.AlarmText), "CAN'T SCAN DEVICE -1465");
  EXPECT_EQ(Table("SE").status[3] & (kStatusState | kStatusAlarmActive),
            kStatusState | kStatusAlarmActive);
  AlarmRecord r = alarms.Record();
  EXPECT_EQ(std::string(r.prefix, 2), "SE");
  EXPECT_EQ(r.channel, 4);

  // The same message again, in another case: nothing changes and nobody is told.
  ReportError("can't scan device -%04d", 1465);
  EXPECT_EQ(Notifications(), 1);
  EXPECT_STREQ(Long(0).message, "CAN'T SCAN DEVICE -1465");
  EXPECT_TRUE(alarms.Quiet());

  // An empty message clears the error and lowers the channel.
  ReportError("%s", "");
  EXPECT_STREQ(Long(0).message, "");
  EXPECT_EQ(Notifications(), 2);
  EXPECT_EQ(Table("SE").status[3] & kStatusState, 0u);
  EXPECT_EQ(alarms.Record().flags & kAlarmFlagEnded, kAlarmFlagEnded);
  ClearError();  // nothing left to clear
  EXPECT_EQ(Notifications(), 2);
  EXPECT_EQ(Table("SE").status[0], 0u);
}

TEST_F(ErrorReportingTest, LongMessagesAreCutForEachPlace) {
  Build();
  const ChannelConfigRecord& channel = SyserChannel(0, "COUNTER ONE");
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "COUNTER ONE"), 0);
  std::string message;
  for (int i = 0; i < 100; ++i) message += static_cast<char>('A' + i % 26);
  std::memset(Long(0).message, 'x', sizeof Long(0).message);  // stale bytes behind the text
  ReportError("%s", message.c_str());
  EXPECT_EQ(FixedText(Long(0).message), message.substr(0, 80));
  EXPECT_EQ(FixedText(channel.digital.HighStateText), message.substr(0, 32));
  EXPECT_EQ(FixedText(channel.digital.AlarmText), message.substr(0, 32));
  // Reporting it again is recognised as the same message.
  ReportError("%s", message.c_str());
  EXPECT_EQ(Notifications(), 1);
}

TEST_F(ErrorReportingTest, RaisedChannelFromAnEarlierRunShowsItsText) {
  Build();
  ChannelConfigRecord& channel = SyserChannel(2, "COUNTER ONE");
  SetFixedText(channel.digital.HighStateText, "PORT COM3 FAILED -0002", false);
  Table("SE").status[2] = kStatusState | kStatusAlarmActive;
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "Counter One"), 0);
  EXPECT_STREQ(Long(0).message, "PORT COM3 FAILED -0002");
  // Clearing lowers the channel that the earlier run raised.
  ClearError();
  EXPECT_STREQ(Long(0).message, "");
  EXPECT_EQ(Table("SE").status[2] & kStatusState, 0u);
}

TEST_F(ErrorReportingTest, EntriesAreKeyedByTypeAndName) {
  Build();
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "SHARED NAME"), 0);
  ReportError("FIRST");
  ASSERT_EQ(RegisterErrorSource(kErrorSourceLogger, "SHARED NAME"), 0);
  EXPECT_EQ(Long(1).source_type, kErrorSourceLogger);
  EXPECT_STREQ(Long(1).source_name, "SHARED NAME");
  ReportError("SECOND");
  EXPECT_STREQ(Long(0).message, "FIRST");
  EXPECT_STREQ(Long(1).message, "SECOND");
  // Registering again finds the same entry and empties its message.
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "shared name"), 0);
  EXPECT_STREQ(Long(0).message, "");
  EXPECT_STREQ(Long(0).source_name, "shared name");
  EXPECT_EQ(Long(2).source_name[0], '\0');
}

TEST_F(ErrorReportingTest, FullTableLeavesTheProcessUnbound) {
  Build();
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, ("DEVICE " + std::to_string(i)).c_str()), 0);
  }
  EXPECT_EQ(RegisterErrorSource(kErrorSourceDevice, "ONE TOO MANY"), -1);
  EXPECT_EQ(GetErrorNumber(), ENOSPC);
  SetErrorNumber(7);
  ReportError("LOST");
  EXPECT_EQ(GetErrorNumber(), 7);
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(Long(i).message, "");
  EXPECT_EQ(Notifications(), 0);
}

TEST_F(ErrorReportingTest, WithoutSyserOnlyTheEntryIsWritten) {
  Build(R"({"error_entries": 2})");
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "COUNTER ONE"), 0);
  ReportError("PORT FAILED");
  EXPECT_STREQ(Long(0).message, "PORT FAILED");
}

TEST_F(ErrorReportingTest, ShortLayoutClaimsTheLastFreeEntryAndCutsAt30) {
  Build(R"({"error_entries": 3, "long_errors": false,
            "data_processors": [{"name": "SYSER", "prefix": "SE", "channels": 8,
                                 "live_bytes": 4}]})");
  const ChannelConfigRecord& channel = SyserChannel(1, "A NAME OF TWENTY-FOUR CHA");
  const std::string name = "A NAME OF TWENTY-FOUR CHARACTERS";  // cut to 24 in the entry
  const ChannelConfigRecord& matched = SyserChannel(2, name);
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, name.c_str()), 0);
  EXPECT_EQ(Short(2).source_type, kErrorSourceDevice);
  EXPECT_EQ(FixedText(Short(2).source_name), name.substr(0, 24));
  EXPECT_EQ(Short(0).source_name[0], '\0');
  std::string message;
  for (int i = 0; i < 45; ++i) message += static_cast<char>('A' + i % 26);
  ReportError("%s", message.c_str());
  EXPECT_EQ(FixedText(Short(2).message), message.substr(0, 30));
  // The channel's description (32 characters) is matched with the first 47 of the name, and
  // its texts take 32 characters of the message even though the entry keeps only 30.
  EXPECT_EQ(FixedText(channel.digital.HighStateText), "");
  EXPECT_EQ(FixedText(matched.digital.HighStateText), message.substr(0, 32));
  EXPECT_EQ(FixedText(matched.digital.AlarmText), message.substr(0, 32));
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, name.c_str()), 0);
  EXPECT_EQ(Short(1).source_name[0], '\0');  // the same entry again
}

const char* FakeShortened(const LoggerRecord*, const char* name) {
  return std::strcmp(name, "L_AB_CDEFGH_IJ_KL_M") == 0 ? "AB_CDEFGH      _IJ_KL_M" : name;
}
const char* FakeExported(const LoggerRecord*, const char* name) {
  static std::string out;
  out = std::string("EXP ") + name;
  return out.c_str();
}

TEST_F(ErrorReportingTest, LoggerSourcesMatchThroughTheirNameRules) {
  Build();
  SetErrorSourceNameRules(FakeExported, FakeShortened);
  SyserChannel(0, "_IJ_KL_M", "OTHER TAG");
  SyserChannel(1, "_IJ_KL_M", "AB_CDEFGH      ");
  SyserChannel(2, "EXP HISTORY");
  SyserChannel(3, "UNKNOWN LOGGER");
  // Type 5: tag and description; type 4: the exported form; a name that is no logger stays.
  ASSERT_EQ(RegisterErrorSource(kErrorSourceResubLogger, "L_AB_CDEFGH_IJ_KL_M"), 0);
  ReportError("RESUB FAILED");
  EXPECT_EQ(Table("SE").status[1] & kStatusState, kStatusState);
  EXPECT_EQ(Table("SE").status[0], 0u);
  ASSERT_EQ(RegisterErrorSource(kErrorSourceLogger, "HISTORY"), 0);
  ReportError("EXPORT FAILED");
  EXPECT_EQ(Table("SE").status[2] & kStatusState, kStatusState);
  ASSERT_EQ(RegisterErrorSource(kErrorSourceLogger, "UNKNOWN LOGGER"), 0);
  ReportError("NOT A LOGGER");
  EXPECT_EQ(Table("SE").status[3] & kStatusState, kStatusState);
}

}  // namespace
}  // namespace kestrum
