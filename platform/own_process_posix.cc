#include "platform/own_process.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/error_number.h"

namespace kestrum {
namespace {

// The process id, read once and forgotten in a child made by fork. The lock and notify paths
// ask for it several times per scan, and getpid is a system call.
std::atomic<std::uint32_t> g_process_id{0};

void ForgetProcessId() { g_process_id.store(0, std::memory_order_relaxed); }

}  // namespace

std::uint32_t OwnProcessId() {
  std::uint32_t pid = g_process_id.load(std::memory_order_relaxed);
  if (pid != 0) return pid;
  static const int registered = pthread_atfork(nullptr, nullptr, ForgetProcessId);
  (void)registered;
  pid = static_cast<std::uint32_t>(getpid());
  g_process_id.store(pid, std::memory_order_relaxed);
  return pid;
}

std::string OwnProgramPath() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length < 0) {
    FailFromErrno();
    return "";
  }
  if (static_cast<size_t>(length) >= path.size()) {
    SetErrorNumber(ENAMETOOLONG);
    return "";
  }
  path.resize(static_cast<size_t>(length));
  return path;
}

int RaiseProcessPriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_RR);
  if (sched_setscheduler(0, SCHED_RR, &param) == 0) return 0;
  return setpriority(PRIO_PROCESS, 0, kRaisedNiceValue) == 0 ? 0 : FailFromErrno();
}

int CloseStandardInput() { return close(STDIN_FILENO) == 0 ? 0 : FailFromErrno(); }

// Linux streams pass bytes as they are.
int KeepStandardOutputBytes() { return 0; }

}  // namespace kestrum
