#include "tools/monitor/alarm_feed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "built_instance_test.h"
#include "platform/error_number.h"
#include "records/area_layout.h"
#include "records/channel_table.h"
#include "runtime/channel_prefixes.h"
#include "runtime/event_batch.h"
#include "runtime/shared_area.h"
#include "tools/dm/instance.h"

namespace kestrum::monitor {
namespace {

constexpr char kSystem[] = R"({
  "devices": [{"driver": "parvex", "number": 1,
               "prefixes": {"ai": {"prefix": "P1", "channels": 16}}}],
  "data_processors": [{"name": "ALARM"}]
})";

class AlarmFeedTest : public parvex_test::BuiltInstanceTest<kSystem> {
 protected:
  void TearDown() override {
    EndEventBatch();
    BuiltInstanceTest::TearDown();
  }

  // Sends records through the runtime's own event batch, as a scanner does.
  template <typename Send>
  void InBatch(Send send) {
    ASSERT_EQ(BeginEventBatch(static_cast<std::byte*>(GetChannelTable("P1")) + kAreaHeaderSize), 0);
    send();
    ASSERT_EQ(EndEventBatch(), 0);
  }
};

TEST(DecodeAlarmRecordTest, EveryFieldSurvivesTheRoundTripThroughTheRecord) {
  AlarmRecordContent content = {};
  content.kind = AlarmRecordKind::kAlarmRaised;
  std::memcpy(content.prefix, "P1", 2);
  content.channel_index = 4;
  content.status = kStatusAlarmActive | kStatusAlarmSide | kStatusValueChannel;
  content.drive_common = true;
  content.priority = 200;
  content.delay = 12;
  content.has_value = true;
  content.value = 6120.5f;
  content.computer_name = "CONTROLROOM";
  content.user_name = "operator";
  AlarmRecord record;
  BuildAlarmRecord(content, &record);

  AlarmEntry e;
  ASSERT_TRUE(DecodeAlarmRecord(&record, sizeof(record), 1234, &e));
  EXPECT_EQ(e.received, 1234);
  EXPECT_EQ(e.kind, AlarmRecordKind::kAlarmRaised);
  EXPECT_EQ(e.prefix, "P1");
  EXPECT_EQ(e.channel, 5) << "records number channels from 1";
  EXPECT_FALSE(e.no_value);
  EXPECT_TRUE(e.value_channel && e.high_side && e.drive_common);
  EXPECT_EQ(e.priority, 200);
  EXPECT_EQ(e.delay, 12);
  EXPECT_EQ(e.value, 6120.5f);
  EXPECT_EQ(e.computer, "CONTROLROOM");
  EXPECT_EQ(e.user, "operator");

  // A warning ended on a channel without a value, with no value sent.
  content = {};
  content.kind = AlarmRecordKind::kWarningEnded;
  std::memcpy(content.prefix, "P1", 2);
  content.channel_index = 0;
  content.status = kStatusWarningActive | kStatusValueChannel | kStatusNoValue;
  BuildAlarmRecord(content, &record);
  ASSERT_TRUE(DecodeAlarmRecord(&record, sizeof(record), 0, &e));
  EXPECT_EQ(e.kind, AlarmRecordKind::kWarningEnded);
  EXPECT_EQ(e.channel, 1) << "the no-value bit is not part of the number";
  EXPECT_TRUE(e.no_value);
  EXPECT_FALSE(e.high_side);
  EXPECT_FALSE(e.value.has_value());

  EXPECT_FALSE(DecodeAlarmRecord(&record, sizeof(record) - 1, 0, &e));
  EXPECT_FALSE(DecodeAlarmRecord(nullptr, sizeof(record), 0, &e));
}

TEST_F(AlarmFeedTest, ReceivesWhatAScannerSendsAndKeepsTheLatest) {
  AlarmFeed feed(3);
  ASSERT_EQ(feed.Bind(), 0);
  const uint32_t high = kStatusValueChannel | kStatusAlarmActive | kStatusAlarmSide;
  InBatch([&] {
    ASSERT_EQ(SendAlarmRaised(2, high, false, 5, 0, "HOST", "user", 6120.0f), 0);
    ASSERT_EQ(SendWarningRaised(3, kStatusValueChannel | kStatusWarningActive, 3, "HOST", "user",
                                2400.0f),
              0);
  });
  EXPECT_EQ(feed.WaitAndDrain(2000), 2);
  ASSERT_EQ(feed.entries().size(), 2u);
  EXPECT_EQ(feed.entries()[0].kind, AlarmRecordKind::kAlarmRaised);
  EXPECT_EQ(feed.entries()[0].channel, 3);
  EXPECT_EQ(feed.entries()[0].priority, 5);
  EXPECT_EQ(feed.entries()[1].kind, AlarmRecordKind::kWarningRaised);
  EXPECT_FALSE(feed.entries()[1].high_side);

  InBatch([&] {
    ASSERT_EQ(SendAlarmEnded(2, high, "HOST", "user", 5900.0f), 0);
    ASSERT_EQ(SendWarningEnded(3, kStatusValueChannel | kStatusWarningActive, "HOST", "user",
                               std::nullopt),
              0);
  });
  // Both records are already waiting: draining without a wait takes them.
  for (int i = 0; i < 100 && feed.received() < 4; ++i) feed.WaitAndDrain(20);
  EXPECT_EQ(feed.received(), 4u);
  ASSERT_EQ(feed.entries().size(), 3u) << "only the latest three are kept";
  EXPECT_EQ(feed.entries().front().kind, AlarmRecordKind::kWarningRaised);
  EXPECT_EQ(feed.entries().back().kind, AlarmRecordKind::kWarningEnded);
  EXPECT_EQ(feed.Drain(), 0);
}

TEST_F(AlarmFeedTest, AMailslotOwnedByALiveProcessIsLeftToIt) {
  AlarmFeed owner;
  ASSERT_EQ(owner.Bind(), 0);
  AlarmFeed second;
  EXPECT_EQ(second.Bind(), -1);
  EXPECT_EQ(GetErrorNumber(), EADDRINUSE);
  EXPECT_FALSE(second.bound());
  EXPECT_EQ(second.WaitAndDrain(10), 0);
  EXPECT_TRUE(second.entries().empty());
}

}  // namespace
}  // namespace kestrum::monitor
