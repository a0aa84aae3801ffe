#include "tools/monitor/device_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "records/channel_table.h"
#include "records/error_entries.h"
#include "runtime/channel_prefixes.h"
#include "runtime/error_reporting.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "test_util.h"
#include "tools/dm/instance.h"

namespace kestrum::monitor {
namespace {

// Two counters; the second one's analog inputs are the ones the tests look at.
constexpr char kSystem[] = R"({
  "error_entries": 4,
  "devices": [
    {"driver": "parvex", "number": 1, "name": "OTHER COUNTER", "folder": "OTHER",
     "prefixes": {"ai": {"prefix": "O1", "channels": 2}}},
    {"driver": "parvex", "number": 2, "name": "CLEAN ROOM 2", "folder": "ROOM2", "port": "COM5",
     "scan_rate": 2000,
     "prefixes": {"ai": {"prefix": "P2", "channels": 4}, "di": {"prefix": "Q2", "channels": 2}},
     "extra_prefix": {"prefix": "X2", "channels": 8}}]
})";

ChannelConfigRecord* Records(const char* prefix) {
  return static_cast<ChannelConfigRecord*>(GetChannelConfigRecords(prefix));
}

class DeviceViewTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(kSystem); }
  void TearDown() override { ForgetSharedAreas(); }

  void Build(const char* json) {
    instance_.reset();
    ForgetSharedAreas();
    std::string error;
    instance_ = dm::BuildInstance(json, &error);
    ASSERT_NE(instance_, nullptr) << error;
  }

  // Channel 1: AI "SMALL" in cnt/ft3, high alarm priority 5, low 3, error 9.
  // Channel 2: AI "TEMP" in °F. Channels 3 and 4 stay blank.
  void ConfigureAnalogInputs() {
    ChannelConfigRecord* r = Records("P2");
    ASSERT_NE(r, nullptr);
    r[0].analogue.Type = kTypeAI;
    r[0].analogue.flags = analogue_flags::kEnable;
    SetChannelTag(&r[0], "SMALL_PARTICLES");
    SetChannelUnits(&r[0], "cnt/ft3");
    SetChannelDescription(&r[0], "0.3-0.5 on port 1");
    r[0].analogue.HighAlarmPriority = 5;
    r[0].analogue.LowAlarmPriority = 3;
    r[0].analogue.ErrorAlarmPriority = 9;
    r[1].analogue.Type = kTypeAI;
    r[1].analogue.flags = analogue_flags::kEnable;
    SetChannelTag(&r[1], "TEMP");
    SetChannelUnits(&r[1],
                    "\xB0"
                    "F");  // stored in Windows-1252
  }

  void Publish(const char* prefix, uint32_t channel, uint32_t status, float value = 0) {
    ChannelTableView table;
    ASSERT_EQ(GetChannelTableView(prefix, &table), 0);
    table.status[channel] = status;
    if (table.values) table.values[channel] = value;
  }

  std::unique_ptr<dm::TemporaryInstance> instance_;
};

TEST(DecodeChannelStateTest, AlarmSideAndPriorityFollowTheStatusWordAndTheRecordLayout) {
  ChannelConfigRecord analogue = {};
  analogue.analogue.Type = kTypeAI;
  analogue.analogue.HighAlarmPriority = 5;
  analogue.analogue.LowAlarmPriority = 3;
  analogue.analogue.ErrorAlarmPriority = 9;
  const uint32_t value = kStatusValueChannel;

  ChannelState high = DecodeChannelState(
      value | kStatusAlarmActive | kStatusAlarmSide | kStatusAlarmFlag | kStatusAlarmImmediate,
      &analogue);
  EXPECT_EQ(high.alarm, AlarmState::kHigh);
  EXPECT_EQ(high.alarm_priority, 5);
  EXPECT_TRUE(high.alarm_flag && high.alarm_immediate);

  ChannelState low = DecodeChannelState(value | kStatusAlarmActive, &analogue);
  EXPECT_EQ(low.alarm, AlarmState::kLow);
  EXPECT_EQ(low.alarm_priority, 3);

  // An alarm on a channel without a value is its error alarm, whatever the side bit says.
  ChannelState error = DecodeChannelState(value | kStatusAlarmActive | kStatusNoValue, &analogue);
  EXPECT_EQ(error.alarm, AlarmState::kError);
  EXPECT_EQ(error.alarm_priority, 9);
  EXPECT_TRUE(error.no_value);

  // Without a record the priority is unknown, not 0.
  EXPECT_EQ(DecodeChannelState(value | kStatusAlarmActive, nullptr).alarm_priority, -1);
  EXPECT_EQ(DecodeChannelState(value, &analogue).alarm_priority, -1) << "no alarm, no priority";

  // Digital channels: the priority comes from the digital layout's fields.
  ChannelConfigRecord digital = {};
  digital.digital.Type = kTypeDI;
  digital.digital.AlarmPriority = 7;
  digital.digital.ErrorAlarmPriority = 8;
  ChannelState raised =
      DecodeChannelState(kStatusState | kStatusAlarmActive | kStatusAlarmSide, &digital);
  EXPECT_FALSE(raised.value_channel);
  EXPECT_TRUE(raised.digital_state);
  EXPECT_FALSE(raised.sig_change) << "bit 0 of a digital channel is its state";
  EXPECT_EQ(raised.alarm, AlarmState::kHigh);
  EXPECT_EQ(raised.alarm_priority, 7);
  EXPECT_EQ(DecodeChannelState(kStatusAlarmActive | kStatusNoValue, &digital).alarm_priority, 8);

  // Before the scanner's first scan a status word is 0; the record still tells the kind.
  EXPECT_TRUE(DecodeChannelState(0, &analogue).value_channel);
  EXPECT_FALSE(DecodeChannelState(kStatusValueChannel, &digital).value_channel);
  EXPECT_FALSE(DecodeChannelState(0, nullptr).value_channel);
}

