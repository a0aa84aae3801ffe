#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "channel_state_fixture.h"

namespace parvex_test {
namespace {

using parvex::NotificationKind;
using NK = parvex::NotificationKind;
namespace af = kestrum::analogue_flags;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

constexpr uint32_t kAlarm = kestrum::kStatusAlarmActive;
constexpr uint32_t kSide = kestrum::kStatusAlarmSide;
constexpr uint32_t kWarn = kestrum::kStatusWarningActive;
constexpr uint32_t kWarnSide = kestrum::kStatusWarningSide;
constexpr uint32_t kEvent = kestrum::kStatusEventActive;
constexpr uint32_t kEventSide = kestrum::kStatusEventSide;
constexpr uint32_t kNoValue = kestrum::kStatusNoValue;
constexpr uint32_t kFlag = kestrum::kStatusAlarmFlag;
constexpr uint32_t kImmediate = kestrum::kStatusAlarmImmediate;

// One scan of a sequence: the reading, the alarm bits afterwards and what was sent.
struct Step {
  float reading;
  bool alarm;
  std::vector<NK> sent;
};

void RunSequence(MiniScanner& scanner, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "reading " << s.reading);
    auto sent = scanner.Scan({s.reading});
    EXPECT_EQ(Kinds(sent), s.sent);
    EXPECT_EQ((scanner.working() & kAlarm) != 0, s.alarm);
  }
}

TEST(ValueChannel, DeadbandsHoldAlarmsUntilTheValueLeavesThem) {
  // The deadband is a level: a high alarm holds while the value stays at or above it.
  ChannelConfigRecord high = AnalogueChannel(af::kHighAlarmEnable | af::kHighAlarmDeadbandEnable);
  high.analogue.HighAlarmLimit = 100;
  high.analogue.HighAlarmDeadband = 90;
  MiniScanner h({high});
  RunSequence(h, {{50, false, {}},
                  {100, true, {NK::kAlarmRaised}},
                  {95, true, {}},
                  {90, true, {}},
                  {89.9f, false, {NK::kAlarmEnded}},
                  {95, false, {}}});  // below the limit again: the deadband only holds

  ChannelConfigRecord low = AnalogueChannel(af::kLowAlarmEnable | af::kLowAlarmDeadbandEnable);
  low.analogue.LowAlarmLimit = 10;
  low.analogue.LowAlarmDeadband = 20;
  MiniScanner l({low});
  RunSequence(l, {{50, false, {}},
                  {10, true, {NK::kAlarmRaised}},
                  {15, true, {}},
                  {20, true, {}},
                  {20.1f, false, {NK::kAlarmEnded}}});
}

TEST(ValueChannel, WarningDeadbandFollowsTheAlarmDeadbandWidth) {
  // High warning at 80 with an alarm deadband of width 10 (100 - 90): holds down to 70.
  ChannelConfigRecord r =
      AnalogueChannel(af::kHighAlarmEnable | af::kHighWarningEnable | af::kHighAlarmDeadbandEnable);
  r.analogue.HighAlarmLimit = 100;
  r.analogue.HighAlarmDeadband = 90;
  r.analogue.HighWarningLimit = 80;
  r.analogue.HighAlarmPriority = 6;
  MiniScanner s({r});
  EXPECT_EQ(Kinds(s.Scan({80})), std::vector<NK>{NK::kWarningRaised});
  EXPECT_EQ(Kinds(s.Scan({70})), std::vector<NK>{});
  EXPECT_TRUE(s.working() & kWarn);
  EXPECT_EQ(Kinds(s.Scan({69.5f})), std::vector<NK>{NK::kWarningEnded});
  EXPECT_FALSE(s.working() & kWarn);

  // Low warning at 20 with an alarm deadband of width 10 (10 - 0): holds up to 30, on its side.
  ChannelConfigRecord low =
      AnalogueChannel(af::kLowAlarmEnable | af::kLowWarningEnable | af::kLowAlarmDeadbandEnable);
  low.analogue.LowAlarmLimit = 0;
  low.analogue.LowAlarmDeadband = 10;
  low.analogue.LowWarningLimit = 20;
  MiniScanner l({low});
  EXPECT_EQ(Kinds(l.Scan({20})), std::vector<NK>{NK::kWarningRaised});
  EXPECT_EQ(Kinds(l.Scan({30})), std::vector<NK>{});
  EXPECT_EQ(l.working() & (kWarn | kWarnSide), kWarn);
  EXPECT_EQ(Kinds(l.Scan({30.5f})), std::vector<NK>{NK::kWarningEnded});
  EXPECT_FALSE(l.working() & kWarn);
}

