#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dialog_box.h"
#include "platform/error_number.h"
#include "platform/own_module.h"

static_assert(kestrum::kDialogOk == IDOK);
static_assert(kestrum::kDialogCancel == IDCANCEL);
static_assert(kestrum::kSelectionChanged == CBN_SELCHANGE);

namespace kestrum {
namespace {

// Atoms of the system's predefined control classes, as a template names them.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

// The frame of every dialog: a modal frame with caption and system menu, and a font.
constexpr DWORD kModalDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;

WORD ClassOf(DialogControlKind kind) {
  switch (kind) {
    case DialogControlKind::kLabel:
      return kStaticClass;
    case DialogControlKind::kDropDownList:
      return kComboBoxClass;
    case DialogControlKind::kEdit:
      return kEditClass;
    case DialogControlKind::kPushButton:
    case DialogControlKind::kDefaultButton:
    case DialogControlKind::kGroupBox:
      break;
  }
  return kButtonClass;
}

DWORD StyleOf(const DialogControl& control) {
  DWORD style = WS_CHILD | WS_VISIBLE | (control.tab_stop ? WS_TABSTOP : 0);
  switch (control.kind) {
    case DialogControlKind::kLabel:
      return style | SS_LEFT;
    case DialogControlKind::kDropDownList:
      return style | CBS_DROPDOWNLIST | (control.sorted ? CBS_SORT : 0) |
             (control.scroll ? WS_VSCROLL : 0);
    case DialogControlKind::kEdit:
      return style | ES_AUTOHSCROLL | WS_BORDER;
    case DialogControlKind::kPushButton:
      return style | BS_PUSHBUTTON;
    case DialogControlKind::kDefaultButton:
      return style | BS_DEFPUSHBUTTON;
    case DialogControlKind::kGroupBox:
      return style | BS_GROUPBOX;
  }
  return style;
}

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

// The DLGTEMPLATE of `layout` and its items, each DWORD-aligned.
std::vector<WORD> BuildDialogTemplate(const DialogLayout& layout) {
  std::vector<WORD> out;
  DLGTEMPLATE head{};
  head.style = kModalDialogStyle;
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
    item.style = StyleOf(control);
    item.x = control.x;
    item.y = control.y;
    item.cx = control.cx;
    item.cy = control.cy;
    item.id = static_cast<WORD>(control.id);
    Put(out, item);
    out.push_back(0xFFFF);  // a predefined class by its atom
    out.push_back(ClassOf(control.kind));
    PutText(out, control.text);
    out.push_back(0);  // no creation data
  }
  return out;
}

// What one run of a dialog works on.
struct Run {
  const DialogLayout* layout;
  DialogEvents* events;
};

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* run = reinterpret_cast<Run*>(GetWindowLongPtrA(window, DWLP_USER));
  DialogHandle dialog(window);
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(window, DWLP_USER, lparam);
      run = reinterpret_cast<Run*>(lparam);
      // As the dialog manager adds a resource's initial data, before the dialog's own work.
      for (const DialogControl& control : run->layout->controls) {
        for (const char* item : control.items) dialog.AddItem(control.id, item);
      }
      run->events->Init(dialog);
      return TRUE;  // the dialog manager focuses the first tab stop
    case WM_COMMAND:
      return run != nullptr && run->events->Command(dialog, LOWORD(wparam), HIWORD(wparam)) ? TRUE
                                                                                            : FALSE;
    case WM_HELP:
      if (run != nullptr) run->events->Help(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

HWND Item(HWND__* window, int id) { return id == kUnaddressedId ? window : GetDlgItem(window, id); }

}  // namespace

void DialogHandle::SelectItem(int id, int position) {
  SendDlgItemMessageA(window_, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int DialogHandle::SelectedItem(int id) const {
  return static_cast<int>(SendDlgItemMessageA(window_, id, CB_GETCURSEL, 0, 0));
}

void DialogHandle::AddItem(int id, const std::string& text) {
  SendDlgItemMessageA(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogHandle::ClearItems(int id) { SendDlgItemMessageA(window_, id, CB_RESETCONTENT, 0, 0); }

void DialogHandle::SelectString(int id, const std::string& text) {
  SendDlgItemMessageA(window_, id, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>(text.c_str()));
}

std::optional<std::string> DialogHandle::ItemText(int id, int position) const {
  if (position < 0) return std::nullopt;
  LRESULT length = SendDlgItemMessageA(window_, id, CB_GETLBTEXTLEN, position, 0);
  if (length == CB_ERR) return std::nullopt;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendDlgItemMessageA(window_, id, CB_GETLBTEXT, position, reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string DialogHandle::Text(int id) const {
  HWND item = Item(window_, id);
  std::string text(static_cast<size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  text.resize(
      static_cast<size_t>(GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

void DialogHandle::SetText(int id, const std::string& text) {
  SetWindowTextA(Item(window_, id), text.c_str());
}

void DialogHandle::Enable(int id, bool enabled) {
  EnableWindow(Item(window_, id), enabled ? TRUE : FALSE);
}

void DialogHandle::Focus(int id) {
  SendMessageA(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(window_, id)), TRUE);
}

void DialogHandle::SelectAllText(int id) { SendDlgItemMessageA(window_, id, EM_SETSEL, 0, -1); }

void DialogHandle::ShowMessage(const char* text, const std::string& caption) {
  MessageBoxA(window_, text, caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void DialogHandle::End(int result) { EndDialog(window_, result); }

int RunDialogBox(HWND__* parent, const DialogLayout& layout, DialogEvents& events) {
  std::vector<WORD> bytes = BuildDialogTemplate(layout);
  Run run{&layout, &events};
  // The template belongs to the module that holds this code (the DLL that shows the dialog).
  auto* instance =
      static_cast<HINSTANCE>(ModuleHandleOf(reinterpret_cast<const void*>(&RunDialogBox)));
  INT_PTR result =
      DialogBoxIndirectParamA(instance, reinterpret_cast<const DLGTEMPLATE*>(bytes.data()), parent,
                              DialogProc, reinterpret_cast<LPARAM>(&run));
  if (result == -1) return FailFromLastError();
  return static_cast<int>(result);
}

}  // namespace kestrum
