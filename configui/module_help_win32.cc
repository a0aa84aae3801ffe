#include "configui/module_help_win32.h"

#include <algorithm>

namespace parvex {
namespace {

// HTML Help's entry point, HtmlHelpA of hhctrl.ocx.
using HtmlHelpFn = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// The only state besides the print-out's page position and the host's default port.
HINSTANCE g_instance = nullptr;
std::string g_help_path;

// Loaded on first use and kept: a help window it opened outlives the dialog that asked.
HtmlHelpFn HtmlHelp() {
  static HtmlHelpFn entry = [] {
    HMODULE library = LoadLibraryA("hhctrl.ocx");
    FARPROC entry = library ? GetProcAddress(library, "HtmlHelpA") : nullptr;
    return reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(entry));
  }();
  return entry;
}

}  // namespace

void KeepModule(HINSTANCE instance) {
  g_instance = instance;
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(instance, path, sizeof path);
  g_help_path = length > 0 && length < sizeof path ? HelpFilePath(path) : std::string();
}

HINSTANCE ModuleInstance() { return g_instance; }

std::string HelpFilePath(std::string_view module_path) {
  std::string path(
      module_path.substr(0, module_path.size() - std::min<size_t>(3, module_path.size())));
  return path + "chm";
}

const std::string& ModuleHelpPath() { return g_help_path; }

void ShowHelpTopic(HWND owner, const std::string& topic) {
  if (HtmlHelpFn show = HtmlHelp()) show(owner, topic.c_str(), kDisplayTopic, 0);
}

}  // namespace parvex
