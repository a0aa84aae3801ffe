// The counter input: the scan handler of the analog-input kind. At each scan it takes the next
// report from the serial link, checks it, and writes the readings that the enabled channels
// select into the scanner's working arrays. It also remembers the port id each report's header
// announces, which applies to the data line of the next report.
//
// Errors and the received text reach the rest of the scanner through CounterServices, which the
// scanner fills in at start-up (error reporting and tracing live in other modules).
#ifndef PARVEX_SCANNER_COUNTER_INPUT_H_
#define PARVEX_SCANNER_COUNTER_INPUT_H_

#include <cstdint>

#include "records/channel_config.h"
#include "records/device_record.h"
#include "scanner/counter_report.h"
#include "scanner/serial_link.h"

namespace parvex {

/// What the counter input calls outside itself. Null members do nothing.
struct CounterServices {
  /// Sets `message` as the device's current error message.
  void (*report_error)(const char* message) = nullptr;
  /// Clears the device's current error message.
  void (*clear_error)() = nullptr;
  /// Writes `text` to the diagnostics trace.
  void (*trace)(const char* text) = nullptr;
};

/// The system's own error reporting (ReportError, ClearError of the runtime) and no trace:
/// what ProcessCounterInput() starts with.
CounterServices SystemCounterServices();

/// Largest report taken from the line, terminator included.
inline constexpr int kMaxReportBytes = 1000;
/// Silence after which a read gives up, in milliseconds.
inline constexpr int kReportTimeoutMs = 1000;
/// The character that ends a report.
inline constexpr char kReportTerminator = '\a';

/// The counter's port, receive buffer and remembered port id. Not thread-safe.
class CounterInput {
 public:
  explicit CounterInput(PortWaitFunction wait = WaitForPortOrDriverMessage);

  /// Replaces the services; the caller keeps the functions valid.
  void set_services(const CounterServices& services) { services_ = services; }

  /// Opens the port from `device`'s CommSettings (see SerialLink::Open) and forgets the
  /// remembered port id (0). Returns 0, or -1 with the error number set.
  int OpenPort(kestrum::DeviceRecord* device);

  /// Closes the port.
  void ClosePort() { link_.Close(); }

  /// Scans one report into `out` (see ApplyCounterReport). Returns 0 when the report was used or
  /// nothing came within the silence time-out (channels unchanged, fresh flags 0), or -1 when
  /// the report is malformed (its message reported and traced), the port is not open (EBADF) or
  /// the line hung up (error number kSerialHangUp; the port must be opened again by name).
  int Scan(const ChannelReadings& out);

  /// The port id announced by the last good report (0 after OpenPort).
  int remembered_port() const { return remembered_port_; }

  SerialLink& link() { return link_; }

 private:
  int ReadReport(char* text);
  void Trace(const char* text) const;
  int Fail(ReportCheck check) const;

  SerialLink link_;
  CounterServices services_;
  int remembered_port_ = 0;
};

/// The scanner's one counter input, created with SystemCounterServices() on first use.
CounterInput& ProcessCounterInput();

/// Scan handler of the analog-input kind over ProcessCounterInput(): `config` is not used;
/// `fresh` may be null. Returns as CounterInput::Scan.
int ScanCounterReport(const kestrum::DeviceConfigBlock* config, uint16_t count,
                      const kestrum::ChannelConfigRecord* records, uint32_t* status, float* values,
                      uint8_t* fresh);

}  // namespace parvex

#endif  // PARVEX_SCANNER_COUNTER_INPUT_H_
