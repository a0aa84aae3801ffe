// A minimal scanner for the driver-manager tests. Started as "<driver>_sc NUMBER", it finds
// its device record by the driver name in its own file name, publishes its process id, counts
// scan requests in last_scan_ms, keeps the last other request code in the first four bytes after
// CommSettings, publishes its next boundary after each scan (unless FAKE_SCANNER_NO_BOUNDARY is
// set; only after the first one with FAKE_SCANNER_BOUNDARY_ONCE, as the real scanner does after
// its start-up) and exits with status 0 on 31. On Windows it takes the object-name prefix of
// the test's instance from kTestObjectPrefixVariable.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/instance_paths.h"
#include "platform/own_process.h"
#include "runtime/area_lock.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "runtime/time_stamps.h"
#include "tools/dm/instance.h"

namespace {

std::atomic<int> g_scans{0};
std::atomic<int> g_last_other{0};
std::atomic<bool> g_stop{false};

void OnMessage(int32_t code) {
  if (code == kestrum::kMessageScan) {
    ++g_scans;
  } else if (code == kestrum::kMessageStop) {
    g_stop = true;
  } else {
    g_last_other = code;
  }
}

std::string DriverFromProgramName(const char* argv0) {
  std::string name = argv0;
  name = name.substr(name.find_last_of("/\\") + 1);
  return name.substr(0, name.find_last_of('_'));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (const char* prefix = std::getenv(kestrum::dm::kTestObjectPrefixVariable)) {
    kestrum::SetObjectNamePrefixForTests(prefix);
  }
  kestrum::StartDriverLink(OnMessage);
  kestrum::DeviceRecord* record = kestrum::FindDeviceRecord(
      DriverFromProgramName(argv[0]), static_cast<uint16_t>(std::atoi(argv[1])));
  if (!record) return 3;
  kestrum::SystemArea devices;
  if (kestrum::OpenDeviceArea(&devices) != 0) return 4;
  const bool publish = std::getenv("FAKE_SCANNER_NO_BOUNDARY") == nullptr;
  const bool once = std::getenv("FAKE_SCANNER_BOUNDARY_ONCE") != nullptr;

  {
    kestrum::AreaLock lock(devices.area);
    record->scanner_pid = kestrum::OwnProcessId();
    record->scanner_attached = 1;
    record->scanner_ready = 1;
  }

  int served = 0;
  while (!g_stop) {
    kestrum::HoldDriverMessages(1);
    const int scans = g_scans.load();
    kestrum::HoldDriverMessages(0);
    if (scans != served) {
      served = scans;
      kestrum::AreaLock lock(devices.area);
      record->last_scan_ms = static_cast<uint32_t>(served);
      const int32_t other = g_last_other.load();
      std::memcpy(record->config.unused, &other, sizeof(other));
      if (publish && (!once || served == 1)) {
        kestrum::TimeStamp next = kestrum::LocalTimeNow();
        kestrum::AddMs(&next, record->config.comm.ScanRate);
        record->next_scan = next;
      }
      continue;
    }
    const int32_t other = g_last_other.load();
    std::memcpy(record->config.unused, &other, sizeof(other));
    kestrum::WaitTicks(10);
  }
  {
    kestrum::AreaLock lock(devices.area);
    record->scanner_attached = 0;
  }
  kestrum::StopDriverLink();
  return 0;
}
