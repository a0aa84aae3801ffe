// The system event log, carried by syslog; on Windows the Windows event log and debugger output.
#ifndef PARVEX_PLATFORM_EVENT_LOG_H_
#define PARVEX_PLATFORM_EVENT_LOG_H_

#include <string_view>

namespace kestrum {

// Event types of the system's event log.
inline constexpr int kEventTypeSuccess = 0;
inline constexpr int kEventTypeError = 1;
inline constexpr int kEventTypeWarning = 2;
inline constexpr int kEventTypeInformation = 4;
inline constexpr int kEventTypeAuditSuccess = 8;
inline constexpr int kEventTypeAuditFailure = 16;

#ifndef _WIN32
/// The syslog priority of an event type: error LOG_ERR, warning and audit failure
/// LOG_WARNING, audit success LOG_NOTICE, anything else LOG_INFO.
int SyslogPriorityOfEventType(int event_type);
#endif

/// Sends `text` to syslog as facility LOG_USER with the priority of `event_type`, the
/// identity `source` (the product name) and the process id. Never fails visibly: syslog
/// itself drops what it cannot deliver. Thread-safe. On Windows the text goes to the application
/// event log under `source` with the event type as it is.
void ReportToSyslog(std::string_view source, int event_type, std::string_view text);

/// Sends `text` (without its trailing CR and LF) to syslog as facility LOG_USER, priority
/// LOG_DEBUG, under the process's own identity: the stand-in of the system debugger output
/// (on Windows, the debugger output itself). Never fails visibly. Thread-safe.
void SendToDebugOutput(std::string_view text);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_EVENT_LOG_H_
