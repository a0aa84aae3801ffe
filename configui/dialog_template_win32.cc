#include "configui/dialog_template_win32.h"

#include <string>

namespace parvex {
namespace {

void Align(std::vector<WORD>& out) {
  if (out.size() % 2 != 0) out.push_back(0);  // DWORD boundary: two WORDs
}

template <typename T>
void Put(std::vector<WORD>& out, const T& value) {
  static_assert(sizeof(T) % sizeof(WORD) == 0);
  const auto* words = reinterpret_cast<const WORD*>(&value);
  out.insert(out.end(), words, words + sizeof(T) / sizeof(WORD));
}

// A template's text: UTF-16 from the ANSI code page, NUL-terminated.
void PutText(std::vector<WORD>& out, const char* text) {
  if (text != nullptr && *text != '\0') {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    for (int i = 0; i + 1 < length; ++i) out.push_back(static_cast<WORD>(wide[i]));
  }
  out.push_back(0);
}

}  // namespace

std::vector<WORD> BuildDialogTemplate(const DialogLayout& layout) {
  std::vector<WORD> out;
  DLGTEMPLATE head{};
  head.style = layout.style | DS_SETFONT;
  head.cdit = static_cast<WORD>(layout.controls.size());
  head.cx = layout.cx;
  head.cy = layout.cy;
  Put(out, head);
  out.push_back(0);  // no menu
  out.push_back(0);  // the system's dialog class
  PutText(out, layout.caption);
  out.push_back(layout.font_points);
  PutText(out, layout.font_face);
  for (const DialogControl& control : layout.controls) {
    Align(out);
    DLGITEMTEMPLATE item{};
    item.style = control.style | WS_CHILD | WS_VISIBLE;
    item.x = control.x;
    item.y = control.y;
    item.cx = control.cx;
    item.cy = control.cy;
    item.id = static_cast<WORD>(control.id);
    Put(out, item);
    out.push_back(0xFFFF);  // a predefined class by its atom
    out.push_back(control.window_class);
    PutText(out, control.text);
    out.push_back(0);  // no creation data
  }
  return out;
}

void AddFixedItems(HWND dialog, const DialogLayout& layout) {
  for (const DialogControl& control : layout.controls) {
    for (const char* item : control.items) {
      SendDlgItemMessageA(dialog, control.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
  }
}

INT_PTR RunDialog(HINSTANCE instance, HWND parent, const DialogLayout& layout, DLGPROC proc,
                  LPARAM param) {
  std::vector<WORD> bytes = BuildDialogTemplate(layout);
  return DialogBoxIndirectParamA(instance, reinterpret_cast<const DLGTEMPLATE*>(bytes.data()),
                                 parent, proc, param);
}

}  // namespace parvex
