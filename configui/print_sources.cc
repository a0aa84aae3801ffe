// The print-out's sources in the real module: the machine's own name, the device
// configuration reader on the device's folder and the channel loader on the current
// directory.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "configui/print_out.h"

namespace parvex {
namespace {

std::string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

// The current configuration folder, parent of every device folder: $KSM_CURRENT_CONFIG, else
// CURRENT_CONFIG under the installation root.
std::string CurrentConfigFolder() {
  const char* location = std::getenv("KSM_CURRENT_CONFIG");
  return location && *location ? location : "/opt/Kestrum/CURRENT_CONFIG";
}

int LoadDevice(const char* folder_name, StoredDeviceConfig* config) {
  std::string folder = CurrentConfigFolder() + "/" + folder_name;
  return kestrum::LoadDeviceConfig(folder.c_str(), config->block, sizeof config->block, nullptr, 0,
                                   nullptr, &config->auto_enable, &config->save_outputs,
                                   &config->save_by_tag, &config->save_rate);
}

int LoadChannels(int kind, ParvexChannelRecord* records, int first, int count) {
  std::vector<kestrum::ChannelConfigRecord> loaded(count);
  if (kestrum::ReadChannelConfig(kind, loaded.data(), first, count) != 0) return -1;
  std::memcpy(records, loaded.data(), loaded.size() * sizeof loaded[0]);
  return 0;
}

}  // namespace

const PrintSources& DefaultPrintSources() {
  static const PrintSources sources{&LoadChannels, &LoadDevice, &ComputerName};
  return sources;
}

}  // namespace parvex
