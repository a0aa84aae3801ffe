#include "runtime/time_stamps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/local_time.h"
#include "runtime/time_zone.h"
#include "test_util.h"

namespace kestrum {
namespace {

TimeStamp At(int hour, int minute, int second, int ms) {
  TimeStamp t{};
  t.seconds = static_cast<int32_t>(CalendarSeconds(2026, 12, 8, hour, minute, second));
  t.milliseconds = static_cast<int16_t>(ms);
  return t;
}

TimeStamp Stamp(int32_t seconds, int16_t ms) {
  TimeStamp t{};
  t.seconds = seconds;
  t.milliseconds = ms;
  return t;
}

// Seconds since 1970-01-01 of a calendar time, by the standard library's calendar (the C
// runtimes differ: Windows' has no timegm, and its _mkgmtime refuses dates before 1970).
int64_t CalendarSecondsOf(const std::tm& t) {
  using namespace std::chrono;
  const sys_days day = year(t.tm_year + 1900) / month(static_cast<unsigned>(t.tm_mon + 1)) /
                       static_cast<unsigned>(t.tm_mday);
  return day.time_since_epoch().count() * int64_t{86400} + t.tm_hour * 3600 + t.tm_min * 60 +
         t.tm_sec;
}

void ExpectStamp(const TimeStamp& actual, const TimeStamp& expected) {
  EXPECT_EQ(actual.seconds, expected.seconds);
  EXPECT_EQ(actual.milliseconds, expected.milliseconds);
}

TEST(TimeStamps, CalendarSecondsAgreeWithTheStandardCalendarAcrossLeapYears) {
  // Month ends and leap days, including 2000 (a leap year) and 2100 (not one), and dates
  // before 1970, which count backwards.
  const int dates[][3] = {{1970, 1, 1}, {1972, 2, 29},  {1999, 12, 31}, {2000, 2, 29},
                          {2000, 3, 1}, {2024, 12, 31}, {2037, 6, 15},  {2100, 2, 28},
                          {2100, 3, 1}, {1969, 12, 31}, {1900, 3, 1},   {1600, 2, 29}};
  for (const auto& d : dates) {
    tm broken{};
    broken.tm_year = d[0] - 1900;
    broken.tm_mon = d[1] - 1;
    broken.tm_mday = d[2];
    broken.tm_hour = 13;
    broken.tm_min = 45;
    broken.tm_sec = 59;
    EXPECT_EQ(CalendarSeconds(d[0], d[1], d[2], 13, 45, 59), CalendarSecondsOf(broken))
        << d[0] << "-" << d[1] << "-" << d[2];
  }
}

TEST(TimeStamps, LocalTimeNowIsTheLocalWallClock) {
  for (const char* zone : {"UTC0", "CET-1", "EST5", "IST-5:30"}) {
    parvex_test::ScopedEnv tz("TZ", zone);
    ReloadProcessTimeZone();
    time_t before = time(nullptr);
    TimeStamp out{};
    TimeStamp now = LocalTimeNow(&out);
    time_t after = time(nullptr);
    tm local_before, local_after;
    ASSERT_EQ(LocalCalendarTime(before, &local_before), 0);
    ASSERT_EQ(LocalCalendarTime(after, &local_after), 0);
    int64_t low = CalendarSecondsOf(local_before);
    int64_t high = CalendarSecondsOf(local_after);
    EXPECT_GE(now.seconds, low) << zone;
    EXPECT_LE(now.seconds, high) << zone;
    EXPECT_GE(now.milliseconds, 0);
    EXPECT_LE(now.milliseconds, 999);
    ExpectStamp(out, now);
  }
  ReloadProcessTimeZone();
}

TEST(TimeStamps, DifferenceComparisonAndAddition) {
  EXPECT_EQ(DiffMs(Stamp(10, 900), Stamp(9, 950)), 950);
  EXPECT_EQ(DiffMs(Stamp(9, 950), Stamp(10, 900)), -950);
  // Far apart stamps do not overflow.
  EXPECT_EQ(DiffMs(Stamp(2000000000, 0), Stamp(0, 0)), 2000000000000LL);
  EXPECT_EQ(CompareStamps(Stamp(10, 0), Stamp(9, 999)), 1);
  EXPECT_EQ(CompareStamps(Stamp(9, 999), Stamp(10, 0)), -1);
  EXPECT_EQ(CompareStamps(Stamp(10, 5), Stamp(10, 5)), 0);
  EXPECT_EQ(CompareStamps(Stamp(2000000000, 0), Stamp(-2000000000, 0)), 1);

  TimeStamp t = Stamp(5, 900);
  AddMs(&t, 250);
  ExpectStamp(t, Stamp(6, 150));
  AddMs(&t, 2850);
  ExpectStamp(t, Stamp(9, 0));
  AddMs(&t, -1);
  ExpectStamp(t, Stamp(8, 999));
  AddMs(&t, -3000);
  ExpectStamp(t, Stamp(5, 999));
}

TEST(TimeStamps, NextPeriodBoundaryIsLaidFromMidnight) {
  ExpectStamp(NextPeriodBoundary(At(10, 0, 7, 500), 5000), At(10, 0, 10, 0));
  ExpectStamp(NextPeriodBoundary(At(10, 0, 7, 500), 90000), At(10, 1, 0, 0));
  ExpectStamp(NextPeriodBoundary(At(10, 0, 10, 0), 5000), At(10, 0, 15, 0));
  ExpectStamp(NextPeriodBoundary(At(10, 0, 7, 500), 1000), At(10, 0, 8, 0));
  ExpectStamp(NextPeriodBoundary(At(10, 0, 7, 500), 0), At(10, 0, 7, 500));
  // The last boundary of a day is the next day's midnight.
  TimeStamp midnight = At(0, 0, 0, 0);
  midnight.seconds += 86400;
  ExpectStamp(NextPeriodBoundary(At(23, 59, 58, 0), 5000), midnight);
}

TEST(TimeStamps, NextGridTimeFollowsTheReference) {
  TimeStamp reference = At(10, 0, 0, 0);
  ExpectStamp(NextGridTime(At(10, 0, 2, 300), reference, 1000), At(10, 0, 3, 0));
  ExpectStamp(NextGridTime(At(10, 0, 3, 0), reference, 1000), At(10, 0, 4, 0));
  ExpectStamp(NextGridTime(At(9, 59, 59, 900), reference, 1000), At(10, 0, 0, 900));
  ExpectStamp(NextGridTime(reference, reference, 60000), At(10, 1, 0, 0));
  ExpectStamp(NextGridTime(At(10, 0, 2, 300), reference, 0), At(10, 0, 2, 300));
  // The longest period, a day later: no overflow on the way.
  TimeStamp later = reference;
  later.seconds += 86400;
  later.milliseconds = 1;
  TimeStamp next = NextGridTime(later, reference, 2147483);
  EXPECT_GT(DiffMs(next, later), 0);
  EXPECT_LE(DiffMs(next, later), 2147483);
  EXPECT_EQ(DiffMs(next, reference) % 2147483, 0);
}

TEST(TimeZone, OffsetTextAndSetting) {
  EXPECT_EQ(TimeZoneOffsetText(-60), "-1:0:0");
  EXPECT_EQ(TimeZoneOffsetText(0), "");
  EXPECT_EQ(TimeZoneOffsetText(300), "5:0:0");
  EXPECT_EQ(TimeZoneOffsetText(-330), "-5:30:0");
  EXPECT_EQ(FormatTimeZoneSetting("CET", -60, "CEST"), "CET-1:0:0CEST");
  EXPECT_EQ(FormatTimeZoneSetting("UTC", 0, ""), "UTC");
  EXPECT_EQ(FormatTimeZoneSetting("+0530", -330, ""), "<+0530>-5:30:0");
}

#ifndef _WIN32
// Zone files exist on Linux only.
TEST(TimeZone, ProcessZoneKeepsTheDaylightRulesOfTheSystemZone) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no tzdata";
  parvex_test::ScopedEnv tz("TZ", ":Europe/Berlin");
  EXPECT_EQ(SetProcessTimeZone(), "CET-1:0:0CEST,M3.5.0,M10.5.0/3");
  EXPECT_STREQ(getenv("TZ"), "CET-1:0:0CEST,M3.5.0,M10.5.0/3");
  // 2026-07-01 12:00 UTC is 14:00 in Berlin, 2026-01-15 12:00 UTC is 13:00.
  time_t summer = static_cast<time_t>(CalendarSeconds(2026, 7, 1, 12, 0, 0));
  time_t winter = static_cast<time_t>(CalendarSeconds(2026, 1, 15, 12, 0, 0));
  tm local;
  ASSERT_EQ(LocalCalendarTime(summer, &local), 0);
  EXPECT_EQ(local.tm_hour, 14);
  ASSERT_EQ(LocalCalendarTime(winter, &local), 0);
  EXPECT_EQ(local.tm_hour, 13);
  // A rule text is not a zone file: left alone.
  SetEnvironmentValue("TZ", "EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(SetProcessTimeZone(), "");
  EXPECT_STREQ(getenv("TZ"), "EST5EDT,M3.2.0,M11.1.0");
}
#else
// On Windows the C runtime takes the system's zone itself: no TZ is built, and one the process
// inherited is removed, whatever it names.
TEST(TimeZone, ProcessZoneIsTheSystemsOwnOnWindows) {
  {
    parvex_test::ScopedEnv unset("TZ", nullptr);
    const ProcessTimeZone system = ReloadProcessTimeZone();
    const char* other = system.bias_seconds == 5 * 3600 ? "AAA6" : "AAA5";
    for (const char* tz : {other, ":Europe/Berlin", "/etc/localtime"}) {
      SetEnvironmentValue("TZ", tz);
      ReloadProcessTimeZone();
      EXPECT_EQ(SetProcessTimeZone(), "") << tz;
      EXPECT_EQ(getenv("TZ"), nullptr) << tz;
      EXPECT_EQ(ReloadProcessTimeZone().bias_seconds, system.bias_seconds) << tz;
    }
  }
  ReloadProcessTimeZone();
}
#endif  // _WIN32

}  // namespace
}  // namespace kestrum
