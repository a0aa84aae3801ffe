// A whole system for end-to-end tests: an instance built by the driver-manager stand-in's
// library, a device folder compiled from XML, a counter on a pseudo-terminal (RigCounter), and
// the real scanner started by the stand-in through a link named for its driver. A pump thread
// drives the stand-in and sends a scan request at a steady period, so the tests do not depend on
// how the stand-in schedules its own requests.
#ifndef PARVEX_TESTS_SCANNER_E2E_SCANNER_RIG_H_
#define PARVEX_TESTS_SCANNER_E2E_SCANNER_RIG_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "rig_counter.h"
#include "test_util.h"
#include "tools/dm/driver_manager.h"

namespace parvex_test {

/// The XML fields of one channel; Analog-input defaults that pass the loader's checks, with
/// every alarm, warning, event and option off.
class ChannelXml {
 public:
  ChannelXml(int id, const std::string& tag, const std::string& field, int port = 0,
             const std::string& value = "0.3-0.5");
  ChannelXml& Set(const std::string& name, const std::string& value);
  ChannelXml& HighAlarm(double limit, double warning, int priority, int delay);
  std::string Text() const;

 private:
  int id_;
  std::vector<std::pair<std::string, std::string>> fields_;
};

/// What a rig is made of.
struct RigOptions {
  std::vector<ChannelXml> channels;
  int table_channels = 8;
  int scan_rate_ms = 500;
  bool save_outputs = false;
  int subscriber_entries = 2;
  /// The counter's port. Under wine a program's COM1 to COM32 lead to /dev/ttyS*, so the rig
  /// names a port above them (docs/windows.md lists which test uses which).
  std::string port = "COM54";
};

/// The registry the real scanner reads. On Windows it reads the real HKEY_LOCAL_MACHINE, not
/// the key ScopedInstance maps for this process: the guard maps the real one for this process
/// and removes the product's key when it is made and when it ends (each rig runs in a process of
/// its own, one at a time, in a throwaway wine prefix). On Linux it does nothing.
class RealLocalMachine {
 public:
  RealLocalMachine();
  ~RealLocalMachine();
  RealLocalMachine(const RealLocalMachine&) = delete;
  RealLocalMachine& operator=(const RealLocalMachine&) = delete;
};

class ScannerRig {
 public:
  explicit ScannerRig(const RigOptions& options);
  ~ScannerRig();
  ScannerRig(const ScannerRig&) = delete;
  ScannerRig& operator=(const ScannerRig&) = delete;

  /// Empty when the rig was built; else what went wrong.
  const std::string& error() const { return error_; }

  /// Starts a counter on the rig's port with the simulator's options `args` (ParseCounterArgs)
  /// added to the defaults, in place of any counter before it. Returns true once its port alias
  /// exists.
  bool StartCounter(const std::vector<std::string>& args = {});
  /// Sends one control command line to the counter.
  bool CounterCommand(const std::string& line);
  /// Ends the counter at once, as a killed simulator ends (RigCounter::Die).
  void KillCounter();

  /// Starts the scanner of device 1 through the stand-in. Returns true once it is ready.
  bool StartScanner();
  /// Starts the scanner of device 1 through the stand-in without waiting for it. Returns true
  /// when the process was started.
  bool LaunchScanner();
  kestrum::ProcessId scanner_pid();

  /// Posts scan requests every `period_ms` until StopPump.
  void StartPump(int period_ms = 150);
  void StopPump();

  /// Drives the stand-in once and returns the scan requests it delivered so far.
  int ScansSent();

  /// Sends `code` to the scanner through the stand-in. Returns 0 or -1.
  int Post(int32_t code);

  /// Enters this process as a subscriber by message in the first long subscriber entry of
  /// `area`. Returns false when the area has no long entries.
  static bool SubscribeByMessage(void* area);

  /// Waits (polling every 5 ms) up to `timeout_ms` for `done`.
  static bool WaitFor(const std::function<bool()>& done, int timeout_ms);

  /// Waits up to `timeout_ms` for the scanner to exit. Returns its status, or -1.
  int WaitExit(int timeout_ms);

  /// Re-writes the channel XML with `channels`, compiles the folder and makes sure the
  /// channel file's time stamp moved. Returns true on success.
  bool RewriteChannels(const std::vector<ChannelXml>& channels);

  kestrum::DeviceRecord* device() const;
  /// The analog-input channel table.
  kestrum::ChannelTableView table() const;
  void* table_area() const;
  /// The device's current error message in "dm_errors" ("" when none or not registered).
  std::string error_message() const;

  std::string device_folder() const;
  std::string saved_values_folder() const;
  const ScopedInstance& instance() const { return instance_; }

 private:
  bool WriteFolder(const std::vector<ChannelXml>& channels);

  ScopedInstance instance_;
  RealLocalMachine local_machine_;
  RigOptions options_;
  std::string error_;
  std::unique_ptr<RigCounter> counter_;
  std::mutex dm_mutex_;  // the stand-in is driven by one thread at a time
  std::unique_ptr<kestrum::dm::DriverManager> dm_;
  std::atomic<bool> pumping_{false};
  std::thread pump_;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_E2E_SCANNER_RIG_H_
