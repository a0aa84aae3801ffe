#include "configui/channel_dialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "configui/dialog_units.h"
#include "configui/focused_wheel.h"
#include "configui/module_help.h"

namespace parvex {
namespace {

QLabel* AddLabel(QWidget* parent, int id, const char* text, int x, int y, int w, int h) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::number(id));
  PlaceLabelInDialogUnits(label, x, y, w, h);
  return label;
}

QComboBox* AddList(QWidget* parent, int id, int x, int y, int w) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::number(id));
  combo->setEditable(false);
  PlaceInDialogUnits(combo, x, y, w, 12);
  TakeWheelOnlyWhenFocused(combo);
  return combo;
}

void SetCurrent(QComboBox* combo, int position) {
  combo->setCurrentIndex(position >= 0 && position < combo->count() ? position : -1);
}

}  // namespace

ChannelDialog::ChannelDialog(QWidget* parent, ParvexChannelRecord* record, int32_t* changed)
    : QDialog(parent), record_(record), changed_(changed) {
  setWindowTitle("Channel");
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  setFixedSize(DialogRect(0, 0, 167, 146).size());

  auto* ok = new QPushButton("&OK", this);
  ok->setObjectName("1");
  ok->setAutoDefault(false);
  PlaceInDialogUnits(ok, 18, 108, 48, 16);
  auto* cancel = new QPushButton("&Cancel", this);
  cancel->setObjectName("2");
  cancel->setAutoDefault(false);
  PlaceInDialogUnits(cancel, 97, 108, 48, 16);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* frame = new QGroupBox(this);
  PlaceInDialogUnits(frame, 7, 7, 153, 132);
  frame->lower();

  field_type_ = AddList(this, kFieldTypeComboId, 82, 32, 52);
  field_type_->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
  for (const char* item : kFieldTypeItems) field_type_->addItem(item);
  port_ = new QLineEdit(this);
  port_->setObjectName(QString::number(kPortEditId));
  PlaceInDialogUnits(port_, 82, 54, 40, 14);
  value_type_ = AddList(this, kValueTypeComboId, 82, 75, 48);
  for (const char* item : kValueTypeItems) value_type_->addItem(item);
  AddLabel(this, kFieldTypeLabelId, "Field Type", 25, 33, 38, 8);
  port_label_ = AddLabel(this, kPortLabelId, "PORT", 25, 56, 21, 8);
  value_type_label_ = AddLabel(this, kValueTypeLabelId, "ValueType", 25, 76, 44, 8);

  ChannelSource source = ReadChannelSource(*record_);
  SetCurrent(field_type_, source.field_type);
  port_->setText(QString::number(source.port));
  SetCurrent(value_type_, source.value_type);
  ApplyEnableRule(source.field_type);

  // A changed field type re-reads the controls; a refused port keeps the enable state.
  connect(field_type_, &QComboBox::activated, this, [this] {
    ChannelSource chosen;
    if (ReadControls(&chosen)) ApplyEnableRule(chosen.field_type);
  });
}

bool ChannelDialog::ReadControls(ChannelSource* source) {
  std::optional<unsigned> port = ParsePortNumber(port_->text().toStdString());
  if (!port) {
    ShowPortMessage();
    port_->setFocus();
    port_->selectAll();
    return false;
  }
  source->field_type = field_type_->currentIndex();
  source->port = *port;
  source->value_type = value_type_->currentIndex();
  return true;
}

void ChannelDialog::ApplyEnableRule(int field_type) {
  bool enabled = ValueControlsEnabled(field_type);
  for (QWidget* w :
       {static_cast<QWidget*>(port_label_), static_cast<QWidget*>(port_),
        static_cast<QWidget*>(value_type_label_), static_cast<QWidget*>(value_type_)}) {
    w->setEnabled(enabled);
  }
}

void ChannelDialog::ShowPortMessage() {
  if (message_ == nullptr) {
    message_ = new QMessageBox(QMessageBox::Warning, windowTitle(), kPortRangeMessage,
                               QMessageBox::Ok, this);
    message_->setObjectName("portMessage");
  }
  message_->open();  // window-modal, so the dialog stays open behind it
}

void ChannelDialog::accept() {
  ChannelSource chosen;
  if (!ReadControls(&chosen)) return;
  if (message_) message_->close();
  if (StoreChannelSource(chosen, *record_)) *changed_ = 1;
  QDialog::accept();
}

void ChannelDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    ShowHelpTopic(ModuleHelpPath() + kChannelHelpTopic);
    event->accept();
    return;
  }
  // Neither button is the default, so Enter presses the focused button, and anywhere else it
  // is OK.
  const bool enter = (event->key() == Qt::Key_Return && event->modifiers() == Qt::NoModifier) ||
                     (event->key() == Qt::Key_Enter &&
                      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier);
  if (enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      accept();
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace parvex
