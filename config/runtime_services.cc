#include "config/runtime_services.h"

#include <atomic>

#include "platform/event_log.h"
#include "runtime/install_roots.h"
#include "runtime/registry_access.h"
#include "runtime/system_event.h"

namespace kestrum {
namespace {
std::atomic<bool> g_error_events{true};
}  // namespace

bool ConfigUseXml(const std::string& folder) { return UseXmlConfiguration(folder.c_str()); }

std::string ConfigProgramFolder() {
  const char* folder = GetFolder("KSM_BIN");
  return folder != nullptr ? folder : "";
}

void ConfigReportError(const std::string& text) {
  if (g_error_events) ReportSystemEvent(".", kEventTypeError, text.c_str());
}

void SetConfigErrorEvents(bool on) { g_error_events = on; }

}  // namespace kestrum
