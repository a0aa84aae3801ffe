// The running part of the driver-manager stand-in: starts each device's scanner, sends it scan
// requests at the boundaries it publishes, forwards commands, notices scanners that exit, and
// stops them all on shutdown.
//
// Scheduling: a scanner publishes the next boundary of its ScanRate in its DeviceRecord after
// each device operation (not after ordinary scans). The stand-in sends 300 when the local time
// reaches a boundary it has not served yet, and then every ScanRate milliseconds until the
// scanner publishes another. While a scanner has published no boundary (seconds 0), it sends
// 300 every ScanRate milliseconds. Never, when ScanRate is 0. A post that fails (a scanner not
// listening yet) is tried again on the next pass.
//
// Not thread-safe: one thread drives a DriverManager.
#ifndef PARVEX_TOOLS_DM_DRIVER_MANAGER_H_
#define PARVEX_TOOLS_DM_DRIVER_MANAGER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "records/time_stamp.h"
#include "tools/dm/scanner_program.h"
#include "tools/dm/system_description.h"

namespace kestrum::dm {

/// Receives one line for everything the driver manager notices (a scanner started or exited,
/// a request that could not be posted).
using Reporter = std::function<void(const std::string& line)>;

class DriverManager {
 public:
  /// Takes the system the instance was built from; `report` may be empty.
  DriverManager(SystemDescription system, Reporter report);
  /// Stops every scanner still running (StopScanners with a short wait).
  ~DriverManager();
  DriverManager(const DriverManager&) = delete;
  DriverManager& operator=(const DriverManager&) = delete;

  /// Starts the scanner of every device from `program`, under the file name of the device's
  /// driver (PrepareScannerProgram; on Windows in a folder of this driver manager's own,
  /// removed with it), with the device number as its one argument. Returns 0
  /// when all started, else -1 (each failure is reported). A device whose scanner exited is
  /// started again, and the new process takes the old one's place.
  int StartScanners(const std::string& program);

  /// One pass: reaps scanners that exited (reporting them) and sends 300 to every scanner
  /// whose boundary has come.
  void Tick();

  /// Sends `code` to the scanner of device `number`. Returns 0, or -1 with the error number
  /// set (ESRCH when that device has no running scanner).
  int Send(uint16_t number, int32_t code);

  /// Sends 31 to every running scanner, waits up to `wait_ms` for all of them to exit, then
  /// ends the rest (EndProcess). Every exit is reported.
  void StopScanners(int wait_ms);

  /// The process id of device `number`'s scanner while it runs, else 0.
  ProcessId ScannerPid(uint16_t number) const;

  /// The exit status of device `number`'s scanner once it exited (kEndedProcessStatus when ended by
  /// StopScanners),
  /// or -1 while it runs or when it never started.
  int ExitStatus(uint16_t number) const;

  /// Number of scan requests (300) delivered to device `number`'s scanner.
  int ScansSent(uint16_t number) const;

 private:
  struct Scanner {
    const DeviceSpec* device = nullptr;
    ProcessId pid = 0;
    int exit_status = -1;
    int scans_sent = 0;
    TimeStamp served = {};  // the last published boundary that got its 300
    std::chrono::steady_clock::time_point next_unpublished;  // the next request by ScanRate
    bool post_failure_reported = false;
    bool stop_sent = false;  // no more scan requests: the scanner is on its way out
  };

  Scanner* Find(uint16_t number);
  const Scanner* Find(uint16_t number) const;
  void Reap(Scanner& scanner, int status);
  void ScheduleScan(Scanner& scanner);
  bool PostScan(Scanner& scanner);
  void Report(const std::string& line) const;

  SystemDescription system_;
  Reporter report_;
  std::string program_folder_;  // Windows: the scanners' program names, once made
  std::vector<Scanner> scanners_;
};

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_DRIVER_MANAGER_H_
