#include <windows.h>
// Before psapi.h, which uses the types of windows.h.
#include <psapi.h>

#include <cerrno>

#include "platform/error_number.h"
#include "platform/owned_handle_win32.h"
#include "platform/process_usage.h"

namespace kestrum {
namespace {

// Opens `pid` for the queries below. A process id that names no process is refused with
// ERROR_INVALID_PARAMETER, which becomes ESRCH, as on Linux.
int OpenForQuery(pid_t pid, OwnedHandle* process) {
  HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE,
                              static_cast<DWORD>(pid));
  if (handle == nullptr) {
    return GetLastError() == ERROR_INVALID_PARAMETER ? FailWith(ESRCH) : FailFromLastError();
  }
  process->reset(handle);
  return 0;
}

// A FILETIME duration, counted in 100-nanosecond units, in seconds.
double Seconds(const FILETIME& t) {
  const ULONGLONG units = (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return static_cast<double>(units) * 1e-7;
}

}  // namespace

int ReadProcessCpuTime(pid_t pid, ProcessCpuTime* time) {
  OwnedHandle process;
  if (OpenForQuery(pid, &process) != 0) return -1;
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
    return FailFromLastError();
  }
  time->accounted = Seconds(kernel) + Seconds(user);
  time->precise = time->accounted;
  return 0;
}

int ReadProcessResidentKb(pid_t pid, long* kb) {
  OwnedHandle process;
  if (OpenForQuery(pid, &process) != 0) return -1;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  // K32GetProcessMemoryInfo of kernel32 (psapi.h maps the name), so no psapi.dll is needed.
  if (!GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) return FailFromLastError();
  *kb = static_cast<long>(counters.WorkingSetSize / 1024);
  return 0;
}

}  // namespace kestrum
