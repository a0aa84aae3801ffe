// Windows' HTML Help viewer (hhctrl.ocx), loaded at run time on first use. Windows only.
#ifndef PARVEX_PLATFORM_HTML_HELP_H_
#define PARVEX_PLATFORM_HTML_HELP_H_

#include <string>

struct HWND__;  // an HWND is HWND__* with STRICT; this header needs no <windows.h>

namespace kestrum {

/// Shows `topic` (a help file's path followed directly by "::/" and a page) in the HTML Help
/// viewer, owned by `owner` (may be null). Returns 0, or -1 with the error number set when
/// the viewer cannot be loaded or refuses the topic.
int ShowHtmlHelpTopic(HWND__* owner, const std::string& topic);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_HTML_HELP_H_
