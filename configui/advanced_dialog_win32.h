// The Advanced dialog on Windows: a device's serial port, baud rate, parity and data bits, as a
// native dialog from an in-memory template.
#ifndef PARVEX_CONFIGUI_ADVANCED_DIALOG_WIN32_H_
#define PARVEX_CONFIGUI_ADVANCED_DIALOG_WIN32_H_

#include <windows.h>

#include <cstdint>

#include "configui/dialog_template_win32.h"
#include "configui/registered_ports.h"

namespace parvex {

/// The dialog's template: caption "Advanced", 172 x 130 units, 8-point "MS Sans Serif".
const DialogLayout& AdvancedDialogLayout();

/// Runs the modal dialog over a copy of the 20 settings bytes at `settings` (BaudRate,
/// PortName, Parity, DataBits as stored), with the Port list from `ports`. OK writes the copy
/// back only when it differs and sets `*changed` to 1, or to 0 without a difference; Cancel
/// writes nothing. F1 shows the dialog's help topic. Returns IDOK, IDCANCEL, or -1 when the
/// dialog could not be made.
INT_PTR RunAdvancedDialog(HWND parent, uint16_t default_port, uint8_t* settings, int32_t* changed,
                          const SerialPortSource& ports = RegisteredSerialPorts);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_ADVANCED_DIALOG_WIN32_H_
