// A stop request that reaches the real scanner in the middle of something: its start-up, the
// retries of initialise device, a scan that waits for a report, and a save. In every case the
// scanner ends with status 0 within a few seconds, detached, with its channels failed, and a
// save it made stays whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fault_util.h"
#include "platform/process.h"
#include "platform/pseudo_terminal.h"
#include "records/channel_config.h"
#include "runtime/driver_link.h"
#include "runtime/saved_values.h"
#include "scanner_rig.h"
#include "started_rig.h"

namespace parvex_test {
namespace {

// What every stop must leave: status 0, no scanner attached, all channels failed with 0.
void ExpectStopped(ScannerRig& rig, int status) {
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rig.device()->scanner_attached, 0);
  EXPECT_EQ(rig.device()->operation_in_progress, 0);
  EXPECT_TRUE(AllChannelsFailed(rig, 0));
}

TEST(ScannerStop, DuringStartUpEndsTheScannerWithoutEnteringTheMainLoop) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--interval", "200"}));
  ASSERT_TRUE(rig.LaunchScanner());
  // The first post that the scanner's link takes is the stop; it arrives before the scanner is
  // ready or at the latest during its first initialise device.
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return rig.Post(kestrum::kMessageStop) == 0; }, 10000));
  ExpectStopped(rig, rig.WaitExit(10000));
}

TEST(ScannerStop, DuringTheInitialiseRetriesEndsThem) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  // The port's alias points at nothing (as a counter that hung up leaves it): the port cannot
  // be opened, and initialise device retries once a second.
  ASSERT_EQ(kestrum::PublishPortAlias(RigOptions().port, "/dev/pts/gone"), 0);
  ASSERT_TRUE(rig.LaunchScanner());
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] { return StartsWith(rig.error_message(), "CAN'T INITIALISE DEVICE -"); }, 15000))
      << "message '" << rig.error_message() << "'";
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  ExpectStopped(rig, rig.WaitExit(10000));
}

TEST(ScannerStop, DuringAScanThatWaitsForAReportEndsTheScanner) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--interval", "200"}));
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
  // The counter falls silent, so each scan waits for a report that does not come.
  ASSERT_TRUE(rig.CounterCommand("silence 30"));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(rig.Post(kestrum::kMessageScan), 0);
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  ExpectStopped(rig, rig.WaitExit(10000));
}

TEST(ScannerStop, WithASaveUnderWayKeepsTheSavedValuesWhole) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME").Set("ReferenceEnable", "On")}});
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5", "--interval", "200"}));
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] { return ChannelValid(rig, 0) && rig.table().values[0] == 2.5f; }, 10000));
  rig.StopPump();
  // The re-base saves the reference; the stop follows at once.
  ASSERT_EQ(rig.Post(kestrum::kMessageInitialiseValues), 0);
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  ExpectStopped(rig, rig.WaitExit(10000));

  // The saved reference is either none (the stop came first) or the whole new one.
  kestrum::ChannelConfigRecord records[8] = {};
  for (auto& r : records) r.analogue.flags = kestrum::analogue_flags::kEnable;
  float saved[8] = {};
  const int loaded = kestrum::LoadChannelValues("CNT1", "ai", false,
                                                reinterpret_cast<uint32_t*>(saved), records, 8);
  if (loaded == 8) {
    EXPECT_FLOAT_EQ(saved[0], 2.5f);
  } else {
    EXPECT_EQ(loaded, -1);
  }
}

}  // namespace
}  // namespace parvex_test