TEST(DecodeChannelStateTest, WarningEventAndSignificantChangeSides) {
  const uint32_t value = kStatusValueChannel;
  ChannelState s = DecodeChannelState(
      value | kStatusSigChange | kStatusWarningActive | kStatusWarningSide | kStatusEventActive,
      nullptr);
  EXPECT_TRUE(s.sig_change);
  EXPECT_EQ(s.warning, Side::kHigh);
  EXPECT_EQ(s.event, Side::kLow);
  EXPECT_EQ(s.alarm, AlarmState::kNone);

  s = DecodeChannelState(value | kStatusWarningActive | kStatusEventActive | kStatusEventSide,
                         nullptr);
  EXPECT_EQ(s.warning, Side::kLow);
  EXPECT_EQ(s.event, Side::kHigh);

  // Side bits left over without their active bit mean nothing.
  s = DecodeChannelState(value | kStatusWarningSide | kStatusEventSide | kStatusAlarmSide, nullptr);
  EXPECT_EQ(s.warning, Side::kNone);
  EXPECT_EQ(s.event, Side::kNone);
  EXPECT_EQ(s.alarm, AlarmState::kNone);
}

TEST_F(DeviceViewTest, ReadsTheSelectedDeviceWithItsTablesChannelsAndStates) {
  ConfigureAnalogInputs();
  Publish("P2", 0, kStatusValueChannel | kStatusAlarmActive | kStatusAlarmSide, 6120.0f);
  Publish("P2", 1, kStatusValueChannel | kStatusWarningActive, 67.5f);
  Publish("P2", 2, kStatusValueChannel | kStatusNoValue, 12.0f);
  ChannelTableView table;
  ASSERT_EQ(GetChannelTableView("P2", &table), 0);
  table.header->scan_duration_ms = 17;
  table.header->error_code = 0;

  DeviceView view;
  std::string error;
  ASSERT_EQ(ReadDeviceView({"PARVEX", 2}, &view, &error), 0) << error;
  EXPECT_EQ(view.name, "CLEAN ROOM 2");
  EXPECT_EQ(view.folder, "ROOM2");
  EXPECT_EQ(view.port, "COM5");
  EXPECT_EQ(view.scan_rate_ms, 2000u);
  ASSERT_EQ(view.tables.size(), 3u) << "ai, di and the status channel table";
  EXPECT_EQ(view.tables[0].prefix, "P2");
  EXPECT_EQ(view.tables[1].kind, 1);
  EXPECT_EQ(view.tables[2].kind, 5);
  EXPECT_STREQ(TableKindName(view.tables[2].kind), "status");

  const TableView& ai = view.tables[0];
  EXPECT_EQ(ai.scan_duration_ms, 17u);
  ASSERT_EQ(ai.channels.size(), 4u);
  EXPECT_EQ(ai.channels[0].tag, "SMALL_PARTICLES");
  EXPECT_EQ(ai.channels[0].units, "cnt/ft3");
  EXPECT_EQ(ai.channels[0].description, "0.3-0.5 on port 1");
  EXPECT_EQ(ai.channels[0].value, 6120.0f);
  EXPECT_EQ(ai.channels[0].state.alarm, AlarmState::kHigh);
  EXPECT_EQ(ai.channels[0].state.alarm_priority, 5);
  EXPECT_EQ(ai.channels[1].units,
            "\xC2\xB0"
            "F")
      << "shown in UTF-8";
  EXPECT_EQ(ai.channels[1].state.warning, Side::kLow);
  EXPECT_TRUE(ai.channels[2].state.no_value);
  EXPECT_FALSE(ai.channels[3].enabled);
  EXPECT_EQ(ai.channels[3].tag, "");
  EXPECT_FALSE(view.tables[1].channels[0].value.has_value()) << "a digital table has no values";

  const ChannelView* found = FindChannel(view, "p2", 2);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->tag, "TEMP");
  EXPECT_EQ(FindChannel(view, "P2", 5), nullptr);
  EXPECT_EQ(FindChannel(view, "P2", 0), nullptr);
}

