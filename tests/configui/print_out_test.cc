#include "configui/print_out.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "channel_records.h"
#include "configui/text_printer.h"
#include "golden_devices.h"
#include "platform/error_number.h"

namespace parvex {
namespace {

using parvex_test::Digital;
using parvex_test::Disabled;
using parvex_test::GoldenDevice;
using parvex_test::MakeEntry;
using parvex_test::PlainAnalogue;
using parvex_test::SetBlock;

// Compares with a stored page text; PARVEX_UPDATE_GOLDEN=1 rewrites the file instead.
void ExpectGolden(const std::string& actual, const std::string& name) {
  if (std::getenv("PARVEX_UPDATE_GOLDEN")) {
    std::ofstream(parvex_test::GoldenPath(name), std::ios::binary) << actual;
    return;
  }
  std::ifstream in(parvex_test::GoldenPath(name), std::ios::binary);
  ASSERT_TRUE(in) << parvex_test::GoldenPath(name);
  EXPECT_EQ(actual, parvex_test::ReadGolden(name)) << "golden file " << name;
}

// A printer of 20 lines a page, and sources that must not be used unless a test says so.
struct PrintOutTest : ::testing::Test {
  TextPrinter printer{TextPrinter::Geometry{10, 200, 0, 0}};
  ParvexPrinter context = printer.context();
  PageState page;
  PrintSources sources{nullptr, nullptr,
                       [](const std::string& server) { return server != "far-away"; }};
  ParvexDeviceEntry entry = MakeEntry(2, "PARTICLE COUNTER 1");
  uint8_t block[PARVEX_CONFIG_BLOCK_SIZE] = {};

