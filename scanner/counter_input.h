// The counter input: the scan handler of the analog-input kind. At each scan it takes the next
// report from the serial link, checks it, and writes the readings that the enabled channels
// select into the scanner's working arrays. It also remembers the port id each report's header
// announces, which applies to the data line of the next report.
//
// Errors and the received text reach the rest of the scanner through the CounterServices object
// handed in at start-up (error reporting and tracing live in other modules). CounterDevice makes
// one input the scanner's device handlers.
#ifndef PARVEX_SCANNER_COUNTER_INPUT_H_
#define PARVEX_SCANNER_COUNTER_INPUT_H_

#include <cstdint>

#include "records/channel_config.h"
#include "records/device_record.h"
#include "scanner/counter_report.h"
#include "scanner/device_handlers.h"
#include "scanner/serial_link.h"

namespace parvex {

/// What the counter input calls outside itself.
class CounterServices {
 public:
  virtual ~CounterServices() = default;
  /// Sets `message` as the device's current error message.
  virtual void ReportError(const char* message) = 0;
  /// Clears the device's current error message.
  virtual void ClearError() = 0;
  /// Writes `text` to the diagnostics trace.
  virtual void Trace(const char* text) = 0;
};

/// The process's services: the runtime's ReportError and ClearError, and the process's trace.
class SystemCounterServices final : public CounterServices {
 public:
  /// Reports `message` through the runtime's error reporting.
  void ReportError(const char* message) override;
  /// Clears the runtime's current error message.
  void ClearError() override;
  /// Writes `text` to the process's trace (nothing before SetUpTrace).
  void Trace(const char* text) override;
};

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

  /// Replaces the services (null: report and trace nothing); the caller keeps them alive.
  void set_services(CounterServices* services) { services_ = services; }

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
  CounterServices* services_ = nullptr;
  int remembered_port_ = 0;
};

/// The particle counter's device handlers: the analog-input kind is scanned from `input`
/// (without fresh flags), the port is `input`'s, every other handler does nothing.
class CounterDevice final : public DeviceHandlers {
 public:
  /// The caller keeps `input` alive.
  explicit CounterDevice(CounterInput* input) : input_(input) {}
  /// Returns as CounterInput::Scan for the analog-input kind, 0 for the others.
  int Scan(int kind, const kestrum::DeviceConfigBlock* config, uint16_t count,
           const kestrum::ChannelConfigRecord* records, uint32_t* status, float* readings) override;
  /// Returns as CounterInput::OpenPort.
  int OpenPort(kestrum::DeviceRecord* device) override;
  /// Closes the input's port.
  void ClosePort() override;

 private:
  CounterInput* input_;
};

}  // namespace parvex

#endif  // PARVEX_SCANNER_COUNTER_INPUT_H_
