// The dialog entry points of parvex_cf.dll and its load-time work.
#include <windows.h>

#include <cstddef>
#include <optional>

#include "configui/advanced_dialog_win32.h"
#include "configui/channel_dialog_win32.h"
#include "configui/module_help_win32.h"
#include "configui/parvex_cf.h"

namespace parvex {
namespace {

// The host's default COM port number, kept from DLL_SetDefaultComPort: the module's stand-in
// for the host's application object, which a Windows host without a class framework lacks.
std::optional<uint16_t> g_default_port;

}  // namespace
}  // namespace parvex

// Load: keep the module's instance and its help file. Nothing else is done at load, thread
// start, thread end or unload.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) parvex::KeepModule(instance);
  return TRUE;
}

extern "C" {

void DLL_ConfigAdvanDevSpecific(HWND parent, ParvexDeviceEntry* entry, int32_t* changed) {
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

void DLL_ConfigChanDevSpecific(HWND parent, int32_t, int32_t, int32_t, ParvexChannelRecord* record,
                               int32_t* changed) {
  if (record == nullptr || changed == nullptr) return;
  try {
    parvex::RunChannelDialog(parent, record, changed);
  } catch (...) {
    // Nothing was stored: the dialog writes the record only as it closes with OK.
  }
}

void DLL_SetDefaultComPort(uint16_t port) { parvex::g_default_port = port; }

}  // extern "C"
