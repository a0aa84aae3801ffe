#include "scanner/scanner_process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/error_number.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/own_process.h"
#include "records/error_entries.h"
#include "runtime/driver_link.h"
#include "runtime/error_reporting.h"
#include "runtime/install_roots.h"
#include "runtime/process_identity.h"
#include "runtime/status_channels.h"
#include "runtime/system_areas.h"
#include "runtime/system_event.h"
#include "runtime/time_zone.h"
#include "scanner/counter_input.h"
#include "scanner/diagnostics.h"
#include "scanner/scanner.h"

namespace parvex {
namespace {

// The running scanner, for the exit path taken from inside a device operation.
Scanner* g_scanner = nullptr;
kestrum::DeviceRecord* g_device = nullptr;

// Ends the process with the error number left by the exit path.
[[noreturn]] void ExitProcess(int error) {
  if (g_scanner != nullptr) {
    g_scanner->Shut(error);
  } else {
    if (g_device != nullptr) g_device->scanner_attached = 0;
    kestrum::SetErrorNumber(error);
  }
  const int status = kestrum::GetErrorNumber();
  kestrum::CloseStandardInput();
  kestrum::StopDriverLink();
  kestrum::StopStatusChannels();
  ShutTrace();
  std::exit(status);
}

[[noreturn]] void FailStart(const char* format) {
  const int error = kestrum::GetErrorNumber();
  kestrum::ReportError(format, ShownErrorCode(error));
  ExitProcess(error);
}

// Changes into the configuration folder, then into the device's sub-folder. A folder name
// that would lead out of the configuration folder (and so make the saved files land outside
// theirs) is refused like a folder that cannot be reached.
void EnterDeviceFolder(const kestrum::DeviceRecord& device) {
  const char* folder = kestrum::GetFolder("KSM_CURRENT_CONFIG");
  if (folder == nullptr) FailStart(kGetConfigDirFailed);
  char name[sizeof device.folder_name + 1] = {};
  std::memcpy(name, device.folder_name, sizeof device.folder_name);
  if (!UsableAsDeviceFolderName(name)) {
    kestrum::FailWith(EACCES);
    FailStart(kAccessConfigDirFailed);
  }
  if (kestrum::ChangeDirectory(folder) != 0 || kestrum::ChangeDirectory(name) != 0) {
    FailStart(kAccessConfigDirFailed);
  }
}

// Tells the driver manager's operators that requests cannot reach this scanner: its mailslot
// name was taken (`error`), so it never scans on request and only a kill ends it.
void ReportDeafLink(const kestrum::DeviceRecord& device, int error) {
  kestrum::ReportError(kOpenMailslotFailed, ShownErrorCode(error));
  char text[160];
  std::snprintf(
      text, sizeof text,
      "%.*s: the mailslot %s cannot be opened (%s, %d): the scanner runs without "
      "requests",
      static_cast<int>(strnlen(device.device_name, sizeof device.device_name)), device.device_name,
      kestrum::ProcessMailslotName(kestrum::CurrentProcessId(), kestrum::CurrentPlatformId())
          .c_str(),
      std::strerror(error), error);
  kestrum::ReportSystemEvent(".", kestrum::kEventTypeError, text);
  kestrum::SetErrorNumber(error);
}

}  // namespace

bool DriverNameFromProgram(std::string_view program, std::string* driver) {
  const std::size_t underscore = program.rfind('_');
  if (underscore == std::string_view::npos) return false;
  std::string_view head = program.substr(0, underscore);
  const std::size_t slash = head.find_last_of("/\\");
  if (slash != std::string_view::npos) head.remove_prefix(slash + 1);
  driver->assign(head);
  return true;
}

uint16_t DeviceNumberFromArgument(const char* argument) {
  return static_cast<uint16_t>(std::atoi(argument) & 0xFFFF);
}

bool UsableAsDeviceFolderName(std::string_view name) {
  // The separators of both platforms and the drive mark, so that a device record names the
  // same folder wherever the scanner runs: on Windows "\\srv\x", "C:\x" and "C:x" lead
  // elsewhere.
  return name.find_first_of("/\\:") == std::string_view::npos &&
         name.find("..") == std::string_view::npos;
}

void RaiseScannerPriority() { kestrum::RaiseProcessPriority(); }

int RunScanner(const std::string& driver, uint16_t number, int link_error) {
  kestrum::DeviceRecord* device = kestrum::FindDeviceRecord(driver, number);
  if (device == nullptr) {
    kestrum::StopDriverLink();
    return 0;
  }
  g_device = device;
  kestrum::SystemArea devices;
  kestrum::OpenDeviceArea(&devices);
  // Registered before the configuration folder is looked for, so that its failures are seen.
  char device_name[sizeof device->device_name + 1] = {};
  std::memcpy(device_name, device->device_name, sizeof device->device_name);
  kestrum::RegisterErrorSource(kestrum::kErrorSourceDevice, device_name);

  char folder[sizeof device->folder_name + 1] = {};
  std::memcpy(folder, device->folder_name, sizeof device->folder_name);
  SetUpTrace(folder);
  // The counter input reports through the system's error reporting and traces to the trace.
  SystemCounterServices counter_services;
  CounterInput counter_input;
  counter_input.set_services(&counter_services);
  CounterDevice counter_device(&counter_input);
  EnterDeviceFolder(*device);

  SystemScannerHooks hooks;
  Scanner scanner(device, devices.area, &ProcessRequests(), hooks, counter_device);
  scanner.set_fatal_exit(ExitProcess);
  g_scanner = &scanner;
  scanner.StartExtraStatusChannels();
  device->scanner_attached = 1;
  device->scanner_pid = kestrum::CurrentProcessId();
  kestrum::SetProcessTimeZone();

  if (scanner.StartUp() != 0) ExitProcess(kestrum::GetErrorNumber());
  device->scanner_ready = 1;
  scanner.InitialiseDevice(0);
  // Initialising the device clears the error message, so the link's failure comes after it.
  if (link_error != 0) ReportDeafLink(*device, link_error);
  scanner.RunMainLoop();
  scanner.SaveOutputValues();
  ExitProcess(0);
}

}  // namespace parvex
