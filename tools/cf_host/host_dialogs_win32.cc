#include "tools/cf_host/host_dialogs_win32.h"

#include <windows.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

namespace parvex {
namespace {

// ---- Scripted runs: the dialog's picture, then OK or Cancel ----

struct ReleaseScreenDc {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct DeleteDc {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

// Keeps `object` selected into `dc` while it lives.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, previous_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Writes the window as it is drawn on the screen, frame and caption included, as a 24-bit BMP.
bool SaveWindowPicture(HWND window, const std::string& file) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  std::unique_ptr<HDC__, ReleaseScreenDc> screen(GetDC(nullptr));
  std::unique_ptr<HDC__, DeleteDc> memory(CreateCompatibleDC(screen.get()));
  std::unique_ptr<HBITMAP__, DeleteGdiObject> bitmap(
      CreateCompatibleBitmap(screen.get(), width, height));
  if (!screen || !memory || !bitmap) return false;
  {
    Selection selected(memory.get(), bitmap.get());
    if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY)) {
      return false;
    }
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up rows, as a BMP file keeps them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t row = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<char> pixels(row * static_cast<size_t>(height));
  if (GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
                DIB_RGB_COLORS) != height) {
    return false;
  }
  BITMAPFILEHEADER head{};
  head.bfType = 0x4D42;  // "BM"
  head.bfOffBits = sizeof head + sizeof info.bmiHeader;
  head.bfSize = static_cast<DWORD>(head.bfOffBits + pixels.size());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&head), sizeof head);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

const HostOptions* g_script = nullptr;
HWND g_dialog = nullptr;
constexpr UINT_PTR kScriptTimer = 0x5C71;
constexpr UINT kScriptDelayMs = 500;  // the dialog is shown and drawn by then

void CALLBACK CloseScripted(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  if (!g_script->screenshot.empty() && !SaveWindowPicture(dialog, g_script->screenshot)) {
    std::cerr << "parvex_cf_host: cannot write " << g_script->screenshot << "\n";
  }
  PostMessageA(dialog, WM_COMMAND, g_script->accept ? IDOK : IDCANCEL, 0);
}

LRESULT CALLBACK WatchDialogs(int code, WPARAM wparam, LPARAM lparam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && message->message == WM_INITDIALOG && g_dialog == nullptr) {
    g_dialog = message->hwnd;
    SetTimer(message->hwnd, kScriptTimer, kScriptDelayMs, CloseScripted);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// For scripted runs, watches for the module's dialog while it lives.
class ScriptedRunHook {
 public:
  explicit ScriptedRunHook(const HostOptions& options) {
    if (options.screenshot.empty() && !options.accept) return;
    g_script = &options;
    g_dialog = nullptr;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchDialogs, nullptr, GetCurrentThreadId());
  }
  ~ScriptedRunHook() {
    if (hook_) UnhookWindowsHookEx(hook_);
  }
  ScriptedRunHook(const ScriptedRunHook&) = delete;
  ScriptedRunHook& operator=(const ScriptedRunHook&) = delete;

 private:
  HHOOK hook_ = nullptr;
};

}  // namespace

void RunWin32Dialog(const HostOptions& options, const std::function<void()>& show_dialog) {
  ScriptedRunHook hook(options);
  show_dialog();
}

}  // namespace parvex