TEST_F(DeviceViewTest, SelectorPicksByDriverAndNumberAndNamesWhatIsMissing) {
  DeviceView view;
  std::string error;
  ASSERT_EQ(ReadDeviceView({}, &view, &error), 0);
  EXPECT_EQ(view.name, "OTHER COUNTER") << "no selector: the first device";
  ASSERT_EQ(ReadDeviceView({"", 2}, &view, &error), 0);
  EXPECT_EQ(view.name, "CLEAN ROOM 2");
  ASSERT_EQ(ReadDeviceView({"parvexX", 2}, &view, &error), 0) << "drivers match on 5 characters";
  EXPECT_EQ(ReadDeviceView({"other", 2}, &view, &error), -1);
  EXPECT_NE(error.find("no such device"), std::string::npos) << error;
  EXPECT_EQ(ReadDeviceView({"parvex", 3}, &view, &error), -1);

  instance_.reset();
  ForgetSharedAreas();
  parvex_test::ScopedInstance empty;  // an instance directory without areas
  EXPECT_EQ(ReadDeviceView({}, &view, &error), -1);
  EXPECT_NE(error.find("dm_device"), std::string::npos) << error;
}

TEST_F(DeviceViewTest, ErrorMessageIsTheDeviceEntryOfTheErrorTable) {
  DeviceView view;
  ASSERT_EQ(ReadDeviceView({"parvex", 2}, &view, nullptr), 0);
  EXPECT_FALSE(view.error_source_found) << "the scanner has not registered yet";

  // Another source with the same name but not a device does not count.
  ASSERT_EQ(RegisterErrorSource(kErrorSourceLogger, "CLEAN ROOM 2"), 0);
  ReportError("LOGGER FULL");
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "clean room 2"), 0);
  ASSERT_EQ(ReadDeviceView({"parvex", 2}, &view, nullptr), 0);
  EXPECT_TRUE(view.error_source_found);
  EXPECT_EQ(view.error_message, "");

  ReportError("CAN'T SCAN DEVICE -%04d", 5);
  ASSERT_EQ(ReadDeviceView({"parvex", 2}, &view, nullptr), 0);
  EXPECT_EQ(view.error_message, "CAN'T SCAN DEVICE -0005");
  ClearError();
  ASSERT_EQ(ReadDeviceView({"parvex", 2}, &view, nullptr), 0);
  EXPECT_EQ(view.error_message, "");
}

TEST_F(DeviceViewTest, ShortErrorTableAndAMessageWithoutTerminatorAreRead) {
  Build(R"({"long_errors": false, "error_entries": 3,
            "devices": [{"driver": "parvex", "number": 2, "name": "CLEAN ROOM 2",
                         "prefixes": {"ai": {"prefix": "P2", "channels": 1}}}]})");
  ASSERT_EQ(RegisterErrorSource(kErrorSourceDevice, "CLEAN ROOM 2"), 0);
  ReportError("A MESSAGE FAR LONGER THAN THIRTY CHARACTERS");
  DeviceView view;
  ASSERT_EQ(ReadDeviceView({"parvex", 2}, &view, nullptr), 0);
  EXPECT_EQ(view.error_message, "A MESSAGE FAR LONGER THAN THIR");

  // A writer that fills the field to its last byte leaves no NUL; the view stops at the field.
  SystemArea errors;
  ASSERT_EQ(OpenErrorArea(&errors), 0);
  for (uint32_t i = 0; i < errors.count; ++i) {
    auto* e = reinterpret_cast<ShortErrorEntry*>(errors.records + i * sizeof(ShortErrorEntry));
    if (e->source_name[0] != '\0') std::memset(e->message, 'X', sizeof(e->message));
  }
  ASSERT_EQ(ReadDeviceView({"parvex", 2}, &view, nullptr), 0);
  EXPECT_EQ(view.error_message, std::string(31, 'X'));
}

}  // namespace
}  // namespace kestrum::monitor
