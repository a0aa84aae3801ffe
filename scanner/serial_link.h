// The receive-only serial link to the counter: opens the port from the device's settings and
// reads bytes up to a terminator through a 100-byte receive buffer, without ever blocking in the
// operating system. While it waits for bytes it keeps the driver-manager link's gate open, so
// requests are dispatched meanwhile. The time-out counts polling steps of 2 ms; the link sleeps
// through as many steps as are left in one wait and then charges the steps that passed, so a
// waiting scanner does not wake 500 times a second.
#ifndef PARVEX_SCANNER_SERIAL_LINK_H_
#define PARVEX_SCANNER_SERIAL_LINK_H_

#include "platform/serial_port.h"
#include "records/device_record.h"

namespace parvex {

/// The wait for bytes: waits up to `ms` milliseconds, returning early when a driver-manager
/// message was dispatched or `port` has bytes (or hung up). Returns the milliseconds that
/// passed, rounded up (0 when it returned at once).
using PortWaitFunction = int (*)(const kestrum::SerialPort& port, int ms);

/// The default wait: opens the driver-manager link's gate and polls the port together with the
/// link's wake-up descriptor (the port alone when the link does not run).
int WaitForPortOrDriverMessage(const kestrum::SerialPort& port, int ms);

/// Polling steps a wait of `elapsed_ms` used up: every started step counts, and a wait that
/// returned at once still counts one, so a stream of requests cannot hold off the time-out.
int StepsUsed(int elapsed_ms);

/// Size of the receive buffer.
inline constexpr int kReceiveBufferSize = 100;
/// Milliseconds of one polling step.
inline constexpr int kPollStepMs = 2;

/// The port and its receive buffer. One per process in the scanner; tests make their own.
/// Not thread-safe: the scanner's main thread owns it.
class SerialLink {
 public:
  /// `wait` is the wait for bytes (see PortWaitFunction); the caller keeps it valid.
  explicit SerialLink(PortWaitFunction wait = WaitForPortOrDriverMessage);

  /// Opens the port named in `device`'s CommSettings, closing the open one first. An empty
  /// PortName is first replaced in the record itself by "COM<device number>" with 9600 baud,
  /// no parity and 8 data bits. Returns 0, or -1 with the error number and last error set
  /// (ENAMETOOLONG when the default name does not fit, else as SerialPort::Open).
  /// The receive buffer keeps unread bytes across a reopen.
  int Open(kestrum::DeviceRecord* device);

  /// Closes the port (restoring its settings); safe when closed.
  void Close() { port_.Close(); }

  bool is_open() const { return port_.is_open(); }

  /// True when the last read ended because the line hung up; cleared by Open.
  bool hung_up() const { return port_.hung_up(); }

  /// Bytes waiting in the port (not counting the receive buffer), or -1 with the error number
  /// set (kSerialHangUp once the line hung up and nothing is left).
  int BytesWaiting() { return port_.BytesWaiting(); }

  /// Copies bytes into `dest` until `terminator` (included) or `capacity` bytes. First zeroes
  /// `capacity` bytes of `dest`. A NUL in a chunk hides a terminator after it in that chunk.
  /// Bytes after the terminator stay buffered for the next call. Every refill of the empty
  /// receive buffer waits up to `timeout_ms`, counted in 2-ms polling steps (3 ms is two steps,
  /// a wait cut short by a request is charged the steps it began); a refill that
  /// times out, fails or meets a hang-up ends the read. Returns the bytes placed in `dest`.
  int ReadUntil(char* dest, char terminator, int capacity, int timeout_ms);

  /// Bytes in the receive buffer not yet consumed.
  int buffered() const { return fill_ - position_; }

 private:
  int WaitForBytes(int timeout_ms);
  int Refill(int timeout_ms);

  PortWaitFunction wait_;
  kestrum::SerialPort port_;
  char buffer_[kReceiveBufferSize] = {};
  int fill_ = 0;
  int position_ = 0;
};

}  // namespace parvex

#endif  // PARVEX_SCANNER_SERIAL_LINK_H_
