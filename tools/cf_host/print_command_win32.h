// The Windows host's print command: a device folder's configuration printed by the module on a
// printer's device context, to the printer or into a file.
#ifndef PARVEX_TOOLS_CF_HOST_PRINT_COMMAND_WIN32_H_
#define PARVEX_TOOLS_CF_HOST_PRINT_COMMAND_WIN32_H_

#include <string>

#include "configui/parvex_cf.h"
#include "tools/cf_host/device_folder.h"

namespace parvex {

/// How the Windows host prints.
struct WindowsPrintOptions {
  std::string printer;  ///< printer name; empty: the user's default printer
  std::string output;   ///< file that receives the printer's output; empty: the printer
  std::string server;   ///< server name printed in the header
  int point_size = 8;   ///< size of the fixed-pitch font; 8 points fit the 144-column rows
  bool stored = false;  ///< let the module read the stored configuration itself
};

/// Prints `folder` with the module's PrintAllConfig as one document on the printer, in a
/// fixed-pitch font. Reports on standard output and error. Returns the exit status.
int RunWindowsPrint(decltype(&PrintAllConfig) print_all, const DeviceFolder& folder,
                    ParvexDeviceEntry& entry, const WindowsPrintOptions& options);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_PRINT_COMMAND_WIN32_H_
