#include <windows.h>

#include "platform/error_number.h"
#include "platform/stop_request.h"

namespace kestrum {
namespace {

volatile std::sig_atomic_t* g_stop_flag = nullptr;

// Runs in a thread the system starts for the event. For closing the console, logoff and
// shutdown the system ends the process soon after the handler returns; the objects the
// process holds are released with it.
BOOL WINAPI OnConsoleControl(DWORD) {
  if (g_stop_flag == nullptr) return FALSE;
  *g_stop_flag = 1;
  return TRUE;
}

}  // namespace

int WatchStopRequests(volatile std::sig_atomic_t* flag) {
  g_stop_flag = flag;
  if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE)) return FailFromLastError();
  return 0;
}

int IgnoreBrokenPipes() { return 0; }

}  // namespace kestrum
