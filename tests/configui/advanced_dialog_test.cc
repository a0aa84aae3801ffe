#include "configui/advanced_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "configui/channel_dialog.h"
#include "configui/module_help.h"
#include "configui/parvex_cf.h"
#include "test_util.h"

namespace parvex {
namespace {

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

// The Advanced dialog over a 24-byte CommSettings whose 20 last bytes it edits, with a
// neighbouring guard word that must never change.
struct AdvancedDialogTest : ::testing::Test {
  struct Stored {
    ParvexCommSettings comm;
    uint32_t guard = 0xDEADBEEF;
  } stored{};
  int32_t changed = 77;
  std::optional<std::vector<SerialPortValue>> registry = std::vector<SerialPortValue>{
      {"Serial0", "COM1"}, {"Serial2", "COM3"}, {"Serial9", "COM10"}, {"Usb", "USBSER000"}};

  void Store(int32_t baud, const char* port, uint32_t parity, int32_t data_bits) {
    stored.comm = ParvexCommSettings{1000, baud, {}, parity, data_bits};
    std::snprintf(stored.comm.PortName, sizeof stored.comm.PortName, "%s", port);
  }
  std::unique_ptr<AdvancedDialog> Open(uint16_t default_port = 4) {
    auto source = [this] { return registry; };
    return std::make_unique<AdvancedDialog>(
        nullptr, default_port, reinterpret_cast<uint8_t*>(&stored.comm.BaudRate), &changed, source);
  }
  static QComboBox* Combo(AdvancedDialog& d, int id) {
    return d.findChild<QComboBox*>(QString::number(id));
  }
};

TEST_F(AdvancedDialogTest, ShowsItsCaptionAndFixedItemsInOrder) {
  Store(9600, "COM3", 0, 8);
  auto d = Open();
  EXPECT_EQ(d->windowTitle(), "Advanced");
  EXPECT_EQ(Items(Combo(*d, 602)), QStringList({"300", "1200", "9600", "19200", "38400"}));
  EXPECT_EQ(Items(Combo(*d, 603)), QStringList({"None", "Odd", "Even", "Space", "Mark"}));
  EXPECT_EQ(Items(Combo(*d, 604)), QStringList({"5", "6", "7", "8"}));
  // Only short string values are offered, sorted; the stored port is among them.
  EXPECT_EQ(Items(Combo(*d, 601)), QStringList({"COM1", "COM10", "COM3"}));
  EXPECT_EQ(Combo(*d, 601)->currentText(), "COM3");
}

TEST_F(AdvancedDialogTest, PortListMatchesIgnoringCaseAndKeepsAnUnlistedPort) {
  Store(9600, "com10", 0, 8);
  auto d = Open();
  EXPECT_EQ(Items(Combo(*d, 601)), QStringList({"COM1", "COM10", "COM3"}));
  EXPECT_EQ(Combo(*d, 601)->currentText(), "COM10");

  Store(9600, "COM7", 0, 8);
  d = Open();
  EXPECT_EQ(Items(Combo(*d, 601)), QStringList({"COM1", "COM10", "COM3", "COM7"}));
  EXPECT_EQ(Combo(*d, 601)->currentText(), "COM7");

  registry.reset();  // no registry: the stored port alone
  d = Open();
  EXPECT_EQ(Items(Combo(*d, 601)), QStringList({"COM7"}));
}

TEST_F(AdvancedDialogTest, StoredValuesSelectTheirPositions) {
  const int32_t rates[] = {300, 1200, 9600, 19200, 38400, 4800, 0};
  const int rate_positions[] = {0, 1, 2, 3, 4, 4, 4};
  for (int i = 0; i < 7; ++i) {
    Store(rates[i], "COM1", 0, 8);
    EXPECT_EQ(Combo(*Open(), 602)->currentIndex(), rate_positions[i]) << rates[i];
  }
  const uint32_t parities[] = {0, 1, 2, 3, 4, 7};
  const char* parity_texts[] = {"None", "Odd", "Even", "Mark", "Space", "Space"};
  for (int i = 0; i < 6; ++i) {
    Store(9600, "COM1", parities[i], 8);
    EXPECT_EQ(Combo(*Open(), 603)->currentText(), parity_texts[i]) << parities[i];
  }
  const int32_t bits[] = {5, 6, 7, 8, 4, 9};
  const char* bit_texts[] = {"5", "6", "7", "8", "8", "8"};
  for (int i = 0; i < 6; ++i) {
    Store(9600, "COM1", 0, bits[i]);
    EXPECT_EQ(Combo(*Open(), 604)->currentText(), bit_texts[i]) << bits[i];
  }
}

TEST_F(AdvancedDialogTest, ChosenPositionsStoreTheirValues) {
  const int32_t rates[] = {300, 1200, 9600, 19200, 38400, 38400};
  const uint32_t parities[] = {0, 1, 2, 4, 3, 3};
  const int32_t bits[] = {5, 6, 7, 8, 8, 8};
  for (int position = -1; position < 5; ++position) {
    Store(1200, "COM1", 1, 6);
    auto d = Open();
    Combo(*d, 602)->setCurrentIndex(position);
    Combo(*d, 603)->setCurrentIndex(position);
    Combo(*d, 604)->setCurrentIndex(position < 4 ? position : -1);
    d->accept();
    int expected = position < 0 ? 5 : position;  // no selection falls back like the last item
    EXPECT_EQ(stored.comm.BaudRate, rates[expected]) << position;
    EXPECT_EQ(stored.comm.Parity, parities[expected]) << position;
    EXPECT_EQ(stored.comm.DataBits, position < 4 ? bits[expected] : 8) << position;
  }
}

TEST_F(AdvancedDialogTest, OkStoresOnlyAChangeAndCancelTouchesNothing) {
  Store(19200, "COM3", 3, 7);
  stored.comm.PortName[6] = 'x';  // bytes behind the NUL belong to the host too
  Stored before = stored;
  auto d = Open();
  d->accept();
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(std::memcmp(&stored, &before, sizeof stored), 0);  // mark parity survives as 3

  // A name filling all eight bytes is shown whole and, untouched, keeps its bytes.
  std::memcpy(stored.comm.PortName, "TTYUSB12", 8);
  before = stored;
  changed = 77;
  d = Open();
  EXPECT_EQ(Combo(*d, 601)->currentText(), "TTYUSB12");
  d->accept();
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(std::memcmp(&stored, &before, sizeof stored), 0);
  Store(19200, "COM3", 3, 7);

  d = Open();
  Combo(*d, 601)->setCurrentIndex(0);  // COM1
  Combo(*d, 602)->setCurrentIndex(0);
  d->accept();
  EXPECT_EQ(changed, 1);
  EXPECT_STREQ(stored.comm.PortName, "COM1");
  EXPECT_EQ(stored.comm.BaudRate, 300);
  EXPECT_EQ(stored.comm.ScanRate, 1000u);
  EXPECT_EQ(stored.guard, 0xDEADBEEF);

  changed = 77;
  before = stored;
  d = Open();
  Combo(*d, 602)->setCurrentIndex(4);
  d->reject();
  EXPECT_EQ(changed, 77);
  EXPECT_EQ(std::memcmp(&stored, &before, sizeof stored), 0);
}

TEST_F(AdvancedDialogTest, EmptyPortOpensWithDefaultsAndOkStoresThem) {
  Store(4800, "", 2, 5);
  auto d = Open(4);
  EXPECT_EQ(Combo(*d, 601)->currentText(), "COM4");
  EXPECT_EQ(Combo(*d, 602)->currentText(), "9600");
  EXPECT_EQ(Combo(*d, 603)->currentText(), "None");
  EXPECT_EQ(Combo(*d, 604)->currentText(), "8");
  d->accept();
  EXPECT_EQ(changed, 1);
  EXPECT_STREQ(stored.comm.PortName, "COM4");
  EXPECT_EQ(stored.comm.BaudRate, 9600);
  EXPECT_EQ(stored.comm.Parity, 0u);
  EXPECT_EQ(stored.comm.DataBits, 8);

  // A default port whose name does not fit is not cut into "COM1000": the port stays unset.
  Store(9600, "", 0, 8);
  d = Open(10000);
  EXPECT_EQ(Combo(*d, 601)->currentText(), "");
  EXPECT_EQ(Combo(*d, 601)->findText("COM1000"), -1);
  Stored before = stored;
  d->accept();
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(std::memcmp(&stored, &before, sizeof stored), 0);
}

// Turns the mouse wheel one notch down over `widget`.
void WheelDown(QWidget* widget) {
  QWheelEvent wheel(QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(widget, &wheel);
}

// In both dialogs a list under the mouse changes with the wheel only while it has the focus.
TEST_F(AdvancedDialogTest, ListsTakeTheWheelOnlyWithTheFocus) {
  Store(9600, "COM1", 0, 7);  // no list at its last item
  ParvexChannelRecord record{};
  int32_t channel_changed = 0;
  std::unique_ptr<QDialog> dialogs[] = {
      Open(), std::make_unique<ChannelDialog>(nullptr, &record, &channel_changed)};
  for (auto& d : dialogs) {
    d->show();
    d->activateWindow();
    QApplication::processEvents();
    // Last list first: a new Field Type disables the ValueType list.
    QList<QComboBox*> combos = d->findChildren<QComboBox*>();
    std::reverse(combos.begin(), combos.end());
    for (QComboBox* combo : combos) {
      const int at = combo->currentIndex();
      WheelDown(combo);
      EXPECT_EQ(combo->currentIndex(), at) << combo->objectName().toStdString();
      combo->setFocus();
      ASSERT_TRUE(combo->hasFocus());
      WheelDown(combo);
      EXPECT_EQ(combo->currentIndex(), at + 1) << combo->objectName().toStdString();
    }
    d->reject();
  }
}

TEST_F(AdvancedDialogTest, F1AsksForTheDialogsHelpTopic) {
  std::vector<std::string> topics;
  SetHelpViewer([&](const std::string& topic) { topics.push_back(topic); });
  Store(9600, "COM1", 0, 8);
  auto d = Open();
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(d.get(), &f1);
  SetHelpViewer(nullptr);
  ASSERT_EQ(topics.size(), 1u);
  EXPECT_EQ(topics[0], ModuleHelpPath() + "::/html/clim00mc.htm");
  EXPECT_EQ(ModuleHelpPath().substr(ModuleHelpPath().size() - 4), ".chm");
}

TEST(ModuleHelp, HelpFileReplacesTheExtension) {
  EXPECT_EQ(HelpFilePath("/opt/Kestrum/bin/libparvex_cf.so"), "/opt/Kestrum/bin/libparvex_cf.chm");
  EXPECT_EQ(HelpFilePath("/opt/x.dll"), "/opt/x.chm");
  EXPECT_EQ(HelpFilePath("/opt.d/module"), "/opt.d/module.chm");
  EXPECT_EQ(LoadedFileOf(nullptr), "");
}

}  // namespace
}  // namespace parvex

namespace parvex {
namespace {

TEST(RegisteredSerialPorts, ListsTheInstancesPortAliases) {
  parvex_test::ScopedInstance instance;
  std::filesystem::create_directories(instance.rundir() / "dev");
  std::ofstream(instance.root() / "target") << "";
  std::filesystem::create_symlink(instance.root() / "target", instance.rundir() / "dev" / "com9");
  std::filesystem::create_symlink(instance.root() / "target",
                                  instance.rundir() / "dev" / "LONGNAME");  // not a port name
  auto values = RegisteredSerialPorts();
  ASSERT_TRUE(values.has_value());
  std::vector<std::string> texts;
  for (const SerialPortValue& v : *values) {
    if (v.text) texts.push_back(*v.text);
  }
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "com9");

  // The dialog offers it and matches a stored COM9 without adding a second entry.
  ParvexCommSettings comm{0, 9600, "COM9", 0, 8};
  int32_t changed = 0;
  AdvancedDialog d(nullptr, 1, reinterpret_cast<uint8_t*>(&comm.BaudRate), &changed);
  QComboBox* port = d.findChild<QComboBox*>("601");
  EXPECT_EQ(port->findText("com9"), port->currentIndex());
  EXPECT_EQ(port->findText("COM9", Qt::MatchCaseSensitive), -1);
}

}  // namespace
}  // namespace parvex
