// The module's own file on Windows: its instance handle, kept at load, and its HTML Help file.
#ifndef PARVEX_CONFIGUI_MODULE_HELP_WIN32_H_
#define PARVEX_CONFIGUI_MODULE_HELP_WIN32_H_

#include <windows.h>

#include <string>
#include <string_view>

namespace parvex {

/// Topic of the Advanced dialog.
inline constexpr const char* kAdvancedHelpTopic = "::/html/clim00mc.htm";
/// Topic of the Channel dialog.
inline constexpr const char* kChannelHelpTopic = "::/html/clim8ir7.htm";

/// Keeps the module's instance handle and computes its help file; called once at load.
void KeepModule(HINSTANCE instance);

/// The module's instance handle (null before KeepModule).
HINSTANCE ModuleInstance();

/// Returns the help file of a module file: its path with the last three characters replaced by
/// "chm" (parvex_cf.dll gives parvex_cf.chm).
std::string HelpFilePath(std::string_view module_path);

/// The module's help file, as KeepModule computed it.
const std::string& ModuleHelpPath();

/// Shows `topic` (the help path followed directly by a topic text) with HTML Help, owned by
/// `owner`. hhctrl.ocx is loaded on first use; without it nothing happens.
void ShowHelpTopic(HWND owner, const std::string& topic);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_MODULE_HELP_WIN32_H_
