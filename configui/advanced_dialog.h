// The Advanced dialog: a device's serial port, baud rate, parity and data bits.
#ifndef PARVEX_CONFIGUI_ADVANCED_DIALOG_H_
#define PARVEX_CONFIGUI_ADVANCED_DIALOG_H_

#include <QDialog>

#include <cstdint>

#include "configui/comm_settings_map.h"
#include "configui/dialog_ids.h"
#include "configui/registered_ports.h"

class QComboBox;

namespace parvex {

/// Edits a copy of the 20 settings bytes at `settings` (BaudRate, PortName, Parity, DataBits as
/// stored). OK writes the copy back only when it differs and sets `*changed` to 1, or to 0
/// without a difference; Cancel writes nothing. `settings` and `changed` must outlive the
/// dialog.
class AdvancedDialog : public QDialog {
 public:
  AdvancedDialog(QWidget* parent, uint16_t default_port, uint8_t* settings, int32_t* changed,
                 const SerialPortSource& ports = RegisteredSerialPorts);

  /// Reads the lists into the copy, stores it on a change, sets the changed flag and closes.
  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QComboBox* AddCombo(int id, int x, int y, int w, int h, const char* label, int lx, int lw);
  void FillPortList(const SerialPortSource& ports);

  uint8_t* settings_;
  PortSettings work_;
  int32_t* changed_;
  QComboBox* port_ = nullptr;
  QComboBox* baud_rate_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* data_bits_ = nullptr;
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_ADVANCED_DIALOG_H_
