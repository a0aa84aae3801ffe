// The control ids and the font of the two dialogs, shared by every toolkit that draws them (the Qt
// dialogs also use them as the controls' object names).
#ifndef PARVEX_CONFIGUI_DIALOG_IDS_H_
#define PARVEX_CONFIGUI_DIALOG_IDS_H_

namespace parvex {

// The font of both dialogs, in points.
inline constexpr int kDialogFontPoints = 8;
inline constexpr const char* kDialogFontFace = "MS Sans Serif";

// The Advanced dialog.
inline constexpr int kPortComboId = 601;
inline constexpr int kBaudRateComboId = 602;
inline constexpr int kParityComboId = 603;
inline constexpr int kDataBitsComboId = 604;

// The Channel dialog.
inline constexpr int kFieldTypeComboId = 1000;
inline constexpr int kPortEditId = 1001;
inline constexpr int kValueTypeComboId = 1002;
inline constexpr int kFieldTypeLabelId = 1003;
inline constexpr int kValueTypeLabelId = 1004;
inline constexpr int kPortLabelId = 1005;

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_DIALOG_IDS_H_
