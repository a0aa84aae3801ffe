// The scanner's trace: what the counter sends and every report it cannot parse, written to the
// console, to a file and to the debugger output, as three string values of the product's
// registry key ask:
//   "<name>_Debug"      tracing is on when it begins with "ON" (any case)
//   "<name>_DebugType"  "CON" adds the console, "FILE" the file (case matters); the debugger
//                       output is always a target while tracing is on
//   "<name>_DebugFile"  the path of the trace file, created anew when the file target is
//                       switched on; only a regular file of the scanner's own user with one
//                       link, reached without a symlink, that the writer of this value could
//                       have created or written itself, is used, anything else is refused
//                       with one line in the system log and nothing is traced to a file
// where <name> is the device folder name. The key is watched; a change is noticed at the next
// trace write, and the other two values are read again only when "_Debug" changed.
//
// Linux carriers: the console is the process's standard error; the debugger output is syslog
// (facility LOG_USER, priority LOG_DEBUG), one record per assembled line "<name> : <text>",
// without its line end.
//
// Not thread-safe: the scanner's main thread traces.
#ifndef PARVEX_SCANNER_DIAGNOSTICS_H_
#define PARVEX_SCANNER_DIAGNOSTICS_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/file_handle.h"
#include "platform/registry.h"
#include "platform/registry_watch.h"

namespace parvex {

/// Trace targets.
inline constexpr int kTraceConsole = 1;
inline constexpr int kTraceFile = 2;
inline constexpr int kTraceDebugger = 4;

/// Longest debugger line, its line end included.
inline constexpr std::size_t kTraceLineLimit = 4999;
/// Longest name kept.
inline constexpr std::size_t kTraceNameLimit = 131;

/// Receives each finished debugger line (with its line end).
using TraceLineSink = void (*)(const char* line);

/// The process's trace settings and outputs.
class TraceSettings {
 public:
  /// Opens (creating it when missing) the product key, starts watching it and reads the
  /// settings for `name`. Without the key tracing stays off; without the watch the settings are
  /// read once. `debugger` receives the debugger lines (null: syslog).
  explicit TraceSettings(const char* name, TraceLineSink debugger = nullptr);
  ~TraceSettings();
  TraceSettings(const TraceSettings&) = delete;
  TraceSettings& operator=(const TraceSettings&) = delete;

  /// Writes one piece of text to every target, re-reading the settings first when the key
  /// changed. Failures are ignored.
  void Trace(const char* text);

  bool tracing() const { return tracing_; }
  int targets() const { return targets_; }
  /// The debugger line being assembled.
  const std::string& line() const { return line_; }

 private:
  void ReadSettings();
  bool ReadValue(const char* suffix, char* buffer) const;
  void UpdateFile();
  void UpdateConsole();
  void AppendToLine(const char* text, std::size_t length);
  void WriteToTargets(const char* text);

  std::string name_;
  TraceLineSink debugger_;
  kestrum::RegKey key_ = nullptr;
  std::unique_ptr<kestrum::RegistryWatch> watch_;
  bool tracing_ = false;
  int targets_ = 0;
  kestrum::FileHandle console_;
  kestrum::FileHandle file_;
  std::string line_;
};

/// Creates the process's trace settings for `name`, replacing the previous ones.
void SetUpTrace(const char* name, TraceLineSink debugger = nullptr);

/// Writes `text` to the process's trace (nothing before SetUpTrace).
void Trace(const char* text);

/// Ends the process's trace, closing its outputs.
void ShutTrace();

}  // namespace parvex

#endif  // PARVEX_SCANNER_DIAGNOSTICS_H_
