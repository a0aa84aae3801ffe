// Dialog templates built in memory: the layout of a dialog as a resource script gives it (dialog
// units, styles, control ids, the combo boxes' fixed items), turned into the DLGTEMPLATE that
// DialogBoxIndirectParamA runs.
#ifndef PARVEX_CONFIGUI_DIALOG_TEMPLATE_WIN32_H_
#define PARVEX_CONFIGUI_DIALOG_TEMPLATE_WIN32_H_

#include <windows.h>

#include <vector>

namespace parvex {

/// Atoms of the system's predefined control classes, as a template names them.
inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;
inline constexpr WORD kStaticClass = 0x0082;
inline constexpr WORD kComboBoxClass = 0x0085;

/// The id of controls that are never addressed (a resource script's IDC_STATIC).
inline constexpr int kUnaddressedId = -1;

/// One control, in dialog units. WS_CHILD and WS_VISIBLE are added to `style`.
struct DialogControl {
  WORD window_class;
  const char* text;
  int id;
  DWORD style;
  short x, y, cx, cy;
  /// A combo box's fixed items, in order: the template's initial data.
  std::vector<const char*> items;
};

/// A dialog: caption, frame style (DS_SETFONT is added), size in dialog units, font, controls
/// in tab order.
struct DialogLayout {
  const char* caption;
  DWORD style;
  short cx, cy;
  WORD font_points;
  const char* font_face;
  std::vector<DialogControl> controls;
};

/// The frame of both dialogs: a modal frame with caption and system menu.
inline constexpr DWORD kModalDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

/// Returns the DLGTEMPLATE of `layout` and its items, each DWORD-aligned, texts in UTF-16 from
/// the ANSI code page.
std::vector<WORD> BuildDialogTemplate(const DialogLayout& layout);

/// Adds every combo box's fixed items of `layout` to the controls of `dialog`, as the dialog
/// manager of a resource with initial data would before WM_INITDIALOG's own work.
void AddFixedItems(HWND dialog, const DialogLayout& layout);

/// Runs `layout` as a modal dialog of `instance` with `proc`, which gets `param` with
/// WM_INITDIALOG. Returns what the dialog ended with (IDOK, IDCANCEL), or -1 when it could not
/// be made.
INT_PTR RunDialog(HINSTANCE instance, HWND parent, const DialogLayout& layout, DLGPROC proc,
                  LPARAM param);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_DIALOG_TEMPLATE_WIN32_H_
