#include "configui/channel_dialog_win32.h"

#include <iterator>
#include <string>
#include <vector>

#include "configui/channel_source.h"
#include "configui/dialog_ids.h"
#include "configui/module_help_win32.h"

namespace parvex {
namespace {

// What one run of the dialog works on.
struct ChannelRun {
  ParvexChannelRecord* record;
  int32_t* changed;
};

std::vector<const char*> Items(const auto& list) { return {std::begin(list), std::end(list)}; }

DialogLayout MakeLayout() {
  constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL;
  return DialogLayout{
      "Channel",
      kModalDialogStyle,
      167,
      146,
      8,
      "MS Sans Serif",
      {
          // Neither button is the default: Enter presses the focused button, or OK elsewhere.
          {kButtonClass, "&OK", IDOK, BS_PUSHBUTTON | WS_TABSTOP, 18, 108, 48, 16, {}},
          {kButtonClass, "&Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 97, 108, 48, 16, {}},
          {kButtonClass, "", kUnaddressedId, BS_GROUPBOX, 7, 7, 153, 132, {}},
          {kComboBoxClass, "", kFieldTypeComboId, kList, 82, 32, 52, 56, Items(kFieldTypeItems)},
          {kEditClass,
           "",
           kPortEditId,
           ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
           82,
           54,
           40,
           14,
           {}},
          {kComboBoxClass, "", kValueTypeComboId, kList | WS_TABSTOP, 82, 75, 48, 64,
           Items(kValueTypeItems)},
          {kStaticClass, "Field Type", kFieldTypeLabelId, SS_LEFT, 25, 33, 38, 8, {}},
          {kStaticClass, "PORT", kPortLabelId, SS_LEFT, 25, 56, 21, 8, {}},
          {kStaticClass, "ValueType", kValueTypeLabelId, SS_LEFT, 25, 76, 44, 8, {}},
      }};
}

int Selected(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

void ApplyEnableRule(HWND dialog, int field_type) {
  BOOL enabled = ValueControlsEnabled(field_type) ? TRUE : FALSE;
  for (int id : {kPortLabelId, kPortEditId, kValueTypeLabelId, kValueTypeComboId}) {
    EnableWindow(GetDlgItem(dialog, id), enabled);
  }
}

// Reads the three controls; a refused port text shows the message and takes the focus back to
// the port with its text selected.
bool ReadControls(HWND dialog, ChannelSource* source) {
  HWND edit = GetDlgItem(dialog, kPortEditId);
  std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
  text.resize(
      static_cast<size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
  std::optional<unsigned> port = ParsePortNumber(text);
  if (!port) {
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    MessageBoxA(dialog, kPortRangeMessage, caption, MB_OK | MB_ICONEXCLAMATION);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    return false;
  }
  source->field_type = Selected(dialog, kFieldTypeComboId);
  source->port = *port;
  source->value_type = Selected(dialog, kValueTypeComboId);
  return true;
}

void Init(HWND dialog, const ChannelRun& run) {
  AddFixedItems(dialog, ChannelDialogLayout());
  ChannelSource source = ReadChannelSource(*run.record);
  SendDlgItemMessageA(dialog, kFieldTypeComboId, CB_SETCURSEL,
                      static_cast<WPARAM>(source.field_type), 0);
  SetDlgItemInt(dialog, kPortEditId, source.port, FALSE);
  SendDlgItemMessageA(dialog, kValueTypeComboId, CB_SETCURSEL,
                      static_cast<WPARAM>(source.value_type), 0);
  ApplyEnableRule(dialog, source.field_type);
}

INT_PTR CALLBACK ChannelProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* run = reinterpret_cast<ChannelRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      Init(dialog, *reinterpret_cast<ChannelRun*>(lparam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          ChannelSource chosen;
          if (!ReadControls(dialog, &chosen)) return TRUE;  // stays open, nothing stored
          if (StoreChannelSource(chosen, *run->record)) *run->changed = 1;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kFieldTypeComboId:
          // A changed field type re-reads the controls; a refused port keeps the enable state.
          if (HIWORD(wparam) == CBN_SELCHANGE) {
            ChannelSource chosen;
            if (ReadControls(dialog, &chosen)) ApplyEnableRule(dialog, chosen.field_type);
            return TRUE;
          }
          return FALSE;
        default:
          return FALSE;
      }
    case WM_HELP:
      ShowHelpTopic(dialog, ModuleHelpPath() + kChannelHelpTopic);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

const DialogLayout& ChannelDialogLayout() {
  static const DialogLayout layout = MakeLayout();
  return layout;
}

INT_PTR RunChannelDialog(HWND parent, ParvexChannelRecord* record, int32_t* changed) {
  ChannelRun run{record, changed};
  return RunDialog(ModuleInstance(), parent, ChannelDialogLayout(), ChannelProc,
                   reinterpret_cast<LPARAM>(&run));
}

}  // namespace parvex
