#include "runtime/process_identity.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace kestrum {
namespace {

// The process id, read once and forgotten in a child made by fork. The lock and notify paths
// ask for it several times per scan, and getpid is a system call.
std::atomic<uint32_t> g_process_id{0};

void ForgetProcessId() { g_process_id.store(0, std::memory_order_relaxed); }

}  // namespace

int CurrentPlatformId() { return kLinuxPlatformId; }

uint32_t CurrentProcessId() {
  uint32_t pid = g_process_id.load(std::memory_order_relaxed);
  if (pid != 0) return pid;
  static const int registered = pthread_atfork(nullptr, nullptr, ForgetProcessId);
  (void)registered;
  pid = static_cast<uint32_t>(getpid());
  g_process_id.store(pid, std::memory_order_relaxed);
  return pid;
}

}  // namespace kestrum
