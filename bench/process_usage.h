// CPU time and resident memory of another process, read from /proc, for the benchmark programs.
#ifndef PARVEX_BENCH_PROCESS_USAGE_H_
#define PARVEX_BENCH_PROCESS_USAGE_H_

#include <sys/types.h>

#include <string>

namespace parvex_bench {

/// CPU time a process has used so far, all its threads together, in seconds.
struct CpuTime {
  double ticks = 0;    ///< utime + stime of /proc/<pid>/stat (clock-tick resolution)
  double precise = 0;  ///< the process's CPU clock (clock_getcpuclockid), nanosecond resolution
  bool ok = false;     ///< false when the process could not be read
};

/// Reads the CPU time of `pid`.
CpuTime ReadCpuTime(pid_t pid);

/// VmRSS of `pid` in kilobytes, or -1 when it cannot be read.
long ReadResidentKb(pid_t pid);

/// The share of one core, in percent, used between `before` and `after` over `wall_seconds`.
double CorePercent(double before, double after, double wall_seconds);

/// One line describing the machine: cores, CPU model, load average.
std::string MachineLine();

}  // namespace parvex_bench

#endif  // PARVEX_BENCH_PROCESS_USAGE_H_
