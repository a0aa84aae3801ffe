#include "configui/advanced_dialog_box.h"

#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "configui/comm_settings_map.h"
#include "configui/dialog_ids.h"
#include "configui/html_module_help.h"
#include "platform/dialog_box.h"

namespace parvex {
namespace {

using kestrum::DialogControlKind;
using kestrum::DialogHandle;

kestrum::DialogLayout MakeLayout() {
  using enum DialogControlKind;
  constexpr int kNone = kestrum::kUnaddressedId;
  return kestrum::DialogLayout{
      "Advanced",
      172,
      130,
      kDialogFontPoints,
      kDialogFontFace,
      {
          {kLabel, "Port:", kNone, false, 35, 27, 17, 8},
          {kDropDownList, "", kPortComboId, true, 87, 23, 44, 56, {}, true, true},
          {kLabel, "Baud Rate:", kNone, false, 35, 41, 38, 8},
          {kDropDownList, "", kBaudRateComboId, true, 87, 37, 44, 57,
           kestrum::ItemsOf(kBaudRateItems)},
          {kLabel, "Parity:", kNone, false, 35, 55, 22, 8},
          {kDropDownList, "", kParityComboId, true, 87, 51, 44, 57, kestrum::ItemsOf(kParityItems)},
          {kLabel, "Data Bits:", kNone, false, 35, 69, 34, 8},
          {kDropDownList, "", kDataBitsComboId, true, 87, 65, 44, 47,
           kestrum::ItemsOf(kDataBitsItems)},
          {kDefaultButton, "OK", kestrum::kDialogOk, true, 26, 97, 50, 14},
          {kPushButton, "Cancel", kestrum::kDialogCancel, true, 99, 97, 50, 14},
          {kGroupBox, "", kNone, false, 7, 7, 158, 116},
      }};
}

const kestrum::DialogLayout& Layout() {
  static const kestrum::DialogLayout layout = MakeLayout();
  return layout;
}

// One run of the dialog: what it works on and how it answers the dialog's events.
class AdvancedRun : public kestrum::DialogEvents {
 public:
  AdvancedRun(uint8_t* settings, int32_t* changed, uint16_t default_port,
              const SerialPortSource& ports)
      : settings_(settings), changed_(changed), default_port_(default_port), ports_(ports) {
    std::memcpy(&work_, settings, sizeof work_);
  }

  void Init(DialogHandle& dialog) override {
    // A default name that does not fit is not cut into another port: the port stays unset,
    // with the stored settings, until the user chooses one.
    ApplyPortDefaults(work_, default_port_);
    std::string current = PortNameOf(work_);
    dialog.ClearItems(kPortComboId);
    for (const std::string& item : PortListItems(ports_ ? ports_() : std::nullopt, current)) {
      dialog.AddItem(kPortComboId, item);
    }
    dialog.SelectString(kPortComboId, current);
    dialog.SelectItem(kBaudRateComboId, BaudRatePosition(work_.baud_rate));
    dialog.SelectItem(kDataBitsComboId, DataBitsPosition(work_.data_bits));
    dialog.SelectItem(kParityComboId, ParityPosition(work_.parity));
  }

  bool Command(DialogHandle& dialog, int id, int) override {
    if (id == kestrum::kDialogOk) {
      Accept(dialog);
      dialog.End(kestrum::kDialogOk);
      return true;
    }
    if (id == kestrum::kDialogCancel) {
      dialog.End(kestrum::kDialogCancel);
      return true;
    }
    return false;
  }

  void Help(DialogHandle& dialog) override {
    ShowHelpTopic(dialog.window(), ModuleHelpPath() + kAdvancedHelpTopic);
  }

 private:
  void Accept(DialogHandle& dialog) {
    TakeChosenPortName(work_, dialog.ItemText(kPortComboId, dialog.SelectedItem(kPortComboId)));
    work_.baud_rate = BaudRateAt(dialog.SelectedItem(kBaudRateComboId));
    work_.parity = ParityAt(dialog.SelectedItem(kParityComboId));
    work_.data_bits = DataBitsAt(dialog.SelectedItem(kDataBitsComboId));
    *changed_ = StorePortSettings(work_, settings_);
  }

  uint8_t* settings_;
  int32_t* changed_;
  uint16_t default_port_;
  const SerialPortSource& ports_;
  PortSettings work_{};
};

}  // namespace

int RunAdvancedDialog(ParvexParentWindow parent, uint16_t default_port, uint8_t* settings,
                      int32_t* changed, const SerialPortSource& ports) {
  AdvancedRun run(settings, changed, default_port, ports);
  return kestrum::RunDialogBox(parent, Layout(), run);
}

}  // namespace parvex