  void SetComm(uint32_t scan_rate, int32_t baud, const char* port, uint32_t parity,
               int32_t data_bits) {
    parvex_test::SetComm(block, scan_rate, baud, port, parity, data_bits);
  }
  int PrintDevice(ParvexChannelRecord** arrays, const char* server = "") {
    return PrintDeviceConfig(context, page, sources,
                             parvex_test::HostRequest(&entry, block, arrays, server));
  }
  // Takes over a golden device's entry and block; returns its channel arrays.
  ParvexChannelRecord** Use(GoldenDevice& device) {
    entry = device.entry;
    std::memcpy(block, device.block, sizeof block);
    return device.Arrays();
  }
};

TEST_F(PrintOutTest, DeviceWithAnalogueAndDigitalBlocksAcrossAPageBreak) {
  GoldenDevice device = parvex_test::TwoBlocksDevice();
  int result = PrintDevice(Use(device));
  EXPECT_EQ(result, page.line_number);
  ExpectGolden(printer.Text(), device.golden_file);
  EXPECT_EQ(printer.pages_started(), printer.pages_ended());
  EXPECT_EQ(page.line_number, 1);
  EXPECT_TRUE(page.page_pending);
}

TEST_F(PrintOutTest, AllDigitalAndAllDisabledBlocksPrintDisabledLines) {
  GoldenDevice device = parvex_test::DigitalAndDisabledDevice();
  ParvexChannelRecord** arrays = Use(device);
  EXPECT_GT(PrintDevice(arrays), 0);
  ExpectGolden(printer.Text(), device.golden_file);
  // The last table ended with its DISABLED line: the page stays open for the next print-out.
  EXPECT_TRUE(printer.page_open());
  EXPECT_FALSE(page.page_pending);
  // Defaults were written into the caller's block; data bits 0 is printed as 8 only.
  ParvexCommSettings comm;
  std::memcpy(&comm, block, sizeof comm);
  EXPECT_STREQ(comm.PortName, "COM2");
  EXPECT_EQ(comm.BaudRate, 9600);
  EXPECT_EQ(comm.DataBits, 0);

  // A device number whose default name does not fit is refused before anything is written or
  // printed, as the scanner refuses to open it.
  entry.DeviceNumber = 10000;
  SetComm(1000, 0, "", 0, 8);
  block[8 + 7] = 'x';
  uint8_t before[sizeof block];
  std::memcpy(before, block, sizeof block);
  TextPrinter fresh;
  context = fresh.context();
  kestrum::SetErrorNumber(0);
  EXPECT_EQ(PrintDevice(arrays), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), ENAMETOOLONG);
  EXPECT_EQ(std::memcmp(block, before, sizeof block), 0);
  EXPECT_EQ(fresh.Text(), "");
}

TEST_F(PrintOutTest, HeaderShowsScanRateSaveSettingsAndParityNames) {
  struct Case {
    uint32_t scan_rate;
    uint32_t parity;
    const char* scan_line;
    const char* parity_line;
  } cases[] = {
      {90500, 3, "        SCAN RATE 01(min) 30(sec) 500(ms)", "        PARITY         MARK"},
      {300 * 60000, 4, "        SCAN RATE 99(min) 00(sec) 000(ms)", "        PARITY         SPAC"},
      {120 * 60000, 7, "        SCAN RATE 99(min) 00(sec) 000(ms)", "        PARITY         MARK"},
      {1000, 0, "        SCAN RATE 00(min) 01(sec) 000(ms)", "        PARITY         NONE"},
  };
  for (const Case& c : cases) {
    TextPrinter fresh;
    ParvexPrinter p = fresh.context();
    PageState state;
    SetComm(c.scan_rate, 300, "TTY6ch7", c.parity, 6);
    DevicePrintRequest request{"localhost", &entry, 0, 0, 1, 0, block, nullptr};
    EXPECT_EQ(PrintDeviceConfig(p, state, sources, request), 0);  // no block in use
    std::string text = fresh.Text();
    EXPECT_NE(text.find(std::string(c.scan_line) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(c.parity_line) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("        STATUS         [DISABLED]\n"), std::string::npos);
    EXPECT_NE(text.find("        AUTOSAVE       [N]\n\n\n"), std::string::npos);
    EXPECT_NE(text.find("        PORT           [TTY6ch]            BAUD RATE [300   ]\n"),
              std::string::npos);
  }
}

TEST_F(PrintOutTest, BlockRangesAndLoadingWithoutAnArray) {
  SetBlock(entry, 0, "AI", 8);
  std::vector<std::pair<int, int>> loads;
  sources.load_channels = [&](int kind, ParvexChannelRecord* records, int first, int count) {
    EXPECT_EQ(kind, 0);
    loads.emplace_back(first, count);
    for (int i = 0; i < count; ++i) {
      records[i] = PlainAnalogue("LOADED" + std::to_string(first + i + 1));
    }
    return 0;
  };
  EXPECT_GT(PrintBlockConfig(context, page, sources, entry, 0, 5, 8, nullptr), 0);
  EXPECT_EQ(loads, (std::vector<std::pair<int, int>>{{4, 4}}));
  std::string text = printer.Text();
  EXPECT_EQ(text.find("AI4 "), std::string::npos);
  EXPECT_NE(text.find("AI5     [Y] LOADED5 "), std::string::npos);
  EXPECT_NE(text.find("AI8     [Y] LOADED8 "), std::string::npos);
  EXPECT_NE(text.find("CHANNELS AI5 - AI8 DISABLED\n"), std::string::npos);  // no digital

  ParvexChannelRecord all[8];
  for (int i = 0; i < 8; ++i) all[i] = PlainAnalogue("OWN" + std::to_string(i + 1));
  TextPrinter whole;
  ParvexPrinter w = whole.context();
  PageState fresh;
  EXPECT_GT(PrintBlockConfig(w, fresh, sources, entry, 0, 0, 0, all), 0);
  EXPECT_NE(whole.Text().find("AI1     [Y] OWN1 "), std::string::npos);
  EXPECT_NE(whole.Text().find("AI8     [Y] OWN8 "), std::string::npos);
  EXPECT_EQ(loads.size(), 1u);  // the caller's array was used

  for (auto [first, last] : {std::pair{5, 3}, {0, 9}, {9, 0}, {-1, 2}}) {
    kestrum::SetErrorNumber(0);
    EXPECT_EQ(PrintBlockConfig(context, page, sources, entry, 0, first, last, all), -1);
    EXPECT_EQ(kestrum::GetErrorNumber(), EINVAL);
  }
  EXPECT_EQ(PrintBlockConfig(context, page, sources, entry, 1, 0, 0, all), -1);  // no channels
  EXPECT_EQ(PrintBlockConfig(context, page, sources, entry, 5, 0, 0, all), -1);  // no block 5

  sources.load_channels = [](int, ParvexChannelRecord*, int, int) {
    return kestrum::FailWith(ENOENT);
  };
  EXPECT_EQ(PrintBlockConfig(context, page, sources, entry, 0, 1, 2, nullptr), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), ENOENT);
}

TEST_F(PrintOutTest, StoredConfigurationIsReadOnlyForTheLocalMachine) {
  int reads = 0;
  sources.load_device = [&](const char* folder, StoredDeviceConfig* config) {
    EXPECT_STREQ(folder, "DEV1");
    ++reads;
    config->auto_enable = 1;
    config->save_outputs = 1;
    config->save_by_tag = 1;
    config->save_rate = 61001;
    ParvexCommSettings comm{500, 1200, "COM9", 1, 5};
    std::memcpy(config->block, &comm, sizeof comm);
    return 0;
  };
  DevicePrintRequest request{"far-away", &entry, 0, 0, 0, 0, nullptr, nullptr};
  EXPECT_EQ(PrintDeviceConfig(context, page, sources, request), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), EOPNOTSUPP);
  EXPECT_EQ(printer.Text(), "");
  EXPECT_EQ(reads, 0);

