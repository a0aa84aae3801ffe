#include "scanner/diagnostics.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/install_roots.h"
#include "runtime/registry_access.h"
#include "runtime/support_services.h"

namespace parvex {
namespace {

constexpr std::size_t kValueBuffer = 261;

void SendToSyslog(const char* line) {
  std::size_t length = std::strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
  syslog(LOG_USER | LOG_DEBUG, "%.*s", static_cast<int>(length), line);
}

void WriteAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t wrote = write(fd, text, length);
    if (wrote <= 0) return;
    text += wrote;
    length -= static_cast<std::size_t>(wrote);
  }
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
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
  CloseFd(&file_);
  CloseFd(&console_);
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
  const bool on = strncasecmp(value, "ON", 2) == 0;
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
    CloseFd(&file_);
    return;
  }
  if (file_ >= 0) return;
  char path[kValueBuffer];
  if (ReadValue("_DebugFile", path) && path[0] != '\0') {
    file_ = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  }
}

void TraceSettings::UpdateConsole() {
  if (!(targets_ & kTraceConsole)) {
    CloseFd(&console_);
    return;
  }
  if (console_ < 0) console_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
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
  if (watch_ && watch_->Wait(0) == 1) ReadSettings();
  if (targets_ == 0) return;
  const std::size_t length = std::strlen(text);
  if ((targets_ & kTraceConsole) && console_ >= 0) WriteAll(console_, text, length);
  if ((targets_ & kTraceFile) && file_ >= 0) WriteAll(file_, text, length);
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
