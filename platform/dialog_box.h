// Modal dialog boxes built from a layout in dialog units, as a resource script describes them,
// and driven through an events interface: the module's dialogs without the toolkit's types.
// Windows only (the Linux dialogs are Qt's).
#ifndef PARVEX_PLATFORM_DIALOG_BOX_H_
#define PARVEX_PLATFORM_DIALOG_BOX_H_

#include <iterator>
#include <optional>
#include <string>
#include <vector>

struct HWND__;  // an HWND is HWND__* with STRICT; this header needs no <windows.h>

namespace kestrum {

/// The ids of the OK and Cancel buttons, and the results a dialog ends with through them.
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;
/// The id of controls that are never addressed (a resource script's IDC_STATIC).
inline constexpr int kUnaddressedId = -1;
/// The notification of a drop-down list whose selection the user changed.
inline constexpr int kSelectionChanged = 1;

enum class DialogControlKind {
  kLabel,          ///< left-aligned static text
  kDropDownList,   ///< a list that drops down, no typing
  kEdit,           ///< one line of text with a border, scrolling sideways
  kPushButton,     ///< a push button
  kDefaultButton,  ///< the push button that Enter presses
  kGroupBox,       ///< a frame with a title
};

/// The fixed items of a drop-down list from an array of texts.
std::vector<const char*> ItemsOf(const auto& texts) { return {std::begin(texts), std::end(texts)}; }

/// One control, in dialog units.
struct DialogControl {
  DialogControlKind kind;
  const char* text;
  int id;
  bool tab_stop;
  short x, y, cx, cy;
  /// A drop-down list's fixed items, in order, added before DialogEvents::Init.
  std::vector<const char*> items = {};
  bool sorted = false;  ///< a drop-down list that keeps its items sorted
  bool scroll = false;  ///< a drop-down list with a vertical scroll bar
};

/// A dialog: caption, size in dialog units, font, controls in tab order. The frame is modal,
/// with a caption and a system menu.
struct DialogLayout {
  const char* caption;
  short cx, cy;
  unsigned short font_points;
  const char* font_face;
  std::vector<DialogControl> controls;
};

/// A running dialog, as its events see it. Positions are 0-based; -1 is no selection.
class DialogHandle {
 public:
  explicit DialogHandle(HWND__* window) : window_(window) {}

  /// The dialog's window, as the owner of windows it opens (help).
  HWND__* window() const { return window_; }

  void SelectItem(int id, int position);
  int SelectedItem(int id) const;
  void AddItem(int id, const std::string& text);
  void ClearItems(int id);
  /// Selects the first item that starts with `text` (case-insensitive), as a list does.
  void SelectString(int id, const std::string& text);
  /// The text of item `position` of list `id`, or nothing when there is no such item.
  std::optional<std::string> ItemText(int id, int position) const;
  /// The text of control `id`; the dialog's caption with id kUnaddressedId.
  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  void Enable(int id, bool enabled);
  /// Moves the focus to control `id` as the Tab key would.
  void Focus(int id);
  void SelectAllText(int id);
  /// Shows `text` with an exclamation mark and an OK button, titled `caption`, until closed.
  void ShowMessage(const char* text, const std::string& caption);
  /// Closes the dialog; RunDialogBox returns `result`.
  void End(int result);

 private:
  HWND__* window_;
};

class DialogEvents {
 public:
  virtual ~DialogEvents() = default;
  /// The dialog and its controls exist (fixed items added) and are not shown yet.
  virtual void Init(DialogHandle& dialog) = 0;
  /// Control `id` sent `notification` (0 for a button's click); returns whether it was handled.
  virtual bool Command(DialogHandle& dialog, int id, int notification) = 0;
  /// The user asked for help (F1).
  virtual void Help(DialogHandle& dialog) = 0;
};

/// Runs `layout` as a modal dialog owned by `parent` (may be null), its texts from the ANSI
/// code page, until an event ends it. Returns the result End gave, or -1 with the error
/// number set when the dialog could not be made.
int RunDialogBox(HWND__* parent, const DialogLayout& layout, DialogEvents& events);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_DIALOG_BOX_H_
