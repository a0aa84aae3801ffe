#include <sys/timeb.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error_number.h"
#include "platform/local_time.h"

namespace kestrum {

int LocalCalendarTime(std::int64_t seconds, std::tm* local) {
  const __time64_t t = seconds;
  const errno_t error = _localtime64_s(local, &t);
  if (error != 0) return FailWith(error);
  return 0;
}

void RealTimeNow(std::int64_t* seconds, int* milliseconds) {
  __timeb64 now;
  _ftime64(&now);
  *seconds = now.time;
  *milliseconds = now.millitm;
}

ProcessTimeZone ReloadProcessTimeZone() {
  _tzset();
  ProcessTimeZone zone;
  zone.bias_seconds = _timezone;
  zone.standard_name = _tzname[0];
  zone.daylight_name = _tzname[1];
  return zone;
}

// A TZ the process inherited would hide the system's settings; one built from the zone's names
// and bias would make the C runtime apply the United States' daylight-saving dates to every
// zone that has a daylight name.
ProcessTimeZone ReloadSystemTimeZone(std::string* zone_file) {
  zone_file->clear();
  if (std::getenv("TZ") != nullptr) _putenv_s("TZ", "");  // an empty value removes it
  return ReloadProcessTimeZone();
}

int SetProcessTimeZoneSetting(const std::string& setting) {
  const errno_t error = _putenv_s("TZ", setting.c_str());
  if (error != 0) return FailWith(error);
  _tzset();
  return 0;
}

}  // namespace kestrum
