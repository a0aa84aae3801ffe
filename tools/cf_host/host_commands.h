// What the Qt host adds to the commands of both platforms: its scripted dialog runs and the
// print-out into a PDF or plain text.
#ifndef PARVEX_TOOLS_CF_HOST_HOST_COMMANDS_H_
#define PARVEX_TOOLS_CF_HOST_HOST_COMMANDS_H_

#include <functional>
#include <string>

#include "tools/cf_host/host_dialogs.h"

namespace parvex {

/// Runs `show_dialog` (which calls the module); in a scripted run, saves the dialog's picture
/// as PNG and closes it. The DialogScript of the Qt host.
void RunQtDialog(const HostOptions& options, const std::function<void()>& show_dialog);

/// How to print.
struct PrintOptions {
  std::string pdf;          ///< PDF file; empty: plain text
  std::string text;         ///< text file; empty or "-": standard output
  std::string server;       ///< server name printed in the header
  int lines_per_page = 66;  ///< page length of the text printer
  bool stored = false;      ///< let the module read the stored configuration itself
};

/// Prints the device's configuration through the module. Returns the exit status.
int RunPrint(const ModuleEntryPoints& module, const HostOptions& options,
             const PrintOptions& print);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_HOST_COMMANDS_H_
