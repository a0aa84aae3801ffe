// Reporting to the system event log: syslog on platform 2, a log file on platform 1.
#ifndef PARVEX_RUNTIME_SYSTEM_EVENT_H_
#define PARVEX_RUNTIME_SYSTEM_EVENT_H_

namespace kestrum {

/// Reports `text` as an event of `event_type` (1 error, 2 warning, 4 information; see
/// platform/event_log.h) for the computer `computer` (null, "" or "." for this one), in the
/// form of the current platform (GetPlatformId). Gives up silently when the log cannot be
/// reached (another computer's log never can be on Linux).
void ReportSystemEvent(const char* computer, int event_type, const char* text);

/// ReportSystemEvent for an explicit platform id. Platform 2: syslog with the product name as
/// identity. Platform 1: appends "HH:MM:SS MM/DD/YY <text>" and a line end to the file
/// "<folder><product name>.log", where the folder is what the location "KSM_" resolves to
/// ("<root>/" unless the variable KSM_ names another; it should end with "/").
void ReportSystemEventOn(int platform_id, const char* computer, int event_type, const char* text);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_SYSTEM_EVENT_H_
