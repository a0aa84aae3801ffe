#include "configui/focused_wheel.h"

#include <QComboBox>
#include <QEvent>

namespace parvex {
namespace {

// Swallows wheel events of an unfocused widget. The event is left unaccepted, so the toolkit
// offers it to the widget's parents instead.
class FocusedWheelFilter : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->hasFocus()) return false;
    event->ignore();
    return true;
  }
};

}  // namespace

void TakeWheelOnlyWhenFocused(QComboBox* combo) {
  if (combo->focusPolicy() == Qt::WheelFocus) combo->setFocusPolicy(Qt::StrongFocus);
  combo->installEventFilter(new FocusedWheelFilter(combo));
}

}  // namespace parvex
