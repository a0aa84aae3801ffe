#include "scanner/main_loop.h"

#include "platform/error_number.h"

namespace parvex {
namespace {

enum class Request { kNone, kReconfigure, kInitialiseValues, kResetCounters, kScan };

// Takes the first pending request in priority order and clears it. Called with the gate closed.
Request TakeRequest(RequestWords* words) {
  if (words->reconfigure.exchange(0) != 0) return Request::kReconfigure;
  if (words->initialise_values.exchange(0) != 0) return Request::kInitialiseValues;
  if (words->reset_counters.exchange(0) != 0) return Request::kResetCounters;
  if (words->pending_scans.load() > 0) {
    words->pending_scans.fetch_sub(1);
    return Request::kScan;
  }
  return Request::kNone;
}

// Runs `request`; on failure sets `*message` to its failure message.
int Serve(Request request, DeviceOperations* operations, const char** message, bool* xml) {
  *xml = false;
  switch (request) {
    case Request::kReconfigure:
      *message = kReconfigureFailed;
      *xml = true;
      return operations->Reconfigure();
    case Request::kInitialiseValues:
      *message = kInitialiseValuesFailed;
      return operations->InitialiseValues();
    case Request::kResetCounters:
      *message = kResetCountersFailed;
      return operations->ResetCounters();
    default:
      *message = kScanFailed;
      return operations->Scan(false);
  }
}

}  // namespace

bool MainLoopPass(RequestWords* words, DeviceOperations* operations, SaveTimer* timer,
                  ScannerHooks& hooks) {
  hooks.HoldMessages(1);
  const Request request = TakeRequest(words);
  hooks.HoldMessages(0);
  if (request == Request::kNone) {
    if (SaveTimerDue(timer, hooks.Now())) {
      operations->SaveOutputValues();
    } else {
      // Without a time limit: the save timer is looked at again when a request wakes the loop.
      hooks.WaitTicks(0);
    }
    return true;
  }
  const char* message = nullptr;
  bool xml = false;
  if (Serve(request, operations, &message, &xml) != -1) return true;
  if (!words->is_running()) return false;
  const int error = kestrum::GetErrorNumber();
  ReportFailure(hooks, message, ShownErrorCode(error), xml);
  operations->InitialiseDevice(error);
  return true;
}

void RunMainLoop(RequestWords* words, DeviceOperations* operations, SaveTimer* timer,
                 ScannerHooks& hooks) {
  while (words->is_running()) {
    if (!MainLoopPass(words, operations, timer, hooks)) break;
  }
}

}  // namespace parvex
