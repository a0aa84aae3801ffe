// What the scanner's main loop and device operations call outside the scanner: the clock, the
// driver-manager link's gate and waits, and the device's current error message. The process
// uses DefaultScannerHooks(); tests put fakes in their place.
#ifndef PARVEX_SCANNER_SCANNER_HOOKS_H_
#define PARVEX_SCANNER_SCANNER_HOOKS_H_

#include <cstdint>

#include "records/time_stamp.h"

namespace parvex {

/// Function pointers the loop calls; none may be null.
struct ScannerHooks {
  /// The local wall-clock time.
  kestrum::TimeStamp (*now)() = nullptr;
  /// Closes (1) or opens (0) the gate of the driver-manager link.
  int (*hold_messages)(int flag) = nullptr;
  /// Opens the gate and waits up to `ms` milliseconds (0: without limit) for one request.
  int (*wait_for_message)(uint32_t ms) = nullptr;
  /// Opens the gate and waits 10 * `ticks` milliseconds (0: without limit) for one request.
  int (*wait_ticks)(uint32_t ticks) = nullptr;
  /// Sets `message` as the device's current error message.
  void (*report_error)(const char* message) = nullptr;
  /// Clears the device's current error message.
  void (*clear_error)() = nullptr;
  /// Writes `text` to the system log as an event of `type` (kEventType...); may be null.
  void (*report_event)(int type, const char* text) = nullptr;
};

/// The hooks of the real process: LocalTimeNow, the driver-manager link, ReportError,
/// ClearError and ReportSystemEvent for the local computer.
ScannerHooks DefaultScannerHooks();

/// Reports a failure through `hooks`: the XML parser's error text when `xml_text_allowed` and
/// the platform's last error is the XML parse error (1465); otherwise `format` (one "%04d" or
/// " %04d") with `number`. Keeps the error number.
void ReportFailure(const ScannerHooks& hooks, const char* format, int number,
                   bool xml_text_allowed);

}  // namespace parvex

#endif  // PARVEX_SCANNER_SCANNER_HOOKS_H_
