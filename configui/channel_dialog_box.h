// The Channel dialog on Windows: where a channel takes its value from in the counter's report,
// as a native dialog from an in-memory template.
#ifndef PARVEX_CONFIGUI_CHANNEL_DIALOG_BOX_H_
#define PARVEX_CONFIGUI_CHANNEL_DIALOG_BOX_H_

#include <cstdint>

#include "configui/parvex_cf.h"

namespace parvex {

/// Runs the modal dialog (caption "Channel", 167 x 146 units, 8-point "MS Sans Serif") over
/// bytes 188 to 190 of `record`. OK stores them and sets `*changed` to 1 unless the choice is
/// VALUE with the record's own port and value type; a port text that is not a whole number
/// from 0 to 255 shows a message and keeps the dialog open. Cancel writes nothing. F1 shows the
/// dialog's help topic. Returns kestrum::kDialogOk, kDialogCancel, or -1 when the dialog could
/// not be made.
int RunChannelDialog(ParvexParentWindow parent, ParvexChannelRecord* record, int32_t* changed);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_CHANNEL_DIALOG_BOX_H_
