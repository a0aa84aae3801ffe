#include "bench/process_usage.h"

#include <cstdio>

#include "platform/process_usage.h"

namespace parvex_bench {

CpuTime ReadCpuTime(pid_t pid) {
  kestrum::ProcessCpuTime read;
  CpuTime t;
  t.ok = kestrum::ReadProcessCpuTime(pid, &read) == 0;
  if (t.ok) {
    t.ticks = read.accounted;
    t.precise = read.precise;
  }
  return t;
}

long ReadResidentKb(pid_t pid) {
  long kb = -1;
  return kestrum::ReadProcessResidentKb(pid, &kb) == 0 ? kb : -1;
}

double CorePercent(double before, double after, double wall_seconds) {
  return wall_seconds > 0 ? 100.0 * (after - before) / wall_seconds : 0;
}

void PrintMark(const char* name) {
  std::printf("mark %s\n", name);
  std::fflush(stdout);
}

}  // namespace parvex_bench
