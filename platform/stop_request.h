// Requests from outside that a program stop: interrupt and terminate signals on Linux, the
// console's control events on Windows.
#ifndef PARVEX_PLATFORM_STOP_REQUEST_H_
#define PARVEX_PLATFORM_STOP_REQUEST_H_

#include <csignal>

namespace kestrum {

/// From now on sets `*flag` to 1 when the process is asked to stop: SIGINT or SIGTERM on Linux
/// (a blocking wait of the process returns early, as the handler does not restart it); Ctrl+C,
/// Ctrl+Break, closing the console, logoff or shutdown on Windows. `*flag` must live as long
/// as the process. Returns 0, or -1 with the error number set.
int WatchStopRequests(volatile std::sig_atomic_t* flag);

/// Makes a write to a pipe or socket whose reader has gone fail with EPIPE instead of ending
/// the process (Linux's SIGPIPE; Windows has no such signal). Returns 0, or -1 with the error
/// number set.
int IgnoreBrokenPipes();

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_STOP_REQUEST_H_
