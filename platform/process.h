// Starting programs, waiting for them and stopping them. On Windows a process id stands for
// the process handle this module keeps from the start until the wait that reaps the child.
#ifndef PARVEX_PLATFORM_PROCESS_H_
#define PARVEX_PLATFORM_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrum {

/// A process id on both platforms: the system's pid_t (on Windows mingw-w64's, which holds the
/// system's DWORD process id).
using ProcessId = pid_t;

/// What WaitProcess reports for a process that EndProcess ended: 128 plus 9, as a POSIX parent
/// reads it for a process that SIGKILL ended.
inline constexpr int kEndedProcessStatus = 128 + 9;

/// Starts `argv[0]` with the arguments `argv` (a program name without "/" is searched on the
/// PATH; on Windows, also in the program's and the system's folders, ".exe" added when the name
/// has no extension, and the arguments are quoted so that the C runtime reads them back as
/// given). The child gets `env` as its whole environment ("NAME=value" entries) or, when `env`
/// is null, this process's environment; it shares this process's standard streams and keeps
/// no other descriptor that was opened close-on-exec. Returns 0 and the child's id in `*pid`,
/// or -1 with the error number set (ENOENT when the program cannot be found). The caller must
/// wait for the child (WaitProcess) to release it.
int SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>* env,
                 ProcessId* pid);

/// Waits up to `timeout_ms` (negative: no limit, 0: only look) for the child `pid` to end.
/// Returns 0 with `*status` (may be null) set to its exit code, or to 128 plus the signal
/// number when a signal ended it; -1 with the error number set to ETIMEDOUT when it is still
/// running after the time-out, or to another error (ECHILD: not a child of this process).
int WaitProcess(ProcessId pid, int timeout_ms, int* status);

/// Sends `signal` to the process `pid`. Windows has no signals: there the process is terminated
/// with exit code 128 plus `signal`, what WaitProcess reports on Linux for a process that a
/// signal ended. Returns 0, or -1 with the error number set.
int KillProcess(ProcessId pid, int signal);

/// Ends the process `pid` at once, without letting it clean up: SIGKILL on Linux,
/// TerminateProcess on Windows with the exit code kEndedProcessStatus, so that WaitProcess
/// reports kEndedProcessStatus on both. Returns 0, or -1 with the error number set.
int EndProcess(ProcessId pid);

/// Starts `argv` and waits for it without a limit. Returns 0 with `*status` (may be null) set
/// as by WaitProcess, or -1 with the error number set when it cannot be started.
int RunProcess(const std::vector<std::string>& argv, int* status);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_PROCESS_H_
