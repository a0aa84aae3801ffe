#include <windows.h>

#include <string>

#include "platform/event_log.h"

namespace kestrum {

// The system's event types are the Windows event log's own.
static_assert(kEventTypeSuccess == EVENTLOG_SUCCESS);
static_assert(kEventTypeError == EVENTLOG_ERROR_TYPE);
static_assert(kEventTypeWarning == EVENTLOG_WARNING_TYPE);
static_assert(kEventTypeInformation == EVENTLOG_INFORMATION_TYPE);
static_assert(kEventTypeAuditSuccess == EVENTLOG_AUDIT_SUCCESS);
static_assert(kEventTypeAuditFailure == EVENTLOG_AUDIT_FAILURE);

void ReportToSyslog(std::string_view source, int event_type, std::string_view text) {
  const std::string name(source);
  const std::string message(text);
  HANDLE log = RegisterEventSourceA(nullptr, name.c_str());
  if (!log) return;  // nowhere to report to; the caller goes on
  const char* strings[] = {message.c_str()};
  ReportEventA(log, static_cast<WORD>(event_type), 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(log);
}

void SendToDebugOutput(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  OutputDebugStringA(std::string(text).c_str());
}

}  // namespace kestrum
