// The module's help file and topics, and the viewer that shows them.
#ifndef PARVEX_CONFIGUI_MODULE_HELP_H_
#define PARVEX_CONFIGUI_MODULE_HELP_H_

#include <functional>
#include <string>
#include <string_view>

namespace parvex {

/// Topic of the Advanced dialog.
inline constexpr const char* kAdvancedHelpTopic = "::/html/clim00mc.htm";
/// Topic of the Channel dialog.
inline constexpr const char* kChannelHelpTopic = "::/html/clim8ir7.htm";

/// Returns the help file of a module file: its path with the extension replaced by "chm"
/// (".../libparvex_cf.so" gives ".../libparvex_cf.chm"; a name without extension gets ".chm").
std::string HelpFilePath(std::string_view module_path);

/// Returns the full path of the loaded file that holds `address` (from /proc/self/maps), or ""
/// when none does.
std::string LoadedFileOf(const void* address);

/// The module's help file, computed once when the module is loaded.
const std::string& ModuleHelpPath();

/// Shows `topic` (the help path followed directly by a topic text) when a viewer can: an
/// unpacked help folder opens the topic's page in the desktop's browser, a help file opens in
/// a CHM viewer on the PATH (xchm, kchmviewer). Does nothing otherwise. Needs a QApplication.
void ShowHelpTopic(const std::string& topic);

/// Replaces the viewer of ShowHelpTopic (null restores the desktop viewer). For tests and for
/// hosts with a viewer of their own.
void SetHelpViewer(std::function<void(const std::string& topic)> viewer);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_MODULE_HELP_H_
