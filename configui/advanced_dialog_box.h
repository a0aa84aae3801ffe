// The Advanced dialog on Windows: a device's serial port, baud rate, parity and data bits, as a
// native dialog from an in-memory template.
#ifndef PARVEX_CONFIGUI_ADVANCED_DIALOG_BOX_H_
#define PARVEX_CONFIGUI_ADVANCED_DIALOG_BOX_H_

#include <cstdint>

#include "configui/parvex_cf.h"
#include "configui/registered_ports.h"

namespace parvex {

/// Runs the modal dialog (caption "Advanced", 172 x 130 units, 8-point "MS Sans Serif") over a
/// copy of the 20 settings bytes at `settings` (BaudRate, PortName, Parity, DataBits as
/// stored), with the Port list from `ports`. OK writes the copy back only when it differs and
/// sets `*changed` to 1, or to 0 without a difference; Cancel writes nothing. F1 shows the
/// dialog's help topic. Returns kestrum::kDialogOk, kDialogCancel, or -1 when the dialog could
/// not be made.
int RunAdvancedDialog(ParvexParentWindow parent, uint16_t default_port, uint8_t* settings,
                      int32_t* changed, const SerialPortSource& ports = RegisteredSerialPorts);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_ADVANCED_DIALOG_BOX_H_