  request.server = "http://CounterHost:8080/kestrum";
  EXPECT_EQ(PrintDeviceConfig(context, page, sources, request), 0);
  EXPECT_EQ(reads, 1);
  std::string text = printer.Text();
  EXPECT_NE(text.find("        STATUS         [ENABLED ]\n"), std::string::npos);
  EXPECT_NE(text.find("        AUTOSAVE       [Y]                    BY TAG  [Y]       SAVE RATE "
                      "01(min) 01(sec) 001(ms)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[COM9  ]            BAUD RATE [1200  ]"), std::string::npos);

  sources.load_device = [](const char*, StoredDeviceConfig*) { return kestrum::FailWith(ENOENT); };
  TextPrinter untouched;
  ParvexPrinter u = untouched.context();
  request.server = ".";
  EXPECT_EQ(PrintDeviceConfig(u, page, sources, request), -1);
  EXPECT_EQ(untouched.Text(), "");
}

TEST_F(PrintOutTest, PagePositionCarriesOverAndFailedFeedsAreContained) {
  SetBlock(entry, 1, "DI", 1);
  ParvexChannelRecord di[1] = {Disabled(1)};
  // Two print-outs that end on their DISABLED lines share one page.
  PrintBlockConfig(context, page, sources, entry, 1, 0, 0, di);
  EXPECT_EQ(PrintBlockConfig(context, page, sources, entry, 1, 0, 0, di), 5);
  std::string disabled = "CHANNELS DI1 - DI1 DISABLED\n";
  EXPECT_EQ(printer.Text(), disabled + disabled + disabled + disabled);
  EXPECT_EQ(printer.pages_started(), 1);

  // A printer that refuses to end pages: the analogue table's failure is not passed on.
  TextPrinter refusing;
  ParvexPrinter r = refusing.context();
  r.end_page = [](void*) { return 0; };
  PageState state;
  SetBlock(entry, 0, "AI", 1);
  ParvexChannelRecord ai[1] = {PlainAnalogue("X")};
  EXPECT_EQ(PrintBlockConfig(r, state, sources, entry, 0, 0, 0, ai), 7);

  // When it refuses to end a full page of the digital table, the table could never go on: the
  // block and the whole print-out stop with -1.
  SetBlock(entry, 1, "DI", 40);  // two lines a channel: more than the 66 lines of a page
  std::vector<ParvexChannelRecord> many(40, Digital("DOOR", true));
  PageState full_state;
  kestrum::SetErrorNumber(0);
  EXPECT_EQ(PrintBlockConfig(r, full_state, sources, entry, 1, 0, 0, many.data()), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), EIO);
  entry.Blocks[0].Prefix[0] = '\0';
  ParvexChannelRecord* arrays[5] = {nullptr, many.data(), nullptr, nullptr, nullptr};
  DevicePrintRequest request{"", &entry, 1, 0, 0, 0, block, arrays};
  PageState device_state;
  EXPECT_EQ(PrintDeviceConfig(r, device_state, sources, request), -1);

  // A page too short for a table is refused before anything is printed.
  TextPrinter tiny(TextPrinter::Geometry{10, 19, 0, 0});
  ParvexPrinter t = tiny.context();
  PageState tiny_state;
  EXPECT_EQ(PrintBlockConfig(t, tiny_state, sources, entry, 0, 0, 0, ai), -1);
  EXPECT_EQ(tiny.Text(), "");
}

}  // namespace
}  // namespace parvex
