// What the configuration tool's stand-in does with a device folder on both platforms: read it
// into the host's records, show one of the module's dialogs over them, and store an accepted
// change. The toolkit only enters through the module's entry points and the DialogScript.
#ifndef PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_H_
#define PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "configui/parvex_cf.h"
#include "tools/cf_host/device_folder.h"

namespace parvex {

/// The module's entry points, as the host looks them up by name.
struct ModuleEntryPoints {
  decltype(&DLL_ConfigAdvanDevSpecific) advanced = nullptr;
  decltype(&DLL_ConfigChanDevSpecific) channel = nullptr;
  decltype(&PrintAllConfig) print_all = nullptr;
  decltype(&PrintConfig) print = nullptr;
  decltype(&DLL_SetDefaultComPort) set_default_port = nullptr;
};

/// Options shared by every command.
struct HostOptions {
  std::string folder;
  uint16_t device_number = 1;
  std::string device_name = "COUNTER";
  std::optional<uint16_t> default_port;  ///< handed to the module when given
  std::string screenshot;                ///< picture of the dialog, then it closes by itself
  bool accept = false;                   ///< close a scripted dialog with OK instead of Cancel
};

/// Runs `show_dialog` (which calls the module and returns when its dialog is closed); for a
/// scripted run (a screenshot or --accept in the options) it pictures and closes the dialog
/// with the toolkit's own means.
using DialogScript =
    std::function<void(const HostOptions& options, const std::function<void()>& show_dialog)>;

/// Reads the device folder into `folder` and the host's device entry. Reports a failure on
/// standard error and returns false.
bool LoadDevice(const HostOptions& options, DeviceFolder* folder, ParvexDeviceEntry* entry);

/// Shows the Advanced dialog; stores an accepted change in "config". Returns the exit status.
int RunAdvanced(const ModuleEntryPoints& module, const HostOptions& options,
                const DialogScript& script);

/// Shows the Channel dialog for analogue input `number` (from 1) of kind `kind`, which must be
/// "ai" (other kinds are refused with a message); stores an accepted change in the kind's file.
/// Returns the exit status.
int RunChannel(const ModuleEntryPoints& module, const HostOptions& options,
               const DialogScript& script, const std::string& kind, int number);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_H_
