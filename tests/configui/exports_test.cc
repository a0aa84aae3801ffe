// The library as a host sees it: loaded by path, driven through its C entry points.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLibrary>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "channel_records.h"
#include "configui/parvex_cf.h"
#include "configui/text_printer.h"

namespace parvex {
namespace {

using AdvanFn = void (*)(QWidget*, ParvexDeviceEntry*, int32_t*);
using ChanFn = void (*)(QWidget*, int32_t, int32_t, int32_t, ParvexChannelRecord*, int32_t*);
using PrintAllFn = int (*)(ParvexPrinter*, const char*, ParvexDeviceEntry*, uint8_t, uint8_t,
                           uint8_t, uint32_t, uint8_t*, ParvexChannelRecord**);
using PrintFn = int (*)(ParvexPrinter*, const char*, ParvexDeviceEntry*, int32_t, int32_t, int32_t,
                        uint8_t*, ParvexChannelRecord*);
using SetPortFn = void (*)(uint16_t);

struct ExportsTest : ::testing::Test {
  QLibrary library{PARVEX_CF_LIBRARY};
  AdvanFn advan = nullptr;
  ChanFn chan = nullptr;
  PrintAllFn print_all = nullptr;
  PrintFn print = nullptr;
  SetPortFn set_port = nullptr;

  void SetUp() override {
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    advan = reinterpret_cast<AdvanFn>(library.resolve("DLL_ConfigAdvanDevSpecific"));
    chan = reinterpret_cast<ChanFn>(library.resolve("DLL_ConfigChanDevSpecific"));
    print_all = reinterpret_cast<PrintAllFn>(library.resolve("PrintAllConfig"));
    print = reinterpret_cast<PrintFn>(library.resolve("PrintConfig"));
    set_port = reinterpret_cast<SetPortFn>(library.resolve("DLL_SetDefaultComPort"));
    ASSERT_TRUE(advan && chan && print_all && print && set_port);
    qApp->setProperty(PARVEX_DEFAULT_COM_PORT_PROPERTY, QVariant());
  }

  // Acts on the modal dialog once it is shown; the timer gives up after 5 s so that a dialog
  // that never appears fails the test instead of hanging it.
  static void WhenModal(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<int>(500);
    QObject::connect(timer, &QTimer::timeout, [timer, act, deadline] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr && --*deadline > 0) return;
      timer->stop();
      timer->deleteLater();
      if (dialog) act(dialog);
    });
    timer->start(10);
  }
};

TEST_F(ExportsTest, OnlyTheEntryPointsAreExported) {
  EXPECT_EQ(library.resolve("_ZN6parvex9FormatValueEf"), nullptr);
}

TEST_F(ExportsTest, AdvancedDialogEditsTheEntryAndTakesTheHostsDefaultPort) {
  ParvexDeviceEntry entry = parvex_test::MakeEntry(6, "DEV");
  entry.Config.Comm.ScanRate = 1234;
  int32_t changed = 77;
  QString shown;
  WhenModal([&](QDialog* d) {
    shown = d->findChild<QComboBox*>("601")->currentText();
    d->accept();
  });
  advan(nullptr, &entry, &changed);
  EXPECT_EQ(shown, "COM6");  // no default from the host: the device number
  EXPECT_EQ(changed, 1);
  EXPECT_STREQ(entry.Config.Comm.PortName, "COM6");
  EXPECT_EQ(entry.Config.Comm.BaudRate, 9600);
  EXPECT_EQ(entry.Config.Comm.ScanRate, 1234u);

  set_port(4);
  std::memset(entry.Config.Comm.PortName, 0, 8);
  changed = 77;
  WhenModal([&](QDialog* d) {
    shown = d->findChild<QComboBox*>("601")->currentText();
    d->reject();
  });
  advan(nullptr, &entry, &changed);
  EXPECT_EQ(shown, "COM4");
  EXPECT_EQ(changed, 77);
  EXPECT_EQ(entry.Config.Comm.PortName[0], '\0');
}

TEST_F(ExportsTest, ChannelDialogIgnoresItsIntegerArguments) {
  for (int32_t junk : {0, -1, 0x7FFFFFFF}) {
    ParvexChannelRecord record{};
    record.Bytes[188] = 1;
    int32_t changed = 0;
    WhenModal([&](QDialog* d) {
      d->findChild<QLineEdit*>("1001")->setText("12");
      d->accept();
    });
    chan(nullptr, junk, junk, junk, &record, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(record.Bytes[189], 12);
  }
}

TEST_F(ExportsTest, PrintOutsShareTheModulesPagePosition) {
  ParvexDeviceEntry entry = parvex_test::MakeEntry(2, "DEV");
  parvex_test::SetBlock(entry, 1, "DI", 1);
  ParvexChannelRecord disabled{};
  disabled.Bytes[24] = 1;
  TextPrinter printer;
  ParvexPrinter context = printer.context();
  // Two DISABLED lines each; the second print-out goes on below the first on the same page.
  int first = print(&context, "", &entry, 1, 0, 0, nullptr, &disabled);
  int second = print(&context, "", &entry, 1, 0, 0, nullptr, &disabled);
  EXPECT_EQ(second, first + 2);
  EXPECT_EQ(printer.pages_started(), 1);

  EXPECT_EQ(print_all(&context, "elsewhere", &entry, 0, 0, 0, 0, nullptr, nullptr), -1);
  EXPECT_EQ(print(nullptr, "", &entry, 1, 0, 0, nullptr, &disabled), -1);
  ParvexPrinter broken = context;
  broken.text_height = nullptr;
  EXPECT_EQ(print_all(&broken, "", &entry, 0, 0, 0, 0, entry.Config.Bytes, nullptr), -1);
}

}  // namespace
}  // namespace parvex
