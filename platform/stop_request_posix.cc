#include <signal.h>

#include "platform/error_number.h"
#include "platform/stop_request.h"

namespace kestrum {
namespace {

volatile std::sig_atomic_t* g_stop_flag = nullptr;

void OnStopSignal(int) {
  if (g_stop_flag != nullptr) *g_stop_flag = 1;
}

}  // namespace

int WatchStopRequests(volatile std::sig_atomic_t* flag) {
  g_stop_flag = flag;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0) {
    return FailFromErrno();
  }
  return 0;
}

int IgnoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGPIPE, &action, nullptr) != 0) return FailFromErrno();
  return 0;
}

}  // namespace kestrum
