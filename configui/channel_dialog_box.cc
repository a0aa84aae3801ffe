#include "configui/channel_dialog_box.h"

#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "configui/channel_source.h"
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
      "Channel",
      167,
      146,
      kDialogFontPoints,
      kDialogFontFace,
      {
          // Neither button is the default: Enter presses the focused button, or OK elsewhere.
          {kPushButton, "&OK", kestrum::kDialogOk, true, 18, 108, 48, 16},
          {kPushButton, "&Cancel", kestrum::kDialogCancel, true, 97, 108, 48, 16},
          {kGroupBox, "", kNone, false, 7, 7, 153, 132},
          {kDropDownList, "", kFieldTypeComboId, false, 82, 32, 52, 56,
           kestrum::ItemsOf(kFieldTypeItems), false, true},
          {kEdit, "", kPortEditId, true, 82, 54, 40, 14},
          {kDropDownList, "", kValueTypeComboId, true, 82, 75, 48, 64,
           kestrum::ItemsOf(kValueTypeItems), false, true},
          {kLabel, "Field Type", kFieldTypeLabelId, false, 25, 33, 38, 8},
          {kLabel, "PORT", kPortLabelId, false, 25, 56, 21, 8},
          {kLabel, "ValueType", kValueTypeLabelId, false, 25, 76, 44, 8},
      }};
}

const kestrum::DialogLayout& Layout() {
  static const kestrum::DialogLayout layout = MakeLayout();
  return layout;
}

void ApplyEnableRule(DialogHandle& dialog, int field_type) {
  bool enabled = ValueControlsEnabled(field_type);
  for (int id : {kPortLabelId, kPortEditId, kValueTypeLabelId, kValueTypeComboId}) {
    dialog.Enable(id, enabled);
  }
}

// Reads the three controls; a refused port text shows the message and takes the focus back to
// the port with its text selected.
bool ReadControls(DialogHandle& dialog, ChannelSource* source) {
  std::optional<unsigned> port = ParsePortNumber(dialog.Text(kPortEditId));
  if (!port) {
    dialog.ShowMessage(kPortRangeMessage, dialog.Text(kestrum::kUnaddressedId));
    dialog.Focus(kPortEditId);
    dialog.SelectAllText(kPortEditId);
    return false;
  }
  source->field_type = dialog.SelectedItem(kFieldTypeComboId);
  source->port = *port;
  source->value_type = dialog.SelectedItem(kValueTypeComboId);
  return true;
}

// One run of the dialog: the record it works on and how it answers the dialog's events.
class ChannelRun : public kestrum::DialogEvents {
 public:
  ChannelRun(ParvexChannelRecord* record, int32_t* changed) : record_(record), changed_(changed) {}

  void Init(DialogHandle& dialog) override {
    ChannelSource source = ReadChannelSource(*record_);
    dialog.SelectItem(kFieldTypeComboId, source.field_type);
    dialog.SetText(kPortEditId, std::to_string(source.port));
    dialog.SelectItem(kValueTypeComboId, source.value_type);
    ApplyEnableRule(dialog, source.field_type);
  }

  bool Command(DialogHandle& dialog, int id, int notification) override {
    switch (id) {
      case kestrum::kDialogOk: {
        ChannelSource chosen;
        if (!ReadControls(dialog, &chosen)) return true;  // stays open, nothing stored
        if (StoreChannelSource(chosen, *record_)) *changed_ = 1;
        dialog.End(kestrum::kDialogOk);
        return true;
      }
      case kestrum::kDialogCancel:
        dialog.End(kestrum::kDialogCancel);
        return true;
      case kFieldTypeComboId:
        // A changed field type re-reads the controls; a refused port keeps the enable state.
        if (notification == kestrum::kSelectionChanged) {
          ChannelSource chosen;
          if (ReadControls(dialog, &chosen)) ApplyEnableRule(dialog, chosen.field_type);
          return true;
        }
        return false;
      default:
        return false;
    }
  }

  void Help(DialogHandle& dialog) override {
    ShowHelpTopic(dialog.window(), ModuleHelpPath() + kChannelHelpTopic);
  }

 private:
  ParvexChannelRecord* record_;
  int32_t* changed_;
};

}  // namespace

int RunChannelDialog(ParvexParentWindow parent, ParvexChannelRecord* record, int32_t* changed) {
  ChannelRun run(record, changed);
  return kestrum::RunDialogBox(parent, Layout(), run);
}

}  // namespace parvex
