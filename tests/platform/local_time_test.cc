#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace kestrum {
namespace {

// The zone name the C runtime holds: wine's msvcrt (8.0) keeps only the first two of the three
// letters that Windows' C runtime keeps.
std::string ZoneName(const std::string& name) {
#ifdef _WIN32
  return name.substr(0, 2);
#else
  return name;
#endif
}

TEST(LocalTime, FollowsTheZoneSettingOfTheProcess) {
  const char* before = std::getenv("TZ");
  const std::string saved = before ? before : "UTC0";
  struct Case {
    const char* setting;
    long bias_seconds;
    const char* standard_name;
    const char* daylight_name;  // checked when not null
    int year, hour, minute;     // of 1970-01-01 00:00:00 UTC in the zone
  };
  const Case cases[] = {
      {"AAA-1", -3600, "AAA", nullptr, 1970, 1, 0},
      {"BBB5", 18000, "BBB", nullptr, 1969, 19, 0},
      {"CCC-5:30", -19800, "CCC", nullptr, 1970, 5, 30},
      {"DDD-2EEE", -7200, "DDD", "EEE", 1970, 2, 0},  // January: standard time
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    ASSERT_EQ(SetProcessTimeZoneSetting(c.setting), 0);
    const ProcessTimeZone zone = ReloadProcessTimeZone();
    EXPECT_EQ(zone.bias_seconds, c.bias_seconds);
    EXPECT_EQ(ZoneName(zone.standard_name), ZoneName(c.standard_name));
    if (c.daylight_name) {
      EXPECT_EQ(ZoneName(zone.daylight_name), ZoneName(c.daylight_name));
    }
    std::tm local{};
    ASSERT_EQ(LocalCalendarTime(0, &local), 0);
    EXPECT_EQ(local.tm_year + 1900, c.year);
    EXPECT_EQ(local.tm_hour, c.hour);
    EXPECT_EQ(local.tm_min, c.minute);
  }
  SetProcessTimeZoneSetting(saved);

  std::int64_t seconds = 0;
  int milliseconds = -1;
  RealTimeNow(&seconds, &milliseconds);
  const auto clock = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  EXPECT_LE(std::llabs(clock.count() - seconds), 2);
  EXPECT_GE(milliseconds, 0);
  EXPECT_LT(milliseconds, 1000);
}

}  // namespace
}  // namespace kestrum
