// CPU time and resident memory of another process (platform/process_usage.h), for the benchmark
// programs.
#ifndef PARVEX_BENCH_PROCESS_USAGE_H_
#define PARVEX_BENCH_PROCESS_USAGE_H_

#include <sys/types.h>

namespace parvex_bench {

/// CPU time a process has used so far, all its threads together, in seconds.
struct CpuTime {
  double ticks = 0;    ///< as the system accounts it (Linux: whole clock ticks)
  double precise = 0;  ///< the finest count the system gives (Linux: nanoseconds)
  bool ok = false;     ///< false when the process could not be read
};

/// Reads the CPU time of `pid`.
CpuTime ReadCpuTime(pid_t pid);

/// Resident memory of `pid` in kilobytes, or -1 when it cannot be read.
long ReadResidentKb(pid_t pid);

/// The share of one core, in percent, used between `before` and `after` over `wall_seconds`.
double CorePercent(double before, double after, double wall_seconds);

/// Prints "mark `name`" on standard output at once, so that a script reading the output can
/// measure a phase from outside the program (under wine, the scanner's CPU time as Linux
/// counts it: scripts/bench-windows.sh).
void PrintMark(const char* name);

}  // namespace parvex_bench

#endif  // PARVEX_BENCH_PROCESS_USAGE_H_