struct LimitCase {
  const char* what;
  uint32_t flags;
  std::function<void(kestrum::AnalogueChannelConfig&)> limits;
  float value;
  uint32_t set;    // bits that must be set afterwards
  uint32_t clear;  // bits that must be clear afterwards
};

class LimitTest : public testing::TestWithParam<LimitCase> {};

TEST_P(LimitTest, ValueOnTheLimitCountsAsReached) {
  const LimitCase& c = GetParam();
  ChannelConfigRecord r = AnalogueChannel(c.flags);
  c.limits(r.analogue);
  MiniScanner s({r});
  s.Scan({c.value}, /*first_scan=*/true);
  EXPECT_EQ(s.working() & c.set, c.set) << std::hex << s.working();
  EXPECT_EQ(s.working() & c.clear, 0u) << std::hex << s.working();
}

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.what; }

INSTANTIATE_TEST_SUITE_P(
    Limits, LimitTest,
    testing::Values(
        LimitCase{"high alarm at its limit", af::kHighAlarmEnable,
                  [](auto& a) { a.HighAlarmLimit = 100; }, 100, kAlarm | kSide, 0},
        LimitCase{"just below the high limit", af::kHighAlarmEnable,
                  [](auto& a) { a.HighAlarmLimit = 100; }, 99.99f, 0, kAlarm},
        LimitCase{"low alarm at its limit", af::kLowAlarmEnable,
                  [](auto& a) { a.LowAlarmLimit = 10; }, 10, kAlarm, kSide},
        LimitCase{"both sides, above high: low rule not looked at",
                  af::kHighAlarmEnable | af::kLowAlarmEnable,
                  [](auto& a) {
                    a.HighAlarmLimit = 100;
                    a.LowAlarmLimit = 1000;  // would also match
                  },
                  150, kAlarm | kSide, 0},
        LimitCase{"high warning at its limit", af::kHighAlarmEnable | af::kHighWarningEnable,
                  [](auto& a) {
                    a.HighAlarmLimit = 100;
                    a.HighWarningLimit = 80;
                  },
                  80, kWarn | kWarnSide, kAlarm},
        LimitCase{"high warning needs the high alarm enabled", af::kHighWarningEnable,
                  [](auto& a) { a.HighWarningLimit = 80; }, 90, 0, kWarn},
        LimitCase{"low warning at its limit", af::kLowAlarmEnable | af::kLowWarningEnable,
                  [](auto& a) { a.LowWarningLimit = 20; }, 20, kWarn, kWarnSide | kAlarm},
        LimitCase{"event at the high limit", af::kEventEnable,
                  [](auto& a) {
                    a.HighEventLimit = 50;
                    a.LowEventLimit = 10;
                  },
                  50, kEvent | kEventSide, 0},
        LimitCase{"event at the low limit", af::kEventEnable,
                  [](auto& a) {
                    a.HighEventLimit = 50;
                    a.LowEventLimit = 10;
                  },
                  10, kEvent, kEventSide},
        LimitCase{"no event between the limits", af::kEventEnable,
                  [](auto& a) {
                    a.HighEventLimit = 50;
                    a.LowEventLimit = 10;
                  },
                  30, 0, kEvent}));

struct BadReadingCase {
  const char* what;
  float reading;
  float gain;
  bool error_alarm;
};

