#include "configui/channel_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <memory>

#include "configui/module_help.h"

namespace parvex {
namespace {

struct ChannelDialogTest : ::testing::Test {
  ParvexChannelRecord record{};
  int32_t changed = 77;

  std::unique_ptr<ChannelDialog> Open(uint8_t field_type, uint8_t port, uint8_t value_type) {
    record.Bytes[188] = field_type;
    record.Bytes[189] = port;
    record.Bytes[190] = value_type;
    record.Bytes[187] = 0x5A;  // neighbours must survive every store
    record.Bytes[191] = 0xA5;
    return std::make_unique<ChannelDialog>(nullptr, &record, &changed);
  }
  template <typename T>
  static T* Control(ChannelDialog& d, int id) {
    return d.findChild<T*>(QString::number(id));
  }
  // The four controls the field type enables, in the order PORT label, edit, ValueType label,
  // list.
  static std::vector<bool> Enabled(ChannelDialog& d) {
    return {Control<QLabel>(d, 1005)->isEnabled(), Control<QLineEdit>(d, 1001)->isEnabled(),
            Control<QLabel>(d, 1004)->isEnabled(), Control<QComboBox>(d, 1002)->isEnabled()};
  }
  static void ChooseFieldType(ChannelDialog& d, int position) {
    QComboBox* field = Control<QComboBox>(d, 1000);
    field->setCurrentIndex(position);
    emit field->activated(position);
  }
};

const std::vector<bool> kAllOn = {true, true, true, true};
const std::vector<bool> kAllOff = {false, false, false, false};

TEST_F(ChannelDialogTest, ShowsItsControlsWithTheirItems) {
  auto d = Open(0, 3, 6);
  EXPECT_EQ(d->windowTitle(), "Channel");
  QStringList fields, values;
  for (int i = 0; i < Control<QComboBox>(*d, 1000)->count(); ++i) {
    fields << Control<QComboBox>(*d, 1000)->itemText(i);
  }
  for (int i = 0; i < Control<QComboBox>(*d, 1002)->count(); ++i) {
    values << Control<QComboBox>(*d, 1002)->itemText(i);
  }
  EXPECT_EQ(fields, QStringList({"VALUE", "TIME", "DATE", "PORT", "VOLUME"}));
  EXPECT_EQ(values, QStringList({"0.3-0.5", "0.5-1.0", "1.0-5.0", "5.0-10", "10-25", ">25", "RH",
                                 "TEMP", "FLOW"}));
  EXPECT_EQ(Control<QLabel>(*d, 1003)->text(), "Field Type");
  EXPECT_EQ(Control<QLabel>(*d, 1005)->text(), "PORT");
  EXPECT_EQ(Control<QLabel>(*d, 1004)->text(), "ValueType");
}

TEST_F(ChannelDialogTest, ValueRecordOpensEnabledAndUnchangedOkStoresNothing) {
  auto d = Open(0, 3, 6);
  EXPECT_EQ(Control<QComboBox>(*d, 1000)->currentText(), "VALUE");
  EXPECT_EQ(Control<QLineEdit>(*d, 1001)->text(), "3");
  EXPECT_EQ(Control<QComboBox>(*d, 1002)->currentText(), "RH");
  EXPECT_EQ(Enabled(*d), kAllOn);
  d->accept();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(changed, 77);

  d = Open(0, 3, 6);
  Control<QComboBox>(*d, 1002)->setCurrentIndex(8);
  d->accept();
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(record.Bytes[190], 8);
}

TEST_F(ChannelDialogTest, OtherFieldTypesDisableAndAlwaysStore) {
  auto d = Open(1, 3, 6);
  EXPECT_EQ(Control<QComboBox>(*d, 1000)->currentText(), "TIME");
  EXPECT_EQ(Enabled(*d), kAllOff);
  d->accept();
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(record.Bytes[188], 1);

  // Switching at run time: TIME disables at once, VALUE enables with the contents kept.
  changed = 77;
  d = Open(1, 3, 6);
  ChooseFieldType(*d, 0);
  EXPECT_EQ(Enabled(*d), kAllOn);
  ChooseFieldType(*d, 4);
  EXPECT_EQ(Enabled(*d), kAllOff);
  ChooseFieldType(*d, 0);
  EXPECT_EQ(Control<QLineEdit>(*d, 1001)->text(), "3");
  EXPECT_EQ(Control<QComboBox>(*d, 1002)->currentText(), "RH");
  d->accept();
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(record.Bytes[188], 0);
  EXPECT_EQ(record.Bytes[189], 3);
  EXPECT_EQ(record.Bytes[190], 6);
  EXPECT_EQ(record.Bytes[187], 0x5A);
  EXPECT_EQ(record.Bytes[191], 0xA5);
}

TEST_F(ChannelDialogTest, PortOutsideZeroTo255KeepsTheDialogOpen) {
  for (const char* bad : {"256", "-1", "port", ""}) {
    auto d = Open(0, 3, 6);
    d->show();
    Control<QLineEdit>(*d, 1001)->setText(bad);
    d->accept();
    EXPECT_TRUE(d->isVisible()) << bad;
    EXPECT_NE(d->result(), QDialog::Accepted) << bad;
    ASSERT_NE(d->port_message(), nullptr);
    EXPECT_TRUE(d->port_message()->isVisible());
    EXPECT_EQ(d->port_message()->text(), kPortRangeMessage);
    EXPECT_EQ(changed, 77);
    EXPECT_EQ(record.Bytes[189], 3);
    // A field type change with the bad text keeps the enable state as it was.
    ChooseFieldType(*d, 2);
    EXPECT_EQ(Enabled(*d), kAllOn) << bad;
  }
  for (auto [text, port] : {std::pair{"0", 0}, {"255", 255}}) {
    auto d = Open(0, 3, 6);
    Control<QLineEdit>(*d, 1001)->setText(text);
    d->accept();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(record.Bytes[189], port);
    EXPECT_EQ(changed, 1);
  }
}

TEST_F(ChannelDialogTest, EnterPressesTheFocusedButtonOrElseOk) {
  struct Case {
    const char* focus;  // object name of the focused control
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int result;
  } cases[] = {
      {"1001", Qt::Key_Return, Qt::NoModifier, QDialog::Accepted},
      {"1001", Qt::Key_Enter, Qt::KeypadModifier, QDialog::Accepted},
      {"1002", Qt::Key_Return, Qt::NoModifier, QDialog::Accepted},
      {"1", Qt::Key_Return, Qt::NoModifier, QDialog::Accepted},
      {"2", Qt::Key_Return, Qt::NoModifier, QDialog::Rejected},
  };
  for (const Case& c : cases) {
    changed = 77;
    auto d = Open(0, 3, 6);
    d->show();
    d->activateWindow();
    QApplication::processEvents();
    Control<QLineEdit>(*d, 1001)->setText("7");
    auto* target = d->findChild<QWidget*>(c.focus);
    target->setFocus();
    QKeyEvent enter(QEvent::KeyPress, c.key, c.modifiers);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_FALSE(d->isVisible()) << c.focus;
    EXPECT_EQ(d->result(), c.result) << c.focus;
    EXPECT_EQ(changed, c.result == QDialog::Accepted ? 1 : 77) << c.focus;
  }
}

TEST_F(ChannelDialogTest, CancelTouchesNothingAndF1AsksForHelp) {
  auto d = Open(2, 9, 1);
  ChooseFieldType(*d, 0);
  Control<QLineEdit>(*d, 1001)->setText("44");
  ParvexChannelRecord before = record;
  d->reject();
  EXPECT_EQ(changed, 77);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);

  std::string topic;
  SetHelpViewer([&](const std::string& t) { topic = t; });
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(d.get(), &f1);
  SetHelpViewer(nullptr);
  EXPECT_EQ(topic, ModuleHelpPath() + "::/html/clim8ir7.htm");
}

}  // namespace
}  // namespace parvex
