#include "bench/process_usage.h"

#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace parvex_bench {
namespace {

// utime and stime are fields 14 and 15 of /proc/<pid>/stat; the command name (field 2) may hold
// spaces, so counting starts after its closing parenthesis.
double StatTicksSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The process's CPU clock: every thread, those that ended included, to the nanosecond.
double ProcessClockSeconds(pid_t pid) {
  clockid_t clock;
  timespec now{};
  if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &now) != 0) return -1;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

CpuTime ReadCpuTime(pid_t pid) {
  CpuTime t;
  t.ticks = StatTicksSeconds(pid);
  t.precise = ProcessClockSeconds(pid);
  t.ok = t.ticks >= 0 && t.precise >= 0;
  return t;
}

long ReadResidentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double CorePercent(double before, double after, double wall_seconds) {
  return wall_seconds > 0 ? 100.0 * (after - before) / wall_seconds : 0;
}

std::string MachineLine() {
  std::string model = "unknown";
  std::ifstream cpu("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpu, line)) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  std::ifstream load("/proc/loadavg");
  std::string one, five, fifteen;
  load >> one >> five >> fifteen;
  std::ostringstream out;
  out << std::thread::hardware_concurrency() << " cores, " << model << ", load average " << one
      << " " << five << " " << fifteen;
  return out.str();
}

}  // namespace parvex_bench
