// The real scanner against the counter simulator: publication, requests and stop.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "records/channel_table.h"
#include "runtime/driver_link.h"
#include "scanner_rig.h"
#include "started_rig.h"

namespace parvex_test {
namespace {

using kestrum::kStatusNoValue;
using kestrum::kStatusValueChannel;

std::vector<ChannelXml> BasicChannels() {
  return {ChannelXml(1, "SMALL", "VALUE", 1, "0.3-0.5"), ChannelXml(2, "CLOCK", "TIME"),
          ChannelXml(3, "VOLUME", "VOLUME"), ChannelXml(4, "SAMPLER", "PORT"),
          ChannelXml(5, "SPARE", "VOLUME").Set("Enable", "Off")};
}

std::string Describe(ScannerRig& rig) {
  const kestrum::ChannelTableView t = rig.table();
  std::string text = "message '" + rig.error_message() + "' error code " +
                     std::to_string(t.header->error_code) + "; channels:";
  for (uint32_t i = 0; i < t.count; ++i) {
    text += " " + std::to_string(t.status[i]) + "/" + std::to_string(t.values[i]);
  }
  return text;
}

// Waits until channel `i` of the table holds a value and `done(value)` holds.
bool WaitForValue(ScannerRig& rig, int i, const std::function<bool(float)>& done,
                  int timeout_ms = 10000) {
  return ScannerRig::WaitFor(
      [&] {
        const kestrum::ChannelTableView t = rig.table();
        return t.status != nullptr && !(t.status[i] & kStatusNoValue) && done(t.values[i]);
      },
      timeout_ms);
}

TEST(ScannerEndToEnd, PublishesReadingsAndStopsCleanly) {
  ScannerRig rig({BasicChannels()});
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--volume", "2.5", "--ports", "1"}));
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
  EXPECT_EQ(rig.device()->scanner_attached, 1);
  EXPECT_EQ(rig.device()->scanner_pid, static_cast<uint32_t>(rig.scanner_pid()));
  rig.StartPump();

  // The sampler port of a header applies to the next data line, so PORT reads 1 only from the
  // second report on, and the VALUE channel listening to port 1 then gets its count.
  ASSERT_TRUE(WaitForValue(rig, 3, [](float v) { return v == 1.0f; })) << Describe(rig);
  ASSERT_TRUE(WaitForValue(rig, 0, [](float v) { return v > 0.0f; }));
  const kestrum::ChannelTableView t = rig.table();
  EXPECT_FLOAT_EQ(t.values[2], 2.5f);
  EXPECT_GE(t.values[1], 0.0f);
  EXPECT_LE(t.values[1], 235959.0f);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.status[i] & (kStatusNoValue | kStatusValueChannel), kStatusValueChannel) << i;
  }
  EXPECT_TRUE(t.status[4] & kStatusNoValue);
  EXPECT_EQ(t.header->error_code, 0);
  EXPECT_GT(rig.device()->next_scan.seconds, 0);
  EXPECT_EQ(rig.error_message(), "");

  rig.StopPump();
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  EXPECT_EQ(rig.WaitExit(10000), 0);
  EXPECT_EQ(rig.device()->scanner_attached, 0);
  const kestrum::ChannelTableView after = rig.table();
  for (uint32_t i = 0; i < after.count; ++i) {
    EXPECT_TRUE(after.status[i] & kStatusNoValue) << i;
    EXPECT_EQ(after.extended[i].code, kestrum::kExtendedCodeFailed) << i;
  }
}

TEST(ScannerEndToEnd, TracesEveryReportAndEveryParseErrorToTheTraceFile) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  const std::string path = (rig.instance().root() / "trace.txt").string();
  kestrum::RegKey key = nullptr;
  ASSERT_EQ(kestrum::RegCreateKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine),
                                  "SOFTWARE\\Veltrane\\Kestrum", 0, kestrum::kKeyAllAccess, nullptr,
                                  &key, nullptr),
            0);
  ASSERT_EQ(kestrum::RegSetString(key, "CNT1_DebugType", "FILE"), 0);
  ASSERT_EQ(kestrum::RegSetString(key, "CNT1_DebugFile", path), 0);
  ASSERT_EQ(kestrum::RegSetString(key, "CNT1_Debug", "ON"), 0);
  kestrum::RegCloseKey(key);
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5"}));
  ASSERT_TRUE(rig.CounterCommand("badheader"));
  auto contents = [&] {
    // Binary: the line ends are part of what is checked (text mode drops the CR on Windows).
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] {
        const std::string text = contents();
        return text.find("SAMPLE VOL= 2.50") != std::string::npos &&
               text.find("BAD FORMAT IN LINE 2\r\n") != std::string::npos;
      },
      10000))
      << contents();
}

}  // namespace
}  // namespace parvex_test
