#include "platform/local_time.h"

#include <time.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error_number.h"

namespace kestrum {

int LocalCalendarTime(std::int64_t seconds, std::tm* local) {
  const time_t t = static_cast<time_t>(seconds);
  if (localtime_r(&t, local) == nullptr) return FailFromErrno();
  return 0;
}

void RealTimeNow(std::int64_t* seconds, int* milliseconds) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  *seconds = now.tv_sec;
  *milliseconds = static_cast<int>(now.tv_nsec / 1000000);
}

ProcessTimeZone ReloadProcessTimeZone() {
  tzset();
  ProcessTimeZone zone;
  zone.bias_seconds = timezone;
  zone.standard_name = tzname[0];
  zone.daylight_name = tzname[1];
  return zone;
}

ProcessTimeZone ReloadSystemTimeZone(std::string* zone_file) {
  const ProcessTimeZone zone = ReloadProcessTimeZone();
  const char* tz = std::getenv("TZ");
  if (!tz) {
    *zone_file = "/etc/localtime";
    return zone;
  }
  const std::string name = tz[0] == ':' ? tz + 1 : tz;
  if (name.empty() || name[0] == '/') {
    *zone_file = name;
    return zone;
  }
  const char* dir = std::getenv("TZDIR");
  *zone_file = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + name;
  return zone;
}

int SetProcessTimeZoneSetting(const std::string& setting) {
  if (setenv("TZ", setting.c_str(), 1) != 0) return FailFromErrno();
  tzset();
  return 0;
}

}  // namespace kestrum
