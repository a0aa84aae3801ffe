// What the scanner's main loop and device operations call outside the scanner: the clock, the
// driver-manager link's gate and waits, and the device's current error message. The process
// hands in a SystemScannerHooks; tests hand in an object of their own.
#ifndef PARVEX_SCANNER_SCANNER_HOOKS_H_
#define PARVEX_SCANNER_SCANNER_HOOKS_H_

#include <cstdint>

#include "records/time_stamp.h"

namespace parvex {

/// The scanner's outside world. Called from the main thread only, never per channel.
class ScannerHooks {
 public:
  virtual ~ScannerHooks() = default;
  /// Returns the local wall-clock time.
  virtual kestrum::TimeStamp Now() = 0;
  /// Closes (1) or opens (0) the gate of the driver-manager link. Returns 0 or -1 with the
  /// error number set.
  virtual int HoldMessages(int flag) = 0;
  /// Opens the gate and waits up to `ms` milliseconds (0: without limit) for one request.
  /// Returns 0 or -1 with the error number set.
  virtual int WaitForMessage(uint32_t ms) = 0;
  /// Opens the gate and waits 10 * `ticks` milliseconds (0: without limit) for one request.
  /// Returns 0 or -1 with the error number set.
  virtual int WaitTicks(uint32_t ticks) = 0;
  /// Sets `message` as the device's current error message.
  virtual void ReportError(const char* message) = 0;
  /// Clears the device's current error message.
  virtual void ClearError() = 0;
  /// Writes `text` to the system log as an event of `type` (kEventType...). Does nothing here.
  virtual void ReportEvent(int type, const char* text);
};

/// The hooks of the real process: LocalTimeNow, the driver-manager link, ReportError,
/// ClearError and ReportSystemEvent for the local computer.
class SystemScannerHooks final : public ScannerHooks {
 public:
  /// Returns LocalTimeNow().
  kestrum::TimeStamp Now() override;
  /// Returns as HoldDriverMessages.
  int HoldMessages(int flag) override;
  /// Returns as WaitForDriverMessage.
  int WaitForMessage(uint32_t ms) override;
  /// Returns as WaitTicks of the runtime.
  int WaitTicks(uint32_t ticks) override;
  /// Reports `message` through the runtime's error reporting.
  void ReportError(const char* message) override;
  /// Clears the runtime's current error message.
  void ClearError() override;
  /// Writes `text` to the local computer's system log.
  void ReportEvent(int type, const char* text) override;
};

/// The bits of an error number that a failure message shows: its low 12, as four digits.
inline constexpr int kShownErrorBits = 0xFFF;

/// Returns the part of `error` that a failure message shows.
constexpr int ShownErrorCode(int error) { return error & kShownErrorBits; }

/// Reports a failure through `hooks`: the XML failure text, fitted into the message an error
/// entry shows (FitFailureText), when `xml_text_allowed` and the platform's last error is the
/// XML parse error (1465); otherwise `format` (one "%04d" or " %04d") with `number`. Keeps the
/// error number.
void ReportFailure(ScannerHooks& hooks, const char* format, int number, bool xml_text_allowed);

}  // namespace parvex

#endif  // PARVEX_SCANNER_SCANNER_HOOKS_H_
