#include "runtime/system_event.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/error_number.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/local_time.h"
#include "runtime/install_roots.h"
#include "runtime/support_services.h"

namespace kestrum {
namespace {

void AppendToLogFile(const char* text) {
  std::string path;
  {
    KeepErrorNumber keep;  // also when the folder cannot be resolved
    const char* folder = ResolveLocation("KSM_");
    if (!folder) return;
    path = std::string(folder) + GetProductName() + ".log";
  }
  FILE* file = OpenStream(path, "a");
  if (!file) return;
  std::tm local{};
  LocalCalendarTime(static_cast<std::int64_t>(std::time(nullptr)), &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S %m/%d/%y ", &local);
  size_t length = std::strlen(text);
  std::fprintf(file, "%s%s%s", stamp, text, length && text[length - 1] == '\n' ? "" : "\n");
  std::fclose(file);
}

}  // namespace

void ReportSystemEventOn(int platform_id, const char* computer, int event_type, const char* text) {
  if (!text) text = "";
  if (computer && *computer && !IsLocalHost(computer)) return;
  if (platform_id == 1) {
    AppendToLogFile(text);
  } else {
    ReportToSyslog(GetProductName(), event_type, text);
  }
}

void ReportSystemEvent(const char* computer, int event_type, const char* text) {
  ReportSystemEventOn(GetPlatformId(), computer, event_type, text);
}

}  // namespace kestrum
