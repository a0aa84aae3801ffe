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
#include <filesystem>
#include <fstream>
#include <functional>

#include "channel_records.h"
#include "configui/parvex_cf.h"
#include "configui/text_printer.h"
#include "test_util.h"

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

namespace parvex {
namespace {

// Writes a binary channel file: an 8-byte time stamp, then the records.
void WriteChannelFile(const std::filesystem::path& file,
                      const std::vector<ParvexChannelRecord>& r) {
  std::ofstream out(file, std::ios::binary);
  out.write("\0\0\0\0\0\0\0\0", 8);
  out.write(reinterpret_cast<const char*>(r.data()), r.size() * sizeof r[0]);
}

// Runs with the current directory set to `dir`, restoring the previous one afterwards.
struct ScopedCurrentDir {
  explicit ScopedCurrentDir(const std::filesystem::path& dir)
      : old(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedCurrentDir() { std::filesystem::current_path(old); }
  std::filesystem::path old;
};

TEST_F(ExportsTest, MissingRecordsAndBlockAreReadFromTheDevicesFiles) {
  parvex_test::ScopedTempDir config;
  std::filesystem::path device = config.path() / "DEV1";
  std::filesystem::create_directories(device);
  std::vector<ParvexChannelRecord> ai(8);
  for (int i = 0; i < 8; ++i) {
    ai[i] = parvex_test::RecordBuilder(0)
                .Flags(parvex_test::kEnable)
                .Tag("FILE" + std::to_string(i + 1))
                .Build();
  }
  WriteChannelFile(device / "ai", ai);
  std::vector<uint8_t> block(705);
  block[0] = 1;  // AutoEnable
  ParvexCommSettings comm{90500, 1200, "COM5", 4, 7};
  std::memcpy(block.data() + 1, &comm, sizeof comm);
  std::ofstream(device / "config", std::ios::binary)
      .write(reinterpret_cast<const char*>(block.data()), block.size());
  std::ofstream(device / "saveconfig", std::ios::binary).write("\1\1\x60\xEA\0\0", 6);

  ParvexDeviceEntry entry = parvex_test::MakeEntry(2, "DEV");
  parvex_test::SetBlock(entry, 0, "AI", 8);
  TextPrinter printer;
  ParvexPrinter context = printer.context();
  ScopedCurrentDir cwd(device);
  setenv("KSM_CURRENT_CONFIG", config.str().c_str(), 1);
  int result = print_all(&context, "", &entry, 0, 0, 0, 0, nullptr, nullptr);
  unsetenv("KSM_CURRENT_CONFIG");
  EXPECT_GT(result, 0);
  std::string text = printer.Text();
  EXPECT_NE(text.find("        STATUS         [ENABLED ]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("BY TAG  [Y]       SAVE RATE 01(min) 00(sec) 000(ms)"), std::string::npos);
  EXPECT_NE(text.find("        SCAN RATE 01(min) 30(sec) 500(ms)\n"), std::string::npos);
  EXPECT_NE(text.find("[COM5  ]            BAUD RATE [1200  ]"), std::string::npos);
  EXPECT_NE(text.find("        PARITY         SPAC\n"), std::string::npos);
  EXPECT_NE(text.find("AI1     [Y] FILE1 "), std::string::npos);
  EXPECT_NE(text.find("AI8     [Y] FILE8 "), std::string::npos);

  // One block's range, loaded from the current directory; a range past the file fails.
  TextPrinter range;
  ParvexPrinter r = range.context();
  EXPECT_GT(print(&r, "", &entry, 0, 5, 8, nullptr, nullptr), 0);
  EXPECT_EQ(range.Text().find("AI4 "), std::string::npos);
  EXPECT_NE(range.Text().find("AI5     [Y] FILE5 "), std::string::npos);
  parvex_test::SetBlock(entry, 0, "AI", 9);
  EXPECT_EQ(print(&r, "", &entry, 0, 9, 9, nullptr, nullptr), -1);
}

}  // namespace
}  // namespace parvex
