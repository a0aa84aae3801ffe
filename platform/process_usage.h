// CPU time and resident memory of a running process, as the system accounts for them.
#ifndef PARVEX_PLATFORM_PROCESS_USAGE_H_
#define PARVEX_PLATFORM_PROCESS_USAGE_H_

#include <sys/types.h>

namespace kestrum {

/// CPU time a process has used so far, all its threads together (those that ended included),
/// in seconds.
struct ProcessCpuTime {
  /// As the system's process accounting counts it: on Linux utime + stime of /proc/<pid>/stat
  /// (whole clock ticks), on Windows the kernel and user times of GetProcessTimes.
  double accounted = 0;
  /// The finest count the system gives: on Linux the process's CPU clock (nanoseconds); on
  /// Windows, which has no finer count of a process's time, the same as `accounted`.
  double precise = 0;
};

/// Reads the CPU time of process `pid` into `*time`. Returns 0, or -1 with the error number
/// set (ESRCH when there is no such process).
int ReadProcessCpuTime(pid_t pid, ProcessCpuTime* time);

/// Reads the resident memory of process `pid` in kilobytes into `*kb`: VmRSS on Linux, the
/// working set on Windows. Returns 0, or -1 with the error number set (ESRCH when there is no
/// such process).
int ReadProcessResidentKb(pid_t pid, long* kb);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_PROCESS_USAGE_H_