class BadReadingTest : public testing::TestWithParam<BadReadingCase> {};

void PrintTo(const BadReadingCase& c, std::ostream* os) { *os << c.what; }

TEST_P(BadReadingTest, MarksNoValueAndRaisesTheErrorAlarmOnlyWhenEnabled) {
  const BadReadingCase& c = GetParam();
  ChannelConfigRecord r =
      AnalogueChannel(af::kScalingEnable | af::kHighAlarmEnable |
                      (c.error_alarm ? af::kErrorAlarmEnable : 0) | af::kErrorAlarmDriveCommon);
  r.analogue.Gain = c.gain;
  r.analogue.HighAlarmLimit = 1e30f;
  r.analogue.HighAlarmPriority = 50;
  r.analogue.ErrorAlarmPriority = 9;
  r.analogue.ErrorAlarmDelay = 4;
  MiniScanner s({r});
  s.Scan({5});
  auto sent = s.Scan({c.reading});
  EXPECT_TRUE(s.working() & kNoValue);
  if (!c.error_alarm) {
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(s.working() & kAlarm);
    return;
  }
  ASSERT_EQ(Kinds(sent), std::vector<NK>{NK::kAlarmRaised});
  EXPECT_EQ(sent[0].priority, 9);
  EXPECT_TRUE(sent[0].drive_common);
  EXPECT_EQ(sent[0].delay, 4);
  EXPECT_FALSE(sent[0].has_value);
  EXPECT_EQ(s.working() & (kAlarm | kSide | kFlag), kAlarm);  // delay 4: no alarm flag
  // A good reading ends the error alarm.
  EXPECT_EQ(Kinds(s.Scan({5})), std::vector<NK>{NK::kAlarmEnded});
}

INSTANTIATE_TEST_SUITE_P(Readings, BadReadingTest,
                         testing::Values(BadReadingCase{"nan", kNaN, 1, false},
                                         BadReadingCase{"nan_error_alarm", kNaN, 1, true},
                                         BadReadingCase{"infinite", -kInf, 1, true},
                                         BadReadingCase{"overflow_by_gain", 1e30f, 1e10f, true}));

TEST(ValueChannel, AlarmDelayZeroSetsTheFlagsAndOtherDelaysClearThem) {
  for (uint16_t delay : {0, 5}) {
    SCOPED_TRACE(delay);
    ChannelConfigRecord r = AnalogueChannel(af::kHighAlarmEnable | af::kHighAlarmDriveCommon);
    r.analogue.HighAlarmLimit = 100;
    r.analogue.HighAlarmDelay = delay;
    r.analogue.HighAlarmPriority = 200;
    MiniScanner s({r});
    s.Scan({10});
    s.published() |= kFlag;  // another process left the flag set
    auto sent = s.Scan({120});
    ASSERT_EQ(Kinds(sent), std::vector<NK>{NK::kAlarmRaised});
    EXPECT_EQ(sent[0].delay, delay);
    EXPECT_EQ(sent[0].priority, 200);
    EXPECT_TRUE(sent[0].drive_common);
    EXPECT_EQ(sent[0].value, 120);
    uint32_t expected = delay == 0 ? (kFlag | kImmediate) : 0u;
    EXPECT_EQ(s.working() & (kFlag | kImmediate), expected);
    // The record is sent before the immediate bit is added.
    EXPECT_EQ(sent[0].status, s.working() & ~kImmediate);
    // While the alarm stays, the flag follows the published word.
    EXPECT_TRUE(Kinds(s.Scan({130})).empty());
    EXPECT_EQ(s.working() & kFlag, expected & kFlag);
    // The end clears alarm and flag.
    EXPECT_EQ(Kinds(s.Scan({10})), std::vector<NK>{NK::kAlarmEnded});
    EXPECT_EQ(s.working() & (kAlarm | kFlag), 0u);
  }
}

