#include <windows.h>

#include <cerrno>

#include "platform/error_number.h"
#include "platform/html_help.h"

namespace kestrum {
namespace {

// HTML Help's entry point, HtmlHelpA of hhctrl.ocx.
using HtmlHelpFn = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// Loaded on first use and kept: a help window it opened outlives the window that asked.
HtmlHelpFn HtmlHelp() {
  static HtmlHelpFn entry = [] {
    HMODULE library = LoadLibraryA("hhctrl.ocx");
    FARPROC entry = library ? GetProcAddress(library, "HtmlHelpA") : nullptr;
    return reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(entry));
  }();
  return entry;
}

}  // namespace

int ShowHtmlHelpTopic(HWND__* owner, const std::string& topic) {
  HtmlHelpFn show = HtmlHelp();
  if (show == nullptr) return FailWith(ENOENT);
  // The viewer's window, or null when it could not show the topic.
  return show(owner, topic.c_str(), kDisplayTopic, 0) != nullptr ? 0 : FailWith(ENOENT);
}

}  // namespace kestrum
