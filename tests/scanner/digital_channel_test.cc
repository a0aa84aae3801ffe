#include <gtest/gtest.h>

#include <vector>

#include "channel_state_fixture.h"

namespace parvex_test {
namespace {

using NK = parvex::NotificationKind;
namespace df = kestrum::digital_flags;

constexpr uint32_t kState = kestrum::kStatusState;
constexpr uint32_t kAlarm = kestrum::kStatusAlarmActive;
constexpr uint32_t kSide = kestrum::kStatusAlarmSide;
constexpr uint32_t kEvent = kestrum::kStatusEventActive;
constexpr uint32_t kEventSide = kestrum::kStatusEventSide;
constexpr uint32_t kNoValue = kestrum::kStatusNoValue;
constexpr uint32_t kValueChannel = kestrum::kStatusValueChannel;

struct DigitalStep {
  int state;  // -1: mark the channel as having no value
  std::vector<NK> sent;
  uint32_t set;
  uint32_t clear;
};

struct DigitalCase {
  const char* what;
  uint32_t flags;
  std::vector<DigitalStep> steps;
};

void PrintTo(const DigitalCase& c, std::ostream* os) { *os << c.what; }

class DigitalTest : public testing::TestWithParam<DigitalCase> {};

TEST_P(DigitalTest, StatesFollowTheConfiguredLevels) {
  const DigitalCase& c = GetParam();
  ChannelConfigRecord r = DigitalChannel(c.flags);
  r.digital.AlarmPriority = 4;
  r.digital.AlarmDelay = 0;
  r.digital.ErrorAlarmPriority = 8;
  r.digital.ErrorAlarmDelay = 2;
  MiniScanner s({r});
  int n = 0;
  for (const DigitalStep& step : c.steps) {
    SCOPED_TRACE(testing::Message() << "step " << n++);
    std::vector<parvex::Notification> sent;
    if (step.state < 0) {
      s.working() |= kNoValue;  // as the scan cycle marks failed channels
      sent = s.Evaluate(false);
    } else {
      sent = s.ScanStates({step.state});
    }
    EXPECT_EQ(Kinds(sent), step.sent);
    EXPECT_EQ(s.working() & step.set, step.set) << std::hex << s.working();
    EXPECT_EQ(s.working() & step.clear, 0u) << std::hex << s.working();
    for (const auto& x : sent) {
      if (x.kind == NK::kAlarmRaised) {
        EXPECT_EQ(x.priority, (s.working() & kNoValue) ? 8 : 4);
        EXPECT_EQ(x.has_value, !(s.working() & kNoValue));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, DigitalTest,
    testing::Values(DigitalCase{"alarm on the high state",
                                df::kAlarmEnable | df::kAlarmState,
                                {{0, {}, 0, kAlarm | kValueChannel},
                                 {1, {NK::kAlarmRaised}, kAlarm | kSide | kState, 0},
                                 {1, {}, kAlarm | kSide, 0},
                                 {0, {NK::kAlarmEnded}, 0, kAlarm}}},
                    DigitalCase{"alarm on the low state",
                                df::kAlarmEnable,
                                {{1, {}, 0, kAlarm},
                                 {0, {NK::kAlarmRaised}, kAlarm, kSide},
                                 {1, {NK::kAlarmEnded}, 0, kAlarm}}},
                    DigitalCase{"event carries the state",
                                df::kEventEnable | df::kEventState,
                                {{1, {NK::kEventStarted}, kEvent | kEventSide, 0},
                                 {0, {NK::kEventEnded}, 0, kEvent}}},
                    DigitalCase{"error alarm when the channel has no value",
                                df::kErrorAlarmEnable,
                                {{1, {}, 0, kAlarm},
                                 {-1, {NK::kAlarmRaised}, kAlarm | kNoValue, kSide},
                                 {1, {NK::kAlarmEnded}, 0, kAlarm | kNoValue}}},
                    DigitalCase{"no error alarm unless enabled",
                                df::kAlarmEnable | df::kAlarmState,
                                {{1, {NK::kAlarmRaised}, kAlarm, 0},
                                 {-1, {NK::kAlarmEnded}, kNoValue, kAlarm}}}));

TEST(DigitalChannel, UnchangedStateKeepsThePublishedWord) {
  ChannelConfigRecord r = DigitalChannel(df::kAlarmEnable | df::kAlarmState);
  MiniScanner s({r});
  s.ScanStates({1});
  // Another process acknowledged the alarm in the table; an unchanged state keeps that word.
  s.published() &= ~kestrum::kStatusAlarmFlag;
  s.published() |= kestrum::kStatusExternal1000;
  EXPECT_TRUE(s.ScanStates({1}).empty());
  EXPECT_EQ(s.working(), s.published());
  EXPECT_FALSE(s.working() & kestrum::kStatusAlarmFlag);
}

}  // namespace
}  // namespace parvex_test
