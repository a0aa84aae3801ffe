// The Channel dialog: where a channel takes its value from in the counter's report.
#ifndef PARVEX_CONFIGUI_CHANNEL_DIALOG_H_
#define PARVEX_CONFIGUI_CHANNEL_DIALOG_H_

#include <QDialog>

#include <cstdint>

#include "configui/channel_source.h"
#include "configui/dialog_ids.h"
#include "configui/parvex_cf.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;

namespace parvex {

/// Edits bytes 188 to 190 of a channel record. OK stores them and sets `*changed` to 1 unless
/// the choice is VALUE with the record's own port and value type; a port text that is not a
/// whole number from 0 to 255 keeps the dialog open with a message. Cancel writes nothing.
/// Enter presses the focused button, or OK anywhere else. `record` and `changed` must outlive
/// the dialog.
class ChannelDialog : public QDialog {
 public:
  ChannelDialog(QWidget* parent, ParvexChannelRecord* record, int32_t* changed);

  /// Validates the port and stores as described above; stays open on a refused port.
  void accept() override;

  /// The message box of the last refused port text, or null (it closes by itself on OK).
  QMessageBox* port_message() const { return message_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool ReadControls(ChannelSource* source);
  void ApplyEnableRule(int field_type);
  void ShowPortMessage();

  ParvexChannelRecord* record_;
  int32_t* changed_;
  QComboBox* field_type_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* value_type_ = nullptr;
  QLabel* port_label_ = nullptr;
  QLabel* value_type_label_ = nullptr;
  QMessageBox* message_ = nullptr;
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_CHANNEL_DIALOG_H_
