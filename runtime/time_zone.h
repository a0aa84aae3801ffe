// The time zone of the process's C library, set from the system's zone at start-up.
#ifndef PARVEX_RUNTIME_TIME_ZONE_H_
#define PARVEX_RUNTIME_TIME_ZONE_H_

#include <string>
#include <string_view>

namespace kestrum {

/// The offset part of a TZ setting for `bias_minutes` (minutes to add to local time to get
/// UTC): "" for 0, else "%d:%d:%d" of hours, minutes and 0 seconds of its absolute value,
/// preceded by "-" when the bias is negative. -60 gives "-1:0:0", 330 gives "5:30:0".
std::string TimeZoneOffsetText(int bias_minutes);

/// A TZ setting: the standard-time name, the offset text and the daylight-time name (may be
/// empty). Names that are not plain letters are written in angle brackets ("<+0530>").
std::string FormatTimeZoneSetting(std::string_view standard_name, int bias_minutes,
                                  std::string_view daylight_name);

/// Gives the C library the system's zone (ReloadSystemTimeZone of platform/local_time.h). Where
/// the C library reads a zone file (Linux), TZ is set from it and the zone is reloaded: for a
/// zone with daylight saving time the zone file's transition rules follow the daylight name;
/// when the zone file has none, TZ is left as it is, since a setting without rules would move
/// the clock on the wrong days. Where it reads none (Windows, or TZ holding a rule text), no TZ
/// is built: Windows' C runtime then takes the system's zone with its own daylight-saving dates.
/// Returns the setting made, or "" when no TZ was built.
std::string SetProcessTimeZone();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_TIME_ZONE_H_
