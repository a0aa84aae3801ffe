// The print-out's sources in the real module: the configuration loaders and the runtime's
// test for the local machine.
#include <cstring>
#include <vector>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "configui/print_out.h"
#include "runtime/install_roots.h"

namespace parvex {
namespace {

bool IsLocalServer(const std::string& server) { return kestrum::IsLocalHost(server.c_str()); }

int LoadDevice(const char* folder_name, StoredDeviceConfig* config) {
  const char* current = kestrum::GetFolder("KSM_CURRENT_CONFIG");
  if (current == nullptr) return -1;
  std::string folder = std::string(current) + "/" + folder_name;
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
  static const PrintSources sources{&LoadChannels, &LoadDevice, &IsLocalServer};
  return sources;
}

}  // namespace parvex
