#include "configui/advanced_dialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cstring>

#include "configui/dialog_units.h"
#include "configui/focused_wheel.h"
#include "configui/module_help.h"

namespace parvex {
namespace {

// Combo boxes show one line of 12 units; the template's heights include the drop-down part.
constexpr int kComboHeight = 12;

void SetCurrent(QComboBox* combo, int position) {
  combo->setCurrentIndex(position >= 0 && position < combo->count() ? position : -1);
}

// The Port list is sorted as a list box sorts: ignoring case.
void InsertSorted(QComboBox* combo, const QString& text) {
  int at = 0;
  while (at < combo->count() &&
         QString::compare(combo->itemText(at), text, Qt::CaseInsensitive) <= 0) {
    ++at;
  }
  combo->insertItem(at, text);
}

}  // namespace

AdvancedDialog::AdvancedDialog(QWidget* parent, uint16_t default_port, uint8_t* settings,
                               int32_t* changed, const SerialPortSource& ports)
    : QDialog(parent), settings_(settings), changed_(changed) {
  std::memcpy(&work_, settings_, sizeof work_);
  setWindowTitle("Advanced");
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  setFixedSize(DialogRect(0, 0, 172, 130).size());

  auto* frame = new QGroupBox(this);
  PlaceInDialogUnits(frame, 7, 7, 158, 116);
  port_ = AddCombo(kPortComboId, 87, 23, 44, kComboHeight, "Port:", 35, 17);
  baud_rate_ = AddCombo(kBaudRateComboId, 87, 37, 44, kComboHeight, "Baud Rate:", 35, 38);
  parity_ = AddCombo(kParityComboId, 87, 51, 44, kComboHeight, "Parity:", 35, 22);
  data_bits_ = AddCombo(kDataBitsComboId, 87, 65, 44, kComboHeight, "Data Bits:", 35, 34);
  for (const char* item : kBaudRateItems) baud_rate_->addItem(item);
  for (const char* item : kParityItems) parity_->addItem(item);
  for (const char* item : kDataBitsItems) data_bits_->addItem(item);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("1");
  ok->setDefault(true);
  PlaceInDialogUnits(ok, 26, 97, 50, 14);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("2");
  PlaceInDialogUnits(cancel, 99, 97, 50, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  // A default name that does not fit is not cut into another port: the port stays unset, with
  // the stored settings, until the user chooses one.
  ApplyPortDefaults(work_, default_port);
  FillPortList(ports);
  int port_at = port_->findText(QString::fromStdString(PortNameOf(work_)), Qt::MatchFixedString);
  if (port_at < 0) {
    port_at = port_->findText(QString::fromStdString(PortNameOf(work_)), Qt::MatchStartsWith);
  }
  port_->setCurrentIndex(port_at);
  SetCurrent(baud_rate_, BaudRatePosition(work_.baud_rate));
  SetCurrent(data_bits_, DataBitsPosition(work_.data_bits));
  SetCurrent(parity_, ParityPosition(work_.parity));
}

QComboBox* AdvancedDialog::AddCombo(int id, int x, int y, int w, int h, const char* label, int lx,
                                    int lw) {
  auto* text = new QLabel(label, this);
  PlaceLabelInDialogUnits(text, lx, y + 4, lw, 8);
  auto* combo = new QComboBox(this);
  combo->setObjectName(QString::number(id));
  combo->setEditable(false);
  PlaceInDialogUnits(combo, x, y, w, h);
  text->setBuddy(combo);
  TakeWheelOnlyWhenFocused(combo);
  return combo;
}

void AdvancedDialog::FillPortList(const SerialPortSource& ports) {
  port_->clear();
  std::string current = PortNameOf(work_);
  for (const std::string& item : PortListItems(ports ? ports() : std::nullopt, current)) {
    InsertSorted(port_, QString::fromStdString(item));
  }
}

void AdvancedDialog::accept() {
  std::optional<std::string> chosen;
  if (port_->currentIndex() >= 0) chosen = port_->currentText().toStdString();
  TakeChosenPortName(work_, chosen);
  work_.baud_rate = BaudRateAt(baud_rate_->currentIndex());
  work_.parity = ParityAt(parity_->currentIndex());
  work_.data_bits = DataBitsAt(data_bits_->currentIndex());
  *changed_ = StorePortSettings(work_, settings_);
  QDialog::accept();
}

void AdvancedDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    ShowHelpTopic(ModuleHelpPath() + kAdvancedHelpTopic);
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace parvex
