#include "configui/advanced_dialog_win32.h"

#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "configui/comm_settings_map.h"
#include "configui/dialog_ids.h"
#include "configui/module_help_win32.h"

namespace parvex {
namespace {

// What one run of the dialog works on.
struct AdvancedRun {
  uint8_t* settings;
  int32_t* changed;
  uint16_t default_port;
  const SerialPortSource* ports;
  PortSettings work;
};

std::vector<const char*> Items(const auto& list) { return {std::begin(list), std::end(list)}; }

DialogLayout MakeLayout() {
  constexpr DWORD kList = CBS_DROPDOWNLIST | WS_TABSTOP;
  return DialogLayout{
      "Advanced",
      kModalDialogStyle,
      172,
      130,
      8,
      "MS Sans Serif",
      {
          {kStaticClass, "Port:", kUnaddressedId, SS_LEFT, 35, 27, 17, 8, {}},
          {kComboBoxClass, "", kPortComboId, kList | CBS_SORT | WS_VSCROLL, 87, 23, 44, 56, {}},
          {kStaticClass, "Baud Rate:", kUnaddressedId, SS_LEFT, 35, 41, 38, 8, {}},
          {kComboBoxClass, "", kBaudRateComboId, kList, 87, 37, 44, 57, Items(kBaudRateItems)},
          {kStaticClass, "Parity:", kUnaddressedId, SS_LEFT, 35, 55, 22, 8, {}},
          {kComboBoxClass, "", kParityComboId, kList, 87, 51, 44, 57, Items(kParityItems)},
          {kStaticClass, "Data Bits:", kUnaddressedId, SS_LEFT, 35, 69, 34, 8, {}},
          {kComboBoxClass, "", kDataBitsComboId, kList, 87, 65, 44, 47, Items(kDataBitsItems)},
          {kButtonClass, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 26, 97, 50, 14, {}},
          {kButtonClass, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 99, 97, 50, 14, {}},
          {kButtonClass, "", kUnaddressedId, BS_GROUPBOX, 7, 7, 158, 116, {}},
      }};
}

void Select(HWND dialog, int id, int position) {
  SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int Selected(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

void Init(HWND dialog, AdvancedRun& run) {
  AddFixedItems(dialog, AdvancedDialogLayout());
  // A default name that does not fit is not cut into another port: the port stays unset, with
  // the stored settings, until the user chooses one.
  ApplyPortDefaults(run.work, run.default_port);
  std::string current = PortNameOf(run.work);
  HWND port = GetDlgItem(dialog, kPortComboId);
  SendMessageA(port, CB_RESETCONTENT, 0, 0);
  for (const std::string& item :
       PortListItems(*run.ports ? (*run.ports)() : std::nullopt, current)) {
    SendMessageA(port, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
  SendMessageA(port, CB_SELECTSTRING, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(current.c_str()));
  Select(dialog, kBaudRateComboId, BaudRatePosition(run.work.baud_rate));
  Select(dialog, kDataBitsComboId, DataBitsPosition(run.work.data_bits));
  Select(dialog, kParityComboId, ParityPosition(run.work.parity));
}

void Accept(HWND dialog, AdvancedRun& run) {
  std::optional<std::string> chosen;
  HWND port = GetDlgItem(dialog, kPortComboId);
  LRESULT at = SendMessageA(port, CB_GETCURSEL, 0, 0);
  LRESULT length = at == CB_ERR ? CB_ERR : SendMessageA(port, CB_GETLBTEXTLEN, at, 0);
  if (length != CB_ERR) {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(port, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    chosen = text;
  }
  TakeChosenPortName(run.work, chosen);
  run.work.baud_rate = BaudRateAt(Selected(dialog, kBaudRateComboId));
  run.work.parity = ParityAt(Selected(dialog, kParityComboId));
  run.work.data_bits = DataBitsAt(Selected(dialog, kDataBitsComboId));
  *run.changed = StorePortSettings(run.work, run.settings);
}

INT_PTR CALLBACK AdvancedProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* run = reinterpret_cast<AdvancedRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      Init(dialog, *reinterpret_cast<AdvancedRun*>(lparam));
      return TRUE;  // the dialog manager focuses the first tab stop
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        Accept(dialog, *run);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_HELP:
      ShowHelpTopic(dialog, ModuleHelpPath() + kAdvancedHelpTopic);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

const DialogLayout& AdvancedDialogLayout() {
  static const DialogLayout layout = MakeLayout();
  return layout;
}

INT_PTR RunAdvancedDialog(HWND parent, uint16_t default_port, uint8_t* settings, int32_t* changed,
                          const SerialPortSource& ports) {
  AdvancedRun run{settings, changed, default_port, &ports, {}};
  std::memcpy(&run.work, settings, sizeof run.work);
  return RunDialog(ModuleInstance(), parent, AdvancedDialogLayout(), AdvancedProc,
                   reinterpret_cast<LPARAM>(&run));
}

}  // namespace parvex
