// What the configuration tool's stand-in does with a device folder on Windows: show the module's
// dialogs and store accepted changes.
#ifndef PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_WIN32_H_
#define PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_WIN32_H_

#include <cstdint>
#include <optional>
#include <string>

#include "tools/cf_host/module_link_win32.h"

namespace parvex {

/// Options shared by every command.
struct HostOptions {
  std::string folder;
  uint16_t device_number = 1;
  std::string device_name = "COUNTER";
  std::optional<uint16_t> default_port;  ///< handed to the module when given
  std::string screenshot;                ///< BMP of the dialog, then it closes by itself
  bool accept = false;                   ///< close a scripted dialog with OK instead of Cancel
};

/// Shows the Advanced dialog; stores an accepted change in "config". Returns the exit status.
int RunAdvanced(const ModuleLink& module, const HostOptions& options);

/// Shows the Channel dialog for analogue input `number` (from 1) of kind `kind`, which must be
/// "ai" (other kinds are refused with a message); stores an accepted change in the kind's file.
/// Returns the exit status.
int RunChannel(const ModuleLink& module, const HostOptions& options, const std::string& kind,
               int number);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_WIN32_H_
