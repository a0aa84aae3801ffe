// A pseudo-terminal that stands in for a serial device: whatever is written to its master side
// arrives on the slave side, which a SerialPort opens through a port alias in the instance's
// dev/ folder. Used by the counter simulator and by tests.
//
// On Windows (under wine only, for tests) the pair is a Linux pseudo-terminal that
// scripts/serial-bridge.py holds for this program (scripts/wine-run.sh starts it); a port alias
// is a link in the wine prefix's dosdevices folder, opened as \\.\NAME. Use names COM33 and
// above: wine points the lower ones back at /dev/ttyS* when it starts. Without a bridge every
// call fails with ENODEV.
#ifndef PARVEX_PLATFORM_PSEUDO_TERMINAL_H_
#define PARVEX_PLATFORM_PSEUDO_TERMINAL_H_

#include <string>
#include <string_view>

namespace kestrum {

/// Returns the path of port alias `port_name` in the current instance: $KESTRUM_RUNDIR/dev/NAME
/// (on Windows the device path \\.\NAME).
std::string PortAliasPath(std::string_view port_name);

/// Points port alias `port_name` at `target` atomically (a temporary symlink renamed into place),
/// creating the dev/ folder when needed. Returns 0, or -1 with the errno of the failed call.
int PublishPortAlias(std::string_view port_name, const std::string& target);

/// Removes port alias `port_name`. Returns 0 (also when it did not exist), or -1 with errno.
int RemovePortAlias(std::string_view port_name);

/// The line settings of a pair's slave side, as a port that opened it left them. A Linux
/// pseudo-terminal always keeps eight data bits and no parity, so those are not among them.
struct PtyLineSettings {
  int baud_rate = 0;          ///< bits per second, 0 when not a standard rate
  int stop_bits = 0;          ///< 1 or 2
  bool flow_control = false;  ///< RTS/CTS or XON/XOFF flow control is on
  bool canonical = false;     ///< the slave assembles lines (ICANON)
  bool operator==(const PtyLineSettings&) const = default;
};

/// The master side of a pseudo-terminal pair. Closing the master hangs up the slave side.
/// Not thread-safe. Movable, not copyable.
class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(PseudoTerminal&& other) noexcept;
  PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  /// Creates a new pair, hanging up any pair this object held. With `raw` the slave starts in raw
  /// mode (no echo, no line assembly); otherwise it keeps the kernel's defaults (canonical, echo).
  /// The master is non-blocking. Returns 0, or -1 with the errno of the failed call.
  int Create(bool raw);

  /// True while a pair is held.
  bool is_open() const { return master_ >= 0; }

  /// The master descriptor (-1 when none), owned by this object. On Windows, the bridge's number
  /// for the pair, which cannot be polled.
  int master_fd() const { return master_; }

  /// The slave's path (/dev/pts/N, on Windows too: a Linux path, the target of an alias),
  /// empty when none.
  const std::string& slave_path() const { return slave_path_; }

  /// Writes all of `bytes` to the master, waiting at most `timeout_ms` in total for room.
  /// Returns 0, or -1 with errno (ETIMEDOUT when the slave side did not take the bytes in time).
  int Write(std::string_view bytes, int timeout_ms = 2000);

  /// Reads the slave side's line settings into `out`. Returns 0, or -1 with errno (EBADF when
  /// no pair is held).
  int ReadLineSettings(PtyLineSettings* out) const;

  /// Reads and drops whatever the slave side sent back (echo), so the master never fills up.
  void Drain();

  /// Closes the master: the slave side sees a hang-up and /dev/pts/N goes away.
  void HangUp();

 private:
  int master_ = -1;
  std::string slave_path_;
};

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_PSEUDO_TERMINAL_H_
