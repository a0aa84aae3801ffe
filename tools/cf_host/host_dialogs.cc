#include "tools/cf_host/host_dialogs.h"

#include <cstring>
#include <iostream>

#include "records/channel_config.h"
#include "records/text_case.h"

namespace parvex {
namespace {

int Stored(int result, const std::string& error, const char* what) {
  if (result != 0) {
    std::cerr << "parvex_cf_host: " << error << "\n";
    return 1;
  }
  std::cout << what << " stored\n";
  return 0;
}

int KindIndex(const std::string& kind) {
  for (int i = 0; i < PARVEX_CHANNEL_BLOCKS; ++i) {
    if (kestrum::CompareIgnoringCase(kind.c_str(), kChannelFileNames[i]) == 0) return i;
  }
  return -1;
}

}  // namespace

bool LoadDevice(const HostOptions& options, DeviceFolder* folder, ParvexDeviceEntry* entry) {
  std::string error;
  if (ReadDeviceFolder(options.folder, folder, &error) != 0) {
    std::cerr << "parvex_cf_host: " << error << "\n";
    return false;
  }
  *entry = MakeDeviceEntry(*folder, options.device_number, options.device_name);
  return true;
}

int RunAdvanced(const ModuleEntryPoints& module, const HostOptions& options,
                const DialogScript& script) {
  DeviceFolder folder;
  ParvexDeviceEntry entry;
  if (!LoadDevice(options, &folder, &entry)) return 1;
  if (options.default_port) module.set_default_port(*options.default_port);
  int32_t changed = 0;
  script(options, [&] { module.advanced(nullptr, &entry, &changed); });
  if (changed != 1) {
    std::cout << "port settings unchanged\n";
    return 0;
  }
  std::memcpy(folder.block.data(), entry.Config.Bytes, folder.block.size());
  std::string error;
  return Stored(WritePortSettings(folder, &error), error, "port settings");
}

int RunChannel(const ModuleEntryPoints& module, const HostOptions& options,
               const DialogScript& script, const std::string& kind, int number) {
  DeviceFolder folder;
  ParvexDeviceEntry entry;
  if (!LoadDevice(options, &folder, &entry)) return 1;
  int index = KindIndex(kind);
  // The dialog edits the bytes that pick an analogue input's value from the counter's report;
  // in the records of other kinds the same bytes mean something else.
  if (index >= 0 && index != kestrum::kKindAnalogInput) {
    std::cerr << "parvex_cf_host: the channel dialog is for analogue inputs (ai); " << kind
              << " channels have no report value to choose\n";
    return 1;
  }
  if (index < 0 || number < 1 || static_cast<size_t>(number) > folder.channels[index].size()) {
    std::cerr << "parvex_cf_host: no channel " << kind << " " << number << " in " << options.folder
              << "\n";
    return 1;
  }
  int32_t changed = 0;
  script(options,
         [&] { module.channel(nullptr, 0, 0, 0, &folder.channels[index][number - 1], &changed); });
  if (changed != 1) {
    std::cout << "channel unchanged\n";
    return 0;
  }
  std::string error;
  return Stored(WriteChannelRecord(folder, index, number - 1, &error), error, "channel");
}

}  // namespace parvex