TEST(ValueChannel, SignificantChangeComparesWithTheLastSignificantValue) {
  for (float threshold : {5.0f, -5.0f}) {
    ChannelConfigRecord r = AnalogueChannel(af::kSigChangeEnable);
    r.analogue.SigChangeValue = threshold;
    MiniScanner s({r});
    std::vector<std::vector<NK>> sent;
    std::vector<bool> bit;
    for (float v : {10.0f, 14.0f, 16.0f, 20.0f}) {
      sent.push_back(Kinds(s.Scan({v})));
      bit.push_back(s.working() & kestrum::kStatusSigChange);
    }
    EXPECT_EQ(sent, (std::vector<std::vector<NK>>{{}, {}, {NK::kSignificantChange}, {}}));
    EXPECT_EQ(bit, (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(s.last_significant_bits(), std::bit_cast<uint32_t>(16.0f));
  }
}

TEST(ValueChannel, ReadingsAreProcessedOnceEvenWhenAScanLeavesThemUnwritten) {
  ChannelConfigRecord ai =
      AnalogueChannel(af::kScalingEnable | af::kReferenceEnable | af::kHighAlarmEnable);
  ai.analogue.Gain = 2;
  ai.analogue.Offset = 1;
  ai.analogue.HighAlarmLimit = 18;
  ChannelConfigRecord ao = ai;
  ao.analogue.Type = kestrum::kTypeAO;
  ChannelConfigRecord ci = ai;
  ci.analogue.Type = kestrum::kTypeCI;
  MiniScanner s({ai, ao, ci});
  for (size_t i = 0; i < 3; ++i) s.reference(i) = 5;

  s.Scan({10, 10, 10});
  EXPECT_EQ(s.value(0), 16);  // 10 * 2 + 1 - 5
  EXPECT_EQ(s.value(1), 10);  // outputs are not scaled
  EXPECT_EQ(s.value(2), 21);  // only "AI" subtracts the reference
  for (int scan = 0; scan < 3; ++scan) {
    auto sent = s.Scan({std::nullopt, std::nullopt, std::nullopt});
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(s.value(0), 16);
    EXPECT_EQ(s.value(2), 21);
  }
  // Re-basing makes the current reading the reference: the channel reads 0 next scan.
  s.reference(0) += s.value(0);
  s.Scan({std::nullopt});
  EXPECT_EQ(s.value(0), 0);
}

TEST(ValueChannel, UnchangedValueKeepsItsStatesUntilAFirstScan) {
  ChannelConfigRecord r = AnalogueChannel(af::kHighAlarmEnable);
  r.analogue.HighAlarmLimit = 100;
  MiniScanner s({r});
  s.Scan({150});
  s.config().analogue.HighAlarmLimit = 200;  // reconfigured meanwhile
  int changed_before = s.output_changed()[kestrum::kTypeAI];
  EXPECT_TRUE(s.Scan({150}).empty());
  EXPECT_TRUE(s.working() & kAlarm);
  EXPECT_EQ(changed_before, 1);
  EXPECT_EQ(Kinds(s.Scan({150}, /*first_scan=*/true)), std::vector<NK>{NK::kAlarmEnded});
  EXPECT_FALSE(s.working() & kAlarm);
}

TEST(ValueChannel, DisabledChannelIsClearedOnlyUnderTheFirstScanFlag) {
  ChannelConfigRecord r =
      AnalogueChannel(af::kHighAlarmEnable | af::kHighWarningEnable | af::kEventEnable);
  r.analogue.HighAlarmLimit = 100;
  r.analogue.HighWarningLimit = 80;
  r.analogue.HighEventLimit = 90;
  r.analogue.LowEventLimit = 0;
  MiniScanner s({r});
  EXPECT_EQ(Kinds(s.Scan({120})),
            (std::vector<NK>{NK::kWarningRaised, NK::kAlarmRaised, NK::kEventStarted}));

  s.config().analogue.flags &= ~af::kEnable;
  const uint32_t before = s.working();
  EXPECT_TRUE(s.Scan({120}).empty());
  EXPECT_EQ(s.working(), before | kNoValue);  // keeps its states, gains no-value

  EXPECT_EQ(Kinds(s.Scan({120}, /*first_scan=*/true)),
            (std::vector<NK>{NK::kWarningEnded, NK::kAlarmEnded, NK::kEventEnded}));
  EXPECT_EQ(s.working() & (kWarn | kAlarm | kEvent), 0u);
  EXPECT_TRUE(s.working() & kNoValue);
}

TEST(ValueChannel, FirstScanAnnouncesAPersistingWarningAgain) {
  ChannelConfigRecord r = AnalogueChannel(af::kLowAlarmEnable | af::kLowWarningEnable);
  r.analogue.LowWarningLimit = 20;
  r.analogue.LowAlarmLimit = 0;
  r.analogue.LowAlarmPriority = 12;
  MiniScanner s({r});
  s.Scan({15});
  auto sent = s.Scan({15}, /*first_scan=*/true);
  ASSERT_EQ(Kinds(sent), (std::vector<NK>{NK::kWarningEnded, NK::kWarningRaised}));
  EXPECT_EQ(sent[1].priority, 12);
}

TEST(ValueChannel, HeldAlarmCarriesItsOwnSidesSettings) {
  // Channel 0 raises a high alarm first in the same scan; channel 1's low alarm, held by its
  // deadband right after an error alarm, must not borrow channel 0's settings.
  ChannelConfigRecord loud = AnalogueChannel(af::kHighAlarmEnable);
  loud.analogue.HighAlarmLimit = 100;
  loud.analogue.HighAlarmPriority = 50;
  loud.analogue.HighAlarmDelay = 7;
  ChannelConfigRecord held = AnalogueChannel(af::kLowAlarmEnable | af::kLowAlarmDeadbandEnable |
                                             af::kLowAlarmDriveCommon | af::kErrorAlarmEnable);
  held.analogue.LowAlarmLimit = 10;
  held.analogue.LowAlarmDeadband = 20;
  held.analogue.LowAlarmPriority = 3;
  held.analogue.ErrorAlarmPriority = 9;
  held.analogue.ErrorAlarmDelay = 4;
  MiniScanner s({loud, held});
  s.Scan({50, 15});
  EXPECT_EQ(s.Scan({50, kNaN})[0].priority, 9);
  auto sent = s.Scan({150, 15});
  ASSERT_EQ(Kinds(sent), (std::vector<NK>{NK::kAlarmRaised, NK::kAlarmEnded, NK::kAlarmRaised}));
  EXPECT_EQ(sent[2].channel, 1u);
  EXPECT_EQ(sent[2].priority, 3);
  EXPECT_TRUE(sent[2].drive_common);
  EXPECT_EQ(sent[2].delay, 0);
  EXPECT_EQ(s.working(1) & (kAlarm | kSide | kNoValue | kFlag), kAlarm | kFlag);
  EXPECT_EQ(s.last_state().direction, 1);  // the held low alarm's comparison
}

TEST(ValueChannel, BitsOfOtherProcessesComeFromTheChannelTable) {
  constexpr uint32_t kOthers = kestrum::kStatusExternalBits;
  ChannelConfigRecord r = AnalogueChannel();
  MiniScanner in({r});
  in.Scan({1});
  in.published() |= kOthers;  // written into the channel table by another process
  in.Scan({1});
  EXPECT_EQ(in.working() & kOthers, kOthers);

  MiniScanner out({r}, /*output_kind=*/true);
  out.Scan({1});
  out.working() |= kestrum::kStatusExternal100;  // the table is the working side here
  out.Scan({std::nullopt});
  EXPECT_EQ(out.published() & kOthers, kestrum::kStatusExternal100);
}

// The whole-kind loop is compiled separately for the usual scan; it must agree with the
// channel-by-channel evaluation for any mix of flags, limits, readings and missing readings.
TEST(ValueChannel, KindLoopAgreesWithChannelByChannelEvaluation) {
  std::mt19937 random(20261208);
  auto pick = [&](float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(random);
  };
  constexpr size_t kChannels = 64;
  std::vector<ChannelConfigRecord> configs;
  for (size_t i = 0; i < kChannels; ++i) {
    ChannelConfigRecord r = AnalogueChannel(static_cast<uint32_t>(random()) & ~af::kEnable);
    if (i % 7 != 3) r.analogue.flags |= af::kEnable;
    r.analogue.Type = i % 5 == 4 ? kestrum::kTypeAO : kestrum::kTypeAI;
    r.analogue.Gain = pick(0.5f, 2.0f);
    r.analogue.Offset = pick(-5.0f, 5.0f);
    r.analogue.SigChangeValue = pick(0.0f, 5.0f);
    r.analogue.HighAlarmLimit = pick(70.0f, 90.0f);
    r.analogue.HighAlarmDeadband = r.analogue.HighAlarmLimit - pick(0.0f, 10.0f);
    r.analogue.HighWarningLimit = pick(50.0f, 70.0f);
    r.analogue.LowAlarmLimit = pick(-10.0f, 10.0f);
    r.analogue.LowAlarmDeadband = r.analogue.LowAlarmLimit + pick(0.0f, 10.0f);
    r.analogue.LowWarningLimit = pick(10.0f, 30.0f);
    r.analogue.HighEventLimit = pick(40.0f, 100.0f);
    r.analogue.LowEventLimit = pick(-20.0f, 40.0f);
    r.analogue.HighAlarmDelay = static_cast<uint16_t>(random() % 2);
    configs.push_back(r);
  }
  MiniScanner loop(configs);
  MiniScanner single(configs);
  single.set_one_by_one(true);
  for (size_t i = 0; i < kChannels; ++i) loop.reference(i) = single.reference(i) = pick(-3, 3);

  for (int scan = 0; scan < 200; ++scan) {
    SCOPED_TRACE(testing::Message() << "scan " << scan);
    std::vector<std::optional<float>> readings(kChannels);
    for (auto& r : readings) {
      const int roll = static_cast<int>(random() % 20);
      // Mostly the value as before (no reading), else a new one, now and then not a number.
      if (roll >= 12) r = roll == 19 ? kNaN : pick(-30.0f, 110.0f);
    }
    const bool first = scan % 50 == 0;
    const auto a = loop.Scan(readings, first);
    const auto b = single.Scan(readings, first);
    ASSERT_EQ(a.size(), b.size());
    for (size_t n = 0; n < a.size(); ++n) {
      EXPECT_EQ(a[n].kind, b[n].kind);
      EXPECT_EQ(a[n].channel, b[n].channel);
      EXPECT_EQ(a[n].status, b[n].status);
      EXPECT_EQ(a[n].priority, b[n].priority);
      EXPECT_EQ(a[n].has_value, b[n].has_value);
    }
    for (size_t i = 0; i < kChannels; ++i) {
      ASSERT_EQ(loop.working(i), single.working(i)) << "channel " << i;
      ASSERT_EQ(loop.last_significant_bits(i), single.last_significant_bits(i));
      const float va = loop.value(i), vb = single.value(i);
      ASSERT_TRUE(va == vb || (std::isnan(va) && std::isnan(vb))) << "channel " << i;
    }
  }
}

TEST(NotificationList, CountsWhatDoesNotFitInsteadOfGrowing) {
  parvex::Notification storage[2];
  parvex::NotificationList list(storage, 2);
  for (int i = 0; i < 5; ++i) list.Push({NK::kEventStarted, false, 0, false, 0, uint32_t(i), 0, 0});
  ASSERT_EQ(list.items().size(), 2u);
  EXPECT_EQ(list.items()[1].channel, 1u);
  EXPECT_EQ(list.dropped(), 3u);
  list.Clear();
  EXPECT_TRUE(list.items().empty());
  EXPECT_EQ(list.dropped(), 0u);
}

}  // namespace
}  // namespace parvex_test
