// The dialog entry points of parvex_cf.dll. Nothing is done at load: the module finds its own
// file from its code when it needs it.
#include <cstddef>
#include <optional>

#include "configui/advanced_dialog_box.h"
#include "configui/channel_dialog_box.h"
#include "configui/parvex_cf.h"

namespace parvex {
namespace {

// The host's default COM port number, kept from DLL_SetDefaultComPort: the module's stand-in
// for the host's application object, which a Windows host without a class framework lacks.
std::optional<uint16_t> g_default_port;

}  // namespace
}  // namespace parvex

extern "C" {

void DLL_ConfigAdvanDevSpecific(ParvexParentWindow parent, ParvexDeviceEntry* entry,
                                int32_t* changed) {
  if (entry == nullptr || changed == nullptr) return;
  auto* settings = reinterpret_cast<uint8_t*>(entry) + offsetof(ParvexDeviceEntry, Config) +
                   offsetof(ParvexCommSettings, BaudRate);
  try {
    parvex::RunAdvancedDialog(parent, parvex::g_default_port.value_or(entry->DeviceNumber),
                              settings, changed);
  } catch (...) {
    // Nothing was stored: the dialog writes the host's record only as it closes with OK.
  }
}

void DLL_ConfigChanDevSpecific(ParvexParentWindow parent, int32_t, int32_t, int32_t,
                               ParvexChannelRecord* record, int32_t* changed) {
  if (record == nullptr || changed == nullptr) return;
  try {
    parvex::RunChannelDialog(parent, record, changed);
  } catch (...) {
    // Nothing was stored: the dialog writes the record only as it closes with OK.
  }
}

void DLL_SetDefaultComPort(uint16_t port) { parvex::g_default_port = port; }

}  // extern "C"
