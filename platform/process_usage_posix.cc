#include "platform/process_usage.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/error_number.h"

namespace kestrum {
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

}  // namespace

int ReadProcessCpuTime(pid_t pid, ProcessCpuTime* time) {
  // The process's CPU clock: every thread, those that ended included, to the nanosecond.
  clockid_t clock;
  timespec now{};
  const int refused = clock_getcpuclockid(pid, &clock);
  if (refused != 0) return FailWith(refused);
  if (clock_gettime(clock, &now) != 0) return FailFromErrno();
  const double accounted = StatTicksSeconds(pid);
  if (accounted < 0) return FailWith(ESRCH);
  time->accounted = accounted;
  time->precise = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  return 0;
}

int ReadProcessResidentKb(pid_t pid, long* kb) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  if (!in) return FailWith(ESRCH);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      *kb = std::stol(line.substr(6));
      return 0;
    }
  }
  // A process that has ended but was not yet waited for has no memory left to report.
  return FailWith(ESRCH);
}

}  // namespace kestrum
