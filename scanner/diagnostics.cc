#include "scanner/diagnostics.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/error_number.h"
#include "platform/event_log.h"
#include "records/text_case.h"
#include "runtime/install_roots.h"
#include "runtime/registry_access.h"
#include "runtime/support_services.h"

namespace parvex {
namespace {

constexpr std::size_t kValueBuffer = 261;

void SendToSyslog(const char* line) { kestrum::SendToDebugOutput(line); }

// Says once, in the system log, why the trace file named in the registry is not written.
void ReportRefusedTraceFile(const std::string& value_name, const char* path) {
  const int error = kestrum::GetErrorNumber();
  const std::string text = value_name + ": trace file \"" + path +
                           "\" refused, not traced to a file: " + std::strerror(error) + " (" +
                           std::to_string(error) + ")";
  kestrum::ReportToSyslog(kestrum::GetProductName(), kestrum::kEventTypeWarning, text);
}

}  // namespace

TraceSettings::TraceSettings(const char* name, TraceLineSink debugger)
    : name_(std::string(name).substr(0, kTraceNameLimit)),
      debugger_(debugger != nullptr ? debugger : SendToSyslog) {
  const std::string key_path = std::string("SOFTWARE\\Veltrane\\") + kestrum::GetProductName();
  if (kestrum::CreateRegistryKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine),
                                 key_path.c_str(), kestrum::kRegOptionNonVolatile,
                                 kestrum::kKeyAllAccess, kestrum::GetSharedSecurityAttributes(),
                                 &key_, nullptr) != 0) {
    key_ = nullptr;
    return;
  }
  if (kestrum::RegWatchKey(key_, true, &watch_) != 0) watch_.reset();
  ReadSettings();
}

TraceSettings::~TraceSettings() {
  file_.Close();
  console_.Close();
  watch_.reset();
  if (key_ != nullptr) kestrum::RegCloseKey(key_);
}

bool TraceSettings::ReadValue(const char* suffix, char* buffer) const {
  const std::string value_name = name_ + suffix;
  uint32_t type = 0;
  uint32_t size = kValueBuffer;
  std::memset(buffer, 0, kValueBuffer);
  if (kestrum::RegQueryValue(key_, value_name, &type, buffer, &size) != 0) {
    buffer[0] = '\0';
    return false;
  }
  buffer[kValueBuffer - 1] = '\0';
  return true;
}

void TraceSettings::ReadSettings() {
  char value[kValueBuffer];
  ReadValue("_Debug", value);
  const bool on = kestrum::CompareIgnoringCase(value, "ON", 2) == 0;
  if (on == tracing_) return;
  tracing_ = on;
  targets_ = 0;
  if (on) {
    targets_ = kTraceDebugger;
    line_.clear();
    ReadValue("_DebugType", value);
    if (std::strstr(value, "CON") != nullptr) targets_ |= kTraceConsole;
    if (std::strstr(value, "FILE") != nullptr) targets_ |= kTraceFile;
  }
  UpdateFile();
  UpdateConsole();
}

void TraceSettings::UpdateFile() {
  if (!(targets_ & kTraceFile)) {
    file_.Close();
    return;
  }
  if (file_.is_open()) return;
  char path[kValueBuffer];
  if (!ReadValue("_DebugFile", path) || path[0] == '\0') return;
  // The value may be written by anyone who may write the key, who may have less right than
  // this process: only a file of this process's user, reached without a symlink, that the
  // value's writer could have created or written itself, is written.
  const std::string value_name = name_ + "_DebugFile";
  uint32_t writer = 0;
  if (const int error = kestrum::RegQueryValueWriter(key_, value_name, &writer); error != 0) {
    kestrum::SetErrorNumber(error);
    ReportRefusedTraceFile(value_name, path);
    return;
  }
  if (file_.OpenOwnFileFor(writer, path,
                           kestrum::kOpenRead | kestrum::kOpenWrite | kestrum::kOpenCreate |
                               kestrum::kOpenTruncate) != 0 &&
      kestrum::GetErrorNumber() != ENOENT) {
    ReportRefusedTraceFile(value_name, path);
  }
}

void TraceSettings::UpdateConsole() {
  if (!(targets_ & kTraceConsole)) {
    console_.Close();
    return;
  }
  if (!console_.is_open()) console_.OpenStandardError();
}

void TraceSettings::AppendToLine(const char* text, std::size_t length) {
  if (line_.empty()) line_ = name_ + " : ";
  if (line_.size() + length < kTraceLineLimit) {
    line_.append(text, length);
    return;
  }
  // Keep the end of the text and end the line at the limit.
  if (line_.size() < kTraceLineLimit) {
    const std::size_t room = kTraceLineLimit - line_.size();
    line_.append(text + (length - room), room);
  }
}

void TraceSettings::Trace(const char* text) {
  // A failed trace write or registry read must not change the error number that the caller is
  // about to report (the report reader traces a report before it says why it failed).
  kestrum::KeepErrorNumber keep;
  WriteToTargets(text);
}

void TraceSettings::WriteToTargets(const char* text) {
  if (watch_ && watch_->Wait(0) == 1) ReadSettings();
  if (targets_ == 0) return;
  const std::size_t length = std::strlen(text);
  if ((targets_ & kTraceConsole) && console_.is_open()) console_.WriteExactly(text, length);
  if ((targets_ & kTraceFile) && file_.is_open()) file_.WriteExactly(text, length);
  if (!(targets_ & kTraceDebugger)) return;
  AppendToLine(text, length);
  if (length > 0 && text[length - 1] == '\n') {
    if (line_.size() > 2 && line_.back() != '\n') {
      line_.resize(line_.size() - 2);
      line_ += "\r\n";
    }
    debugger_(line_.c_str());
    line_.clear();
  }
}

namespace {
std::unique_ptr<TraceSettings>& ProcessTrace() {
  static std::unique_ptr<TraceSettings> trace;
  return trace;
}
}  // namespace

void SetUpTrace(const char* name, TraceLineSink debugger) {
  ProcessTrace().reset();
  ProcessTrace() = std::make_unique<TraceSettings>(name, debugger);
}

void Trace(const char* text) {
  if (ProcessTrace()) ProcessTrace()->Trace(text);
}

void ShutTrace() { ProcessTrace().reset(); }

}  // namespace parvex
