// The C runtime's view of the local time: the process's time zone and the calendar time in it.
#ifndef PARVEX_PLATFORM_LOCAL_TIME_H_
#define PARVEX_PLATFORM_LOCAL_TIME_H_

#include <cstdint>
#include <ctime>
#include <string>

namespace kestrum {

/// Breaks `seconds` since 1970-01-01 UTC into the calendar time of the process's time zone.
/// Returns 0, or -1 with the error number set when the time cannot be represented.
int LocalCalendarTime(std::int64_t seconds, std::tm* local);

/// The real time now: seconds since 1970-01-01 UTC and the milliseconds into that second.
void RealTimeNow(std::int64_t* seconds, int* milliseconds);

/// The process's time zone as the C runtime holds it.
struct ProcessTimeZone {
  long bias_seconds = 0;      // seconds to add to local standard time to get UTC
  std::string standard_name;  // "CET"
  std::string daylight_name;  // "CEST"; what the C runtime holds also for a zone without
};

/// Reloads the C runtime's time zone from the environment (TZ) and returns it.
ProcessTimeZone ReloadProcessTimeZone();

/// Reloads the C runtime's time zone from the system's time-zone settings and returns it, with
/// `*zone_file` set to the zone file whose rules the C runtime applies ("" when it reads none).
/// On Linux the settings are TZ naming a zone file (":Europe/Berlin" in TZDIR or else
/// /usr/share/zoneinfo, or an absolute path), else /etc/localtime; a TZ that holds a rule text
/// ("EST5EDT,M3.2.0,M11.1.0") is kept and names no file.
/// On Windows the C runtime takes the zone, with its daylight-saving dates, from the system's
/// settings only while TZ is not set, so TZ is removed from the process environment; no zone
/// file is read.
ProcessTimeZone ReloadSystemTimeZone(std::string* zone_file);

/// Sets TZ in the process environment to `setting` and reloads the C runtime's time zone.
/// Returns 0, or -1 with the error number set.
int SetProcessTimeZoneSetting(const std::string& setting);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_LOCAL_TIME_H_
