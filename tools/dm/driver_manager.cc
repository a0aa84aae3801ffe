#include "tools/dm/driver_manager.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/error_number.h"
#include "platform/process.h"
#include "runtime/driver_link.h"
#include "runtime/system_areas.h"
#include "runtime/time_stamps.h"

namespace kestrum::dm {
namespace {

using Clock = std::chrono::steady_clock;

std::string Describe(const DeviceSpec& device) {
  return "scanner " + device.driver + " " + std::to_string(device.number);
}

// A boundary is due when the local time has reached it.
bool Reached(const TimeStamp& now, const TimeStamp& boundary) {
  return now.seconds > boundary.seconds ||
         (now.seconds == boundary.seconds && now.milliseconds >= boundary.milliseconds);
}

// Reads the boundary a scanner published; the record is shared, so it is copied once.
TimeStamp PublishedBoundary(const DeviceRecord& record) {
  TimeStamp boundary;
  std::memcpy(&boundary, &record.next_scan, sizeof(boundary));
  return boundary;
}

}  // namespace

DriverManager::DriverManager(SystemDescription system, Reporter report)
    : system_(std::move(system)), report_(std::move(report)) {}

DriverManager::~DriverManager() {
  StopScanners(2000);
  std::error_code ec;
  if (!program_folder_.empty()) std::filesystem::remove_all(program_folder_, ec);
}

void DriverManager::Report(const std::string& line) const {
  if (report_) report_(line);
}

int DriverManager::StartScanners(const std::string& program) {
  int result = 0;
  scanners_.reserve(system_.devices.size());
  for (const DeviceSpec& device : system_.devices) {
    std::string error;
    const std::string file =
        PrepareScannerProgram(device.driver, program, &program_folder_, &error);
    Scanner scanner;
    scanner.device = &device;
    scanner.next_unpublished = Clock::now();
    if (file.empty() ||
        SpawnProcess({file, std::to_string(device.number)}, nullptr, &scanner.pid) != 0) {
      Report(Describe(device) +
             " could not be started: " + (file.empty() ? error : std::strerror(GetErrorNumber())));
      result = -1;
      scanner.pid = 0;
      continue;
    }
    Report(Describe(device) + " started as process " + std::to_string(scanner.pid));
    // A scanner started again takes the place of the one that exited.
    std::erase_if(scanners_, [&](const Scanner& old) {
      return old.device->number == device.number && old.pid == 0;
    });
    scanners_.push_back(scanner);
  }
  return result;
}

DriverManager::Scanner* DriverManager::Find(uint16_t number) {
  for (Scanner& scanner : scanners_) {
    if (scanner.device->number == number) return &scanner;
  }
  return nullptr;
}

const DriverManager::Scanner* DriverManager::Find(uint16_t number) const {
  return const_cast<DriverManager*>(this)->Find(number);
}

void DriverManager::Reap(Scanner& scanner, int status) {
  Report(Describe(*scanner.device) + " (process " + std::to_string(scanner.pid) +
         ") exited with status " + std::to_string(status));
  scanner.exit_status = status;
  scanner.pid = 0;
}

bool DriverManager::PostScan(Scanner& scanner) {
  if (PostToProcess(static_cast<uint32_t>(scanner.pid), kMessageScan) != 0) {
    if (!scanner.post_failure_reported) {
      Report(Describe(*scanner.device) +
             " did not take a scan request: " + std::strerror(GetErrorNumber()));
      scanner.post_failure_reported = true;
    }
    return false;
  }
  scanner.post_failure_reported = false;
  ++scanner.scans_sent;
  return true;
}

void DriverManager::ScheduleScan(Scanner& scanner) {
  const DeviceRecord* record = FindDeviceRecord(scanner.device->driver, scanner.device->number);
  // Requests wait until the scanner has attached to its record: before that it may not listen.
  if (!record || record->scanner_pid != static_cast<uint32_t>(scanner.pid)) return;
  const uint32_t rate = record->config.comm.ScanRate;
  const TimeStamp boundary = PublishedBoundary(*record);
  if (boundary.seconds != 0 && !SameTimeStamp(boundary, scanner.served)) {
    // A new boundary: wait for it; the requests after it follow at ScanRate until the scanner
    // publishes another (a scanner publishes one after each device operation, not each scan).
    if (!Reached(LocalTimeNow(), boundary)) return;
    if (PostScan(scanner)) {
      scanner.served = boundary;
      scanner.next_unpublished = Clock::now() + std::chrono::milliseconds(rate);
    }
    return;
  }
  if (rate == 0 || Clock::now() < scanner.next_unpublished) return;
  if (PostScan(scanner)) scanner.next_unpublished = Clock::now() + std::chrono::milliseconds(rate);
}

void DriverManager::Tick() {
  for (Scanner& scanner : scanners_) {
    if (scanner.pid == 0) continue;
    int status = 0;
    if (WaitProcess(scanner.pid, 0, &status) == 0) {
      Reap(scanner, status);
      continue;
    }
    if (!scanner.stop_sent) ScheduleScan(scanner);
  }
}

int DriverManager::Send(uint16_t number, int32_t code) {
  Scanner* scanner = Find(number);
  if (!scanner || scanner->pid == 0) return FailWith(ESRCH);
  if (PostToProcess(static_cast<uint32_t>(scanner->pid), code) != 0) return -1;
  if (code == kMessageScan) ++scanner->scans_sent;
  if (code == kMessageStop) scanner->stop_sent = true;
  return 0;
}

void DriverManager::StopScanners(int wait_ms) {
  for (Scanner& scanner : scanners_) {
    if (scanner.pid != 0) PostToProcess(static_cast<uint32_t>(scanner.pid), kMessageStop);
    scanner.stop_sent = true;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  for (Scanner& scanner : scanners_) {
    if (scanner.pid == 0) continue;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    int status = 0;
    if (WaitProcess(scanner.pid, std::max<int>(0, static_cast<int>(left.count())), &status) != 0) {
      Report(Describe(*scanner.device) + " did not stop in time; ending it");
      EndProcess(scanner.pid);
      WaitProcess(scanner.pid, -1, &status);
    }
    Reap(scanner, status);
  }
}

ProcessId DriverManager::ScannerPid(uint16_t number) const {
  const Scanner* scanner = Find(number);
  return scanner ? scanner->pid : 0;
}

int DriverManager::ExitStatus(uint16_t number) const {
  const Scanner* scanner = Find(number);
  return scanner ? scanner->exit_status : -1;
}

int DriverManager::ScansSent(uint16_t number) const {
  const Scanner* scanner = Find(number);
  return scanner ? scanner->scans_sent : 0;
}

}  // namespace kestrum::dm
