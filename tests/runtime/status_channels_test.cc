#include "runtime/status_channels.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "area_test_util.h"
#include "channel_test_util.h"
#include "platform/environment.h"
#include "platform/error_number.h"
#include "records/fixed_text.h"
#include "runtime/channel_writes.h"
#include "runtime/time_stamps.h"

namespace kestrum {
namespace {

using channel_test::Config;
using channel_test::Table;

// Three groups and one channel more in X1; tables too small or without values elsewhere.
constexpr char kSystem[] = R"({
  "devices": [{"driver": "partcoun", "number": 1, "port": "COM3",
               "extra_prefix": {"prefix": "X1", "channels": 31}},
              {"driver": "partcoun", "number": 2,
               "extra_prefix": {"prefix": "X2", "channels": 9}},
              {"driver": "partcoun", "number": 3,
               "extra_prefix": {"prefix": "X3", "channels": 10, "live_bytes": 4}},
              {"driver": "other", "number": 4,
               "extra_prefix": {"prefix": "X4", "channels": 10}}]
})";

class StatusChannelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentValue("KSM_BIN", PARVEX_TEST_STATUS_MODULE_DIR);
    instance_ = channel_test::Build(kSystem);
    // The driver name fills its whole field, without a terminator.
    for (uint16_t number : {1, 2, 3}) {
      std::memcpy(FindDeviceRecord("partc", number)->driver_name, "PARTCOUNT", 9);
    }
    device_ = FindDeviceRecord("PARTCOUNT", 1);
    ASSERT_NE(device_, nullptr);
    device_->scanner_attached = 1;
  }
  void TearDown() override {
    StopStatusChannels();
    RemoveEnvironmentValue("KSM_BIN");
    ForgetSharedAreas();
  }

  DeviceRecord* device_ = nullptr;
  std::unique_ptr<dm::TemporaryInstance> instance_;
};

TEST_F(StatusChannelsTest, StartLaysOutEveryGroupAndPublishesIt) {
  const TimeStamp before = LocalTimeNow();
  ASSERT_EQ(StartStatusChannels(device_, "X1"), 0);
  EXPECT_EQ(AddToStatusCounter(0, 0), 0);                   // running
  EXPECT_GE(DiffMs(Table("X1").header->stamp, before), 0);  // the start
  const ChannelConfigRecord& st = Config("X1", 0);
  EXPECT_STREQ(GetChannelTag(st), "PARTCOUNT_1_ST");
  EXPECT_STREQ(GetChannelDescription(st), "PARTCOUNT_1_STATUS");
  EXPECT_EQ(FixedText(st.digital.HighStateText), "ENABLED COM3");
  EXPECT_EQ(FixedText(st.digital.LowStateText), "DISABLED COM3");
  EXPECT_STREQ(GetChannelTag(Config("X1", 11)), "PARTC_1_001_RS");
  EXPECT_STREQ(GetChannelTag(Config("X1", 20)), "PARTC_1_002_ST");
  EXPECT_STREQ(GetChannelUnits(Config("X1", 24)), "TIMEOUTS");
  EXPECT_EQ(Config("X1", 30).analogue.Type, kTypeAI);  // beyond the groups: untouched
  EXPECT_EQ(area_test::ShortSubscriber(GetChannelConfigArea("X1"), 1)->change_counter, 1);

  // Group 0's state follows "scanner attached"; the others are off. Every status channel
  // was evaluated by the first, unconditional publication.
  const ChannelTableView table = Table("X1");
  EXPECT_EQ(table.status[0], kStatusState);
  EXPECT_EQ(table.status[1], 0u);
  EXPECT_EQ(table.status[10], 0u);
  for (uint32_t c : {2u, 9u, 12u, 29u}) EXPECT_EQ(table.status[c], kStatusValueChannel) << c;
  EXPECT_EQ(table.status[30], 0u);
  EXPECT_EQ(table.values[2], 0.0f);
}

