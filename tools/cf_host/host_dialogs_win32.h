// The Windows host's scripted dialog runs: the dialog's picture, then OK or Cancel.
#ifndef PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_WIN32_H_
#define PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_WIN32_H_

#include <functional>

#include "tools/cf_host/host_dialogs.h"

namespace parvex {

/// Runs `show_dialog` (which calls the module); in a scripted run, saves the dialog's picture
/// (frame and caption included) as BMP and closes it. The DialogScript of the Windows host.
void RunWin32Dialog(const HostOptions& options, const std::function<void()>& show_dialog);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_HOST_DIALOGS_WIN32_H_
