// The module's own file on Windows and its HTML Help file, found from the module's own code
// (nothing is kept at load).
#ifndef PARVEX_CONFIGUI_HTML_MODULE_HELP_H_
#define PARVEX_CONFIGUI_HTML_MODULE_HELP_H_

#include <string>
#include <string_view>

#include "configui/parvex_cf.h"

namespace parvex {

/// Topic of the Advanced dialog.
inline constexpr const char* kAdvancedHelpTopic = "::/html/clim00mc.htm";
/// Topic of the Channel dialog.
inline constexpr const char* kChannelHelpTopic = "::/html/clim8ir7.htm";

/// Returns the help file of a module file: its path with the last three characters replaced by
/// "chm" (parvex_cf.dll gives parvex_cf.chm).
std::string HelpFilePath(std::string_view module_path);

/// The module's help file, computed on first use ("" when the module's file is not known).
const std::string& ModuleHelpPath();

/// Shows `topic` (the help path followed directly by a topic text) with HTML Help, owned by
/// `owner`. Without the viewer nothing happens.
void ShowHelpTopic(ParvexParentWindow owner, const std::string& topic);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_HTML_MODULE_HELP_H_
