#include "platform/event_log.h"

#include <syslog.h>

#include <mutex>
#include <string>

namespace kestrum {

int SyslogPriorityOfEventType(int event_type) {
  switch (event_type) {
    case kEventTypeError:
      return LOG_ERR;
    case kEventTypeWarning:
    case kEventTypeAuditFailure:
      return LOG_WARNING;
    case kEventTypeAuditSuccess:
      return LOG_NOTICE;
    default:
      return LOG_INFO;
  }
}

void ReportToSyslog(std::string_view source, int event_type, std::string_view text) {
  // openlog() keeps the identity pointer, so the text lives until the log is closed; the lock
  // keeps two threads from swapping identities under each other.
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  std::string ident(source);
  std::string message(text);
  openlog(ident.c_str(), LOG_PID, LOG_USER);
  syslog(LOG_USER | SyslogPriorityOfEventType(event_type), "%s", message.c_str());
  closelog();
}

void SendToDebugOutput(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  syslog(LOG_USER | LOG_DEBUG, "%.*s", static_cast<int>(text.size()), text.data());
}

}  // namespace kestrum
