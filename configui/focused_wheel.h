// Combo boxes that take the mouse wheel only while they have the keyboard focus.
#ifndef PARVEX_CONFIGUI_FOCUSED_WHEEL_H_
#define PARVEX_CONFIGUI_FOCUSED_WHEEL_H_

class QComboBox;

namespace parvex {

/// Makes `combo` leave the mouse wheel alone unless it has the keyboard focus, and stops the
/// wheel from giving it the focus: turning the wheel over a list the user is not editing does
/// not change its value. Returns nothing and sets no error.
void TakeWheelOnlyWhenFocused(QComboBox* combo);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_FOCUSED_WHEEL_H_
