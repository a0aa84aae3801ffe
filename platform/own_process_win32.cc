#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/error_number.h"
#include "platform/own_process.h"

namespace kestrum {

// Windows has no fork, so the id never changes under a running process.
std::uint32_t OwnProcessId() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

std::string OwnProgramPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      FailFromLastError();
      return "";
    }
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: ask again with more room
  }
}

// The real-time class is granted only to a process that may raise its base priority; the
// system quietly gives the high class to others.
int RaiseProcessPriority() {
  HANDLE self = GetCurrentProcess();
  if (SetPriorityClass(self, REALTIME_PRIORITY_CLASS)) return 0;
  return SetPriorityClass(self, HIGH_PRIORITY_CLASS) ? 0 : FailFromLastError();
}

// Closing the C runtime's descriptor 0 closes its Windows handle with it.
int CloseStandardInput() { return _close(0) == 0 ? 0 : FailFromErrno(); }

int KeepStandardOutputBytes() {
  std::fflush(stdout);
  return _setmode(_fileno(stdout), _O_BINARY) == -1 ? FailFromErrno() : 0;
}

}  // namespace kestrum