TEST_F(StatusChannelsTest, CountersArePublishedAndResetFromOutside) {
  ASSERT_EQ(StartStatusChannels(device_, "X1"), 0);
  ASSERT_EQ(AddToStatusCounter(12, 5), 0);
  ASSERT_EQ(AddToStatusCounter(2, 7), 0);
  ASSERT_EQ(AddToStatusCounter(10, 1), 0);  // group 1's state on
  EXPECT_EQ(AddToStatusCounter(30, 1), -1);
  UpdateStatusChannels();
  EXPECT_EQ(Table("X1").values[12], 5.0f);
  EXPECT_EQ(Table("X1").values[2], 7.0f);
  EXPECT_EQ(Table("X1").status[10] & kStatusState, kStatusState);

  // Another process asks group 1 to reset.
  const uint32_t reset[1] = {1};
  ASSERT_EQ(WriteDigitalChannels("X1", 12, 12, reset), 0);
  EXPECT_EQ(Table("X1").status[11] & kStatusState, kStatusState);
  SetErrorNumber(42);
  UpdateStatusChannels();
  EXPECT_EQ(GetErrorNumber(), 42);
  EXPECT_EQ(Table("X1").status[11] & kStatusState, 0u);  // RS lowered again
  EXPECT_EQ(Table("X1").values[12], 0.0f);
  EXPECT_EQ(Table("X1").status[10] & kStatusState, kStatusState);  // the state is no count
  EXPECT_EQ(Table("X1").values[2], 7.0f);                          // group 0 is left alone
}

TEST_F(StatusChannelsTest, StopPublishesEveryStateAsOff) {
  ASSERT_EQ(StartStatusChannels(device_, "X1"), 0);
  ASSERT_EQ(AddToStatusCounter(20, 1), 0);
  UpdateStatusChannels();
  ASSERT_EQ(Table("X1").status[20] & kStatusState, kStatusState);
  StopStatusChannels();
  EXPECT_EQ(AddToStatusCounter(0, 0), -1);  // not running
  EXPECT_EQ(Table("X1").status[0] & kStatusState, 0u);
  EXPECT_EQ(Table("X1").status[20] & kStatusState, 0u);
  // Nothing is published once stopped.
  const uint32_t on[1] = {1};
  ASSERT_EQ(WriteDigitalChannels("X1", 1, 1, on), 0);
  UpdateStatusChannels();
  EXPECT_EQ(Table("X1").status[0] & kStatusState, kStatusState);
}

TEST_F(StatusChannelsTest, TablesThatCannotHoldAGroupAreNotStarted) {
  EXPECT_EQ(StartStatusChannels(FindDeviceRecord("PARTCOUNT", 2), "X2"), -1);  // 9 channels
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  EXPECT_EQ(StartStatusChannels(FindDeviceRecord("PARTCOUNT", 3), "X3"), -1);  // no values
  EXPECT_EQ(StartStatusChannels(device_, "ZZ"), -1);                           // no table
  EXPECT_EQ(StartStatusChannels(nullptr, "X1"), -1);
  EXPECT_EQ(AddToStatusCounter(0, 0), -1);  // not running
}

TEST_F(StatusChannelsTest, ExactlyOneGroupWithoutModuleIsPublished) {
  // No module for the driver OTHER: plain state texts. A table of exactly ten channels works.
  DeviceRecord* other = FindDeviceRecord("other", 4);
  other->scanner_attached = 1;
  ASSERT_EQ(StartStatusChannels(other, "X4"), 0);
  EXPECT_STREQ(GetChannelTag(Config("X4", 0)), "OTHER_4_ST");
  EXPECT_EQ(FixedText(Config("X4", 0).digital.HighStateText), "ENABLED");
  EXPECT_EQ(Table("X4").status[0], kStatusState);
  EXPECT_EQ(Table("X4").status[9], kStatusValueChannel);
}

}  // namespace
}  // namespace kestrum
