#include "tools/monitor/view_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "records/channel_table.h"

namespace kestrum::monitor {
namespace {

ChannelView Channel(uint32_t number, const std::string& tag, uint32_t status,
                    std::optional<float> value, int priority = -1) {
  ChannelView c;
  c.number = number;
  c.tag = tag;
  c.units = "cnt";
  c.type = kTypeAI;
  c.enabled = true;
  c.status = status;
  c.value = value;
  c.state = DecodeChannelState(status, nullptr);
  if (c.state.alarm != AlarmState::kNone) c.state.alarm_priority = priority;
  return c;
}

DeviceView SampleView() {
  DeviceView v;
  v.name = "COUNTER 1";
  v.driver = "parvex";
  v.number = 1;
  v.error_source_found = true;
  v.error_message = "CAN'T SCAN DEVICE -0005";
  TableView t;
  t.prefix = "P1";
  t.scan_duration_ms = 4;
  t.has_config = true;
  const uint32_t value = kStatusValueChannel;
  t.channels.push_back(Channel(
      1, "SMALL",
      value | kStatusAlarmActive | kStatusAlarmSide | kStatusWarningActive | kStatusWarningSide,
      6120.0f, 5));
  t.channels.push_back(Channel(2, "TEMP", value | kStatusSigChange, 69.8f));
  t.channels.push_back(Channel(3, "FLOW", value | kStatusNoValue | kStatusAlarmActive, 1.0f, 9));
  t.channels.push_back(Channel(4, "NAN", value, std::numeric_limits<float>::quiet_NaN()));
  v.tables.push_back(t);
  return v;
}

TEST(StateTextTest, NamesEveryActiveStateMostImportantFirst) {
  const uint32_t value = kStatusValueChannel;
  ChannelState s = DecodeChannelState(value | kStatusAlarmActive | kStatusNoValue, nullptr);
  s.alarm_priority = 9;
  EXPECT_EQ(StateText(s), "NO VALUE, ALARM ERROR P9");
  s = DecodeChannelState(
      value | kStatusWarningActive | kStatusEventActive | kStatusEventSide | kStatusSigChange,
      nullptr);
  EXPECT_EQ(StateText(s), "WARNING LOW, EVENT HIGH, SIG CHANGE");
  EXPECT_EQ(StateText(DecodeChannelState(value, nullptr)), "OK");
  EXPECT_EQ(StateText(DecodeChannelState(kStatusState, nullptr)), "ON");
  EXPECT_EQ(StateText(DecodeChannelState(kStatusNoValue, nullptr)), "NO VALUE")
      << "a digital channel without a value has no state to show";
}

TEST(ValueTextTest, ShowsWholeNumbersPlainAndNothingWithoutAValue) {
  EXPECT_EQ(ValueText(Channel(1, "", kStatusValueChannel, 102030.0f)), "102030")
      << "a TIME channel reads as hhmmss";
  EXPECT_EQ(ValueText(Channel(1, "", kStatusValueChannel, 69.8f)), "69.8");
  EXPECT_EQ(ValueText(Channel(1, "", kStatusValueChannel, 0.25f)), "0.25");
  EXPECT_EQ(ValueText(Channel(1, "", kStatusValueChannel | kStatusNoValue, 5.0f)), "---");
  EXPECT_EQ(ValueText(Channel(1, "", 0, std::nullopt)), "---");
}

TEST(RenderTest, TextAndJsonCarryTheSameView) {
  DeviceView v = SampleView();
  std::deque<AlarmEntry> alarms(1);
  alarms[0].kind = AlarmRecordKind::kAlarmRaised;
  alarms[0].prefix = "P1";
  alarms[0].channel = 1;
  alarms[0].high_side = true;
  alarms[0].priority = 5;
  alarms[0].value = 6120.0f;

  const std::string text = RenderText(v, alarms, true);
  EXPECT_NE(text.find("error: CAN'T SCAN DEVICE -0005"), std::string::npos) << text;
  EXPECT_NE(text.find("ai P1  4 channels  scan 4 ms  error code 0"), std::string::npos) << text;
  EXPECT_NE(text.find("SMALL"), std::string::npos);
  EXPECT_NE(text.find("ALARM HIGH P5, WARNING HIGH"), std::string::npos) << text;
  EXPECT_NE(text.find("P1 1 SMALL ALARM RAISED HIGH P5 value 6120"), std::string::npos) << text;

  nlohmann::ordered_json j = RenderJson(v, alarms, true);
  EXPECT_EQ(j["error"], "CAN'T SCAN DEVICE -0005");
  const auto& channels = j["tables"][0]["channels"];
  ASSERT_EQ(channels.size(), 4u);
  EXPECT_EQ(channels[0]["state"]["alarm"]["kind"], "HIGH");
  EXPECT_EQ(channels[0]["state"]["alarm"]["priority"], 5);
  EXPECT_EQ(channels[0]["value"], 6120.0);
  EXPECT_EQ(channels[0]["bits"],
            "ALARM_SIDE|VALUE_CHANNEL|WARNING_SIDE|WARNING_ACTIVE|ALARM_ACTIVE");
  EXPECT_TRUE(channels[2]["value"].is_null()) << "no value is null, not the stale number";
  EXPECT_EQ(channels[2]["state"]["alarm"]["kind"], "ERROR");
  EXPECT_TRUE(channels[3]["value"].is_null()) << "NaN is not valid JSON";
  EXPECT_NO_THROW((void)j.dump());
  EXPECT_EQ(j["alarms"]["records"][0]["tag"], "SMALL");

  v.error_message.clear();
  EXPECT_NE(RenderText(v, {}, true).find("error: none"), std::string::npos);
  v.error_source_found = false;
  EXPECT_TRUE(RenderJson(v, {}, false)["error"].is_null());
  EXPECT_NE(RenderText(v, {}, false).find("alarms: not listening"), std::string::npos);
}

TEST(AlarmLineTest, ErrorAlarmsAndUnknownChannelsAreNamedPlainly) {
  AlarmEntry e;
  e.received = 0;
  e.kind = AlarmRecordKind::kAlarmRaised;
  e.prefix = "P1";
  e.channel = 3;
  e.no_value = true;
  e.priority = 9;
  e.delay = 4;
  const DeviceView v = SampleView();
  const std::string line = AlarmLine(e, &v);
  EXPECT_NE(line.find("P1 3 FLOW ALARM RAISED ERROR P9 delay 4 value none"), std::string::npos)
      << line;
  e.channel = 40;
  e.kind = AlarmRecordKind::kWarningEnded;
  e.no_value = false;
  EXPECT_NE(AlarmLine(e, &v).find("P1 40 WARNING ENDED LOW value none"), std::string::npos)
      << AlarmLine(e, &v);
}

}  // namespace
}  // namespace kestrum::monitor
