// The real scanner through counter faults (malformed reports, a hang-up) and the
// initialise-values request.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "records/channel_config.h"
#include "runtime/driver_link.h"
#include "runtime/saved_values.h"
#include "scanner_rig.h"
#include "started_rig.h"

namespace parvex_test {
namespace {

using kestrum::kStatusNoValue;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool ChannelValid(ScannerRig& rig, int i) {
  const kestrum::ChannelTableView t = rig.table();
  return t.status != nullptr && !(t.status[i] & kStatusNoValue);
}

TEST(ScannerRecovery, MalformedReportsFailTheChannelsUntilAGoodReportArrives) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME"), ChannelXml(2, "CLOCK", "TIME")}});
  ASSERT_TRUE(StartRig(rig, {"--interval", "300"}));
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return ChannelValid(rig, 0); }, 10000));

  // Three bad reports in a row: the scan fails, and so do the first scans of initialise device.
  for (const char* fault : {"badheader", "eleven", "nocrlf"})
    ASSERT_TRUE(rig.CounterCommand(fault));
  bool scan_failed = false;
  bool channels_failed = false;
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] {
        scan_failed |= StartsWith(rig.error_message(), "CAN'T SCAN DEVICE -");
        const kestrum::ChannelTableView t = rig.table();
        channels_failed |= (t.status[0] & kStatusNoValue) && (t.status[1] & kStatusNoValue) &&
                           t.extended[0].code == kestrum::kExtendedCodeFailed;
        return scan_failed && channels_failed &&
               StartsWith(rig.error_message(), "CAN'T INITIALISE DEVICE -");
      },
      15000))
      << "message '" << rig.error_message() << "'";

  // The next good report clears the message and brings the channels back.
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] { return rig.error_message().empty() && ChannelValid(rig, 0) && ChannelValid(rig, 1); },
      15000))
      << "message '" << rig.error_message() << "'";
  EXPECT_EQ(rig.table().header->error_code, 0);
}

TEST(ScannerRecovery, AHungUpLineIsOpenedAgainWhenTheCounterReturns) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_TRUE(StartRig(rig, {"--interval", "300"}));
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return ChannelValid(rig, 0); }, 10000));

  ASSERT_TRUE(rig.CounterCommand("hangup 2"));
  // While the port is gone every attempt to open it fails, once a second.
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] {
        return StartsWith(rig.error_message(), "CAN'T INITIALISE DEVICE -") &&
               !ChannelValid(rig, 0);
      },
      10000))
      << "message '" << rig.error_message() << "'";
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] { return rig.error_message().empty() && ChannelValid(rig, 0); }, 15000))
      << "message '" << rig.error_message() << "'";
}

TEST(ScannerRecovery, InitialiseValuesRebasesReferencesAndSavesThem) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME").Set("ReferenceEnable", "On"),
                   ChannelXml(2, "PLAIN", "VOLUME")}});
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5"}));
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] { return ChannelValid(rig, 0) && rig.table().values[0] == 2.5f; }, 10000));

  ASSERT_EQ(rig.Post(kestrum::kMessageInitialiseValues), 0);
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return rig.table().values[0] == 0.0f; }, 10000));
  EXPECT_FLOAT_EQ(rig.table().values[1], 2.5f);
  EXPECT_TRUE(ChannelValid(rig, 0));

  // The references survive in the saved-values folder.
  kestrum::ChannelConfigRecord records[8] = {};
  for (auto& r : records) r.analogue.flags = kestrum::analogue_flags::kEnable;
  float saved[8] = {};
  ASSERT_EQ(kestrum::LoadChannelValues("CNT1", "ai", false, reinterpret_cast<uint32_t*>(saved),
                                       records, 8),
            8);
  EXPECT_FLOAT_EQ(saved[0], 2.5f);
  EXPECT_FLOAT_EQ(saved[1], 0.0f);
}

}  // namespace
}  // namespace parvex_test
