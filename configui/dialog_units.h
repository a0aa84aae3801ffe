// Placement of controls by dialog units, as the dialogs' layouts are given.
#ifndef PARVEX_CONFIGUI_DIALOG_UNITS_H_
#define PARVEX_CONFIGUI_DIALOG_UNITS_H_

#include <QRect>
#include <QWidget>

#include <algorithm>

namespace parvex {

/// Converts a rectangle in dialog units of an 8-point dialog font (4 horizontal units and 8
/// vertical units per character cell of 6 x 13 pixels) into pixels.
inline QRect DialogRect(int x, int y, int w, int h) {
  return QRect(x * 6 / 4, y * 13 / 8, w * 6 / 4, h * 13 / 8);
}

/// Places `widget` at a rectangle in dialog units.
inline void PlaceInDialogUnits(QWidget* widget, int x, int y, int w, int h) {
  widget->setGeometry(DialogRect(x, y, w, h));
}

/// Places a label at a rectangle in dialog units, widened to its text where the toolkit's font
/// is wider than the layout's.
inline void PlaceLabelInDialogUnits(QWidget* label, int x, int y, int w, int h) {
  QRect r = DialogRect(x, y, w, h);
  r.setWidth(std::max(r.width(), label->sizeHint().width()));
  label->setGeometry(r);
}

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_DIALOG_UNITS_H_
