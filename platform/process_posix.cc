#include "platform/process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error_number.h"

extern char** environ;

namespace kestrum {
namespace {

std::vector<char*> PointerList(const std::vector<std::string>& texts) {
  std::vector<char*> list;
  for (const std::string& text : texts) list.push_back(const_cast<char*>(text.c_str()));
  list.push_back(nullptr);
  return list;
}

int ExitCode(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

// Reaps the child if it has ended: 1 ended, 0 still running, -1 failure.
int TryReap(pid_t pid, int* status) {
  int wait_status = 0;
  pid_t got;
  do {
    got = waitpid(pid, &wait_status, WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return FailFromErrno();
  if (got == 0) return 0;
  if (status) *status = ExitCode(wait_status);
  return 1;
}

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Sleeps until the child may have ended: on its pidfd when the kernel has them, else briefly.
void AwaitChange(pid_t pid, int timeout_ms) {
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd entry{fd, POLLIN, 0};
    poll(&entry, 1, timeout_ms);
    close(fd);
    return;
  }
  timespec pause{0, 10 * 1000000L};
  if (timeout_ms >= 0 && timeout_ms < 10) pause.tv_nsec = timeout_ms * 1000000L;
  nanosleep(&pause, nullptr);
}

}  // namespace

int SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>* env,
                 ProcessId* pid) {
  if (argv.empty() || argv[0].empty() || !pid) return FailWith(EINVAL);
  std::vector<char*> args = PointerList(argv);
  std::vector<char*> vars;
  if (env) vars = PointerList(*env);
  char** envp = env ? vars.data() : environ;
  int rc = posix_spawnp(pid, args[0], nullptr, nullptr, args.data(), envp);
  return rc == 0 ? 0 : FailWith(rc);
}

int WaitProcess(ProcessId pid, int timeout_ms, int* status) {
  long long deadline = timeout_ms >= 0 ? NowMs() + timeout_ms : 0;
  for (;;) {
    int reaped = TryReap(pid, status);
    if (reaped != 0) return reaped > 0 ? 0 : -1;
    int left = -1;
    if (timeout_ms >= 0) {
      long long remaining = deadline - NowMs();
      if (remaining <= 0) return FailWith(ETIMEDOUT);
      left = static_cast<int>(remaining);
    }
    AwaitChange(pid, left);
  }
}

int KillProcess(ProcessId pid, int signal) {
  if (pid <= 0) return FailWith(EINVAL);
  return kill(pid, signal) == 0 ? 0 : FailFromErrno();
}

static_assert(kEndedProcessStatus == 128 + SIGKILL);

int EndProcess(ProcessId pid) { return KillProcess(pid, SIGKILL); }

int RunProcess(const std::vector<std::string>& argv, int* status) {
  ProcessId pid = 0;
  if (SpawnProcess(argv, nullptr, &pid) != 0) return -1;
  return WaitProcess(pid, -1, status);
}

}  // namespace kestrum
