// The carrier of a COM port, opened by port name for receive-only, raw, non-blocking use.
//
// Linux: a tty (or a pseudo-terminal) set up with termios. A port name P opens
// $KESTRUM_RUNDIR/dev/P when that exists (an alias, normally a symlink to a tty or a
// pseudo-terminal slave), else /dev/ttyS<n-1> when P is COMn, else /dev/P.
// Windows: the device \\.\P, set up with a DCB; reads never wait, since only bytes already
// waiting are read.
//
// The port is never written to. A hang-up (the device or the pseudo-terminal went away) is
// reported as a failure of its own, so that callers end their read instead of polling a dead
// line.
#ifndef PARVEX_PLATFORM_SERIAL_PORT_H_
#define PARVEX_PLATFORM_SERIAL_PORT_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#ifdef _WIN32
struct _DCB;
#else
struct termios;
#endif

namespace kestrum {

/// Parity codes as the device configuration stores them.
enum SerialParity : int {
  kSerialParityNone = 0,
  kSerialParityOdd = 1,
  kSerialParityEven = 2,
  kSerialParityMark = 3,
  kSerialParitySpace = 4,
};

/// Line settings of a port. Only the low byte of `parity` and `data_bits` is used, as the device
/// configuration defines them; the stop bits are always one.
struct SerialSettings {
  int baud_rate = 9600;
  int parity = kSerialParityNone;
  int data_bits = 8;
};

/// The error number a hang-up leaves: the line or pseudo-terminal is gone for good and the port
/// must be opened again by name. EIO, what a tty read gives after a hang-up. On Windows every
/// error that tells that a port went away (ERROR_NOT_READY under wine; ERROR_ACCESS_DENIED,
/// also 5, and others for a removed adapter) is reported as this number.
inline constexpr int kSerialHangUp = 5;

/// Longest port name the device configuration can hold.
inline constexpr std::size_t kMaxPortNameLength = 7;

/// Returns the path that port name `name` opens (see the file comment). On Linux, reads the
/// instance directory from the environment on every call.
std::string SerialPortPath(std::string_view name);

#ifdef _WIN32
/// Pure: starts from `current` (the port's settings as read) and writes into `out` the binary,
/// receive-only settings for `settings`. Returns 0, or -1 with error number EINVAL when the baud
/// rate (not positive), data bits (5-8) or parity (0-4) cannot be represented.
int ComputeSerialDcb(const _DCB& current, const SerialSettings& settings, _DCB* out);
#else
/// Pure: starts from `current` (the port's settings as read) and writes into `out` the raw,
/// receive-only settings for `settings`. Returns 0, or -1 with error number EINVAL when the baud
/// rate, data bits (5-8) or parity (0-4) cannot be represented.
int ComputeSerialTermios(const termios& current, const SerialSettings& settings, termios* out);

/// Pure: the input baud rate of `t` in bits per second, 0 when it is none of the line's rates.
int SerialBaudRate(const termios& t);
#endif

/// Pure: returns 0 when a port could be opened with `settings` (the baud rate is one of the
/// line's rates, on Windows any positive rate, which the port's driver may still refuse; data
/// bits 5-8, parity 0-4), or -1 with error number EINVAL, as Open would fail.
int CheckSerialSettings(const SerialSettings& settings);

/// A port opened for raw, non-blocking reading. Closing restores the settings found at open.
/// Not thread-safe; one owner at a time. Movable, not copyable.
class SerialPort {
 public:
  SerialPort();
  ~SerialPort();
  SerialPort(SerialPort&& other) noexcept;
  SerialPort& operator=(SerialPort&& other) noexcept;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  /// Opens port `name` (at most 7 characters) and applies `settings`, closing a port that was
  /// open. Returns 0, or -1 with the error number and last error set: ENAMETOOLONG for a long
  /// name, EINVAL for a name with a slash or a backslash or settings that cannot be
  /// represented, ENOENT for a port that does not exist, else the errno of open(), tcgetattr()
  /// or tcsetattr(), or the Windows error of CreateFile, GetCommState or SetCommState.
  /// On failure nothing stays open.
  int Open(std::string_view name, const SerialSettings& settings);

  /// Restores the settings found at open and closes the port. Safe to call when closed.
  void Close();

  /// True while a port is open.
  bool is_open() const { return port_ != kClosed; }

#ifndef _WIN32
  /// The open descriptor (-1 when closed), for polling together with other descriptors. The port
  /// keeps ownership.
  int fd() const { return port_; }
#endif

  /// True once a hang-up has been seen on this port; cleared by the next Open.
  bool hung_up() const { return hung_up_; }

  /// Returns the number of bytes waiting to be read (0 or more). Bytes received before a hang-up
  /// are still counted; when none are left after a hang-up, returns -1 with error number
  /// kSerialHangUp. Other failures return -1 with the errno of ioctl(). On Windows the count
  /// comes from ClearCommError, which also clears the line's error flags; a port whose device
  /// went away fails there, and that is the hang-up.
  int BytesWaiting();

  /// Reads at most `size` bytes that are already waiting, never blocking. Returns the count read
  /// (0 when nothing was waiting), or -1: kSerialHangUp on a hang-up (EIO, or nothing read from a
  /// line that polls as hung up), otherwise the errno of read().
  long Read(void* buffer, std::size_t size);

  /// Bits of the result of Poll.
  static constexpr int kPortReady = 1;   ///< bytes waiting, or the line hung up
  static constexpr int kOtherReady = 2;  ///< `other_fd` is readable

  /// Waits up to `timeout_ms` (negative: no limit) until the port has bytes (or hung up) or
  /// `other_fd` (ignored when negative) is readable. Returns a mask of kPortReady and kOtherReady,
  /// 0 on time-out, or -1 with the errno of poll(). EINTR counts as a time-out.
  /// On Windows a port opened without overlapped I/O cannot be waited for: the port is asked for
  /// its bytes every kPollStepMs, and `other_fd` is the value of a waitable handle (an event, as
  /// the wake descriptor gives it; handles fit in 32 bits), waited for between the asks.
  int Poll(int other_fd, int timeout_ms) const;

#ifdef _WIN32
  /// Milliseconds between two asks of Poll on Windows.
  static constexpr int kPollStepMs = 2;
#endif

 private:
#ifdef _WIN32
  using Settings = _DCB;
  using Native = void*;  // the port's HANDLE
  static constexpr Native kClosed = nullptr;
#else
  using Settings = termios;
  using Native = int;  // the port's descriptor
  static constexpr Native kClosed = -1;
#endif

  // Opens the device at `path` (the port name is checked) and applies `settings`; Open's
  // results.
  int OpenDevice(const std::string& path, const SerialSettings& settings);
  int Fail(int error);
#ifndef _WIN32
  bool HungUpNow() const;
#endif

  Native port_ = kClosed;
  // Deletes saved settings where their type is complete (each platform's half), so that the
  // code both share can move and destroy a port.
  struct SettingsDeleter {
    void operator()(Settings* settings) const;
  };

  bool hung_up_ = false;
  std::unique_ptr<Settings, SettingsDeleter> saved_;  // the settings found at open
};

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_SERIAL_PORT_H_
