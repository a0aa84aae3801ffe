// The scanner's main loop: one request per pass, reconfigure first, then initialise values,
// reset counters, and scans last; a failed request is reported and followed by initialise
// device; an idle pass saves output values when they are due or waits for the next request.
#ifndef PARVEX_SCANNER_MAIN_LOOP_H_
#define PARVEX_SCANNER_MAIN_LOOP_H_

#include "scanner/requests.h"
#include "scanner/save_timer.h"
#include "scanner/scanner_hooks.h"

namespace parvex {

/// The work the main loop dispatches. Each returns 0 or -1 with the error number set, except
/// InitialiseDevice (always 1) and SaveOutputValues.
class DeviceOperations {
 public:
  virtual ~DeviceOperations() = default;
  virtual int Reconfigure() = 0;
  virtual int InitialiseValues() = 0;
  virtual int ResetCounters() = 0;
  /// A scan; `first_scan` evaluates every channel's states.
  virtual int Scan(bool first_scan) = 0;
  /// Marks every channel failed with `error`, re-opens the port and tries a first scan every
  /// 1000 ms until one succeeds or running is cleared.
  virtual int InitialiseDevice(int error) = 0;
  virtual void SaveOutputValues() = 0;
};

/// Messages of failed requests.
inline constexpr char kReconfigureFailed[] = "CAN'T RECONFIGURE DEVICE -%04d";
inline constexpr char kInitialiseValuesFailed[] = "CAN'T INITIALISE VALUES - %04d";
inline constexpr char kResetCountersFailed[] = "CAN'T RESET COUNTERS -%04d";
inline constexpr char kScanFailed[] = "CAN'T SCAN DEVICE -%04d";

/// Runs one pass of the main loop. Returns false when the loop must end now (a request failed
/// after running was cleared), true otherwise; the caller loops while running.
bool MainLoopPass(RequestWords* words, DeviceOperations* operations, SaveTimer* timer,
                  ScannerHooks& hooks);

/// Runs passes while `words` says running.
void RunMainLoop(RequestWords* words, DeviceOperations* operations, SaveTimer* timer,
                 ScannerHooks& hooks);

}  // namespace parvex

#endif  // PARVEX_SCANNER_MAIN_LOOP_H_
