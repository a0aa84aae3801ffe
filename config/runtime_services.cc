#include "config/runtime_services.h"

#include <strings.h>

#include <atomic>
#include <cstdlib>

#include "platform/event_log.h"
#include "platform/registry.h"

namespace kestrum {
namespace {

constexpr const char* kProductName = "Kestrum";
constexpr const char* kFamilyKey = "SOFTWARE\\Veltrane\\Kestrum";

bool IsRemote(const std::string& folder) {
  bool slashes = folder.size() > 2 && (folder[0] == '/' || folder[0] == '\\') &&
                 (folder[1] == '/' || folder[1] == '\\');
  return slashes && folder.find_first_of("/\\", 2) != std::string::npos;
}

}  // namespace

bool ConfigUseXml(const std::string& folder) {
  if (IsRemote(folder)) return false;
  RegKey key = nullptr;
  if (RegOpenKey(RegHiveKey(RegHive::kLocalMachine), kFamilyKey, kKeyQueryValue, &key) != 0) {
    return true;
  }
  std::string value;
  int rc = RegGetString(key, "ReadXML", &value);
  RegCloseKey(key);
  if (rc != 0) return true;
  if (strcasecmp(value.c_str(), "OFF") == 0) return false;
  return true;
}

std::string ConfigProgramFolder() {
  const char* bin = std::getenv("KSM_BIN");
  if (bin != nullptr && *bin != '\0') return bin;
  return std::string("/opt/") + kProductName + "/BIN";
}

namespace {
std::atomic<bool> g_error_events{true};
}  // namespace

void ConfigReportError(const std::string& text) {
  if (g_error_events) ReportToSyslog(kProductName, kEventTypeError, text);
}

void SetConfigErrorEvents(bool on) { g_error_events = on; }

}  // namespace kestrum
