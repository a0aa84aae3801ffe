#include "records/channel_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "records/alarm_record.h"
#include "records/error_entries.h"

namespace kestrum {
namespace {

ChannelTableHeader Header(uint16_t live_bytes, uint16_t count) {
  ChannelTableHeader h{};
  h.live_bytes = live_bytes;
  h.channel_count = count;
  return h;
}

TEST(ChannelTable, UsableOnlyWithRoomForEveryChannel) {
  struct Case {
    uint16_t b, n;
    uint32_t d;
    bool usable;
  } cases[] = {
      {8, 10, 10 * (8 + 264) + 20, true},
      {8, 10, 10 * (8 + 264) + 19, false},
      {4, 10, 10 * (4 + 264) + 20, true},
      {4, 10, 10 * (4 + 264) + 19, false},
      {8, 0, 20, true},
      {8, 0, 19, false},
      {0, 10, 100000, false},
      {6, 10, 100000, false},
      {8, 65535, 0xFFFFFFFFu, true},
      {8, 65535, 65535u * 272, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChannelTableUsable(Header(c.b, c.n), c.d), c.usable)
        << "b=" << c.b << " n=" << c.n << " D=" << c.d;
  }
}

TEST(ChannelTable, ViewPointsAtStatusValuesAndExtendedRecords) {
  const uint16_t n = 3;
  std::vector<uint32_t> storage((n * (8 + 264) + 20) / 4);
  auto* data = reinterpret_cast<uint8_t*>(storage.data());
  ChannelTableHeader h = Header(8, n);
  std::memcpy(data, &h, sizeof h);

  ChannelTableView view;
  ASSERT_TRUE(MakeChannelTableView(data, storage.size() * 4, &view));
  EXPECT_EQ(view.count, 3u);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(view.status), data + 20);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(view.values), data + 20 + 4 * n);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(view.extended), data + 20 + 8 * n);
  view.extended[2].code = kExtendedCodeFailed;
  view.extended[2].value = 1.0f;
  EXPECT_EQ(data[20 + 8 * n + 2 * 264], 13);
  EXPECT_EQ(data[20 + 8 * n + 2 * 264 + 11], 0x3F);

  // Status-only tables have no values and their extended records follow the words.
  h = Header(4, n);
  std::memcpy(data, &h, sizeof h);
  ASSERT_TRUE(MakeChannelTableView(data, n * (4 + 264) + 20, &view));
  EXPECT_EQ(view.values, nullptr);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(view.extended), data + 20 + 4 * n);

  // One byte short: refused, and the view is left empty.
  EXPECT_FALSE(MakeChannelTableView(data, n * (4 + 264) + 19, &view));
  EXPECT_EQ(view.status, nullptr);
  EXPECT_FALSE(MakeChannelTableView(data, 10, &view));
}

TEST(ErrorTable, LayoutFollowsWhatTheDataPartHolds) {
  struct Case {
    uint32_t d, n;
    ErrorTableLayout layout;
  } cases[] = {
      {4 + 443 * 5, 5, ErrorTableLayout::kLong},
      {4 + 57 * 5, 5, ErrorTableLayout::kShort},
      {4 + 443 * 5 - 1, 5, ErrorTableLayout::kShort},  // long entries would run past D
      {57 * 5, 5, ErrorTableLayout::kInvalid},         // not even the short ones fit
      {0xFFFFFFFFu, 0xFFFFFFFFu, ErrorTableLayout::kInvalid},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyErrorTable(c.d, c.n), c.layout) << "D=" << c.d << " n=" << c.n;
  }
  EXPECT_EQ(LongErrorEntryOffset(5, 0), 132u + 5 * 57);
}

TEST(EventRows, ChannelBitsAreMostSignificantFirstAndStayInTheirRow) {
  EXPECT_EQ(EventBitByte(0), 0u);
  EXPECT_EQ(EventBitMask(0), 0x80);
  EXPECT_EQ(EventBitMask(7), 0x01);
  EXPECT_EQ(EventBitByte(9), 1u);
  EXPECT_EQ(EventBitMask(9), 0x40);

  // 20 channels give rows of 2 bytes: channels 16-19 have no bit of their own.
  const uint32_t row = EventRowLength(20);
  EXPECT_EQ(row, 2u);
  EXPECT_TRUE(EventBitInRow(15, row));
  EXPECT_FALSE(EventBitInRow(16, row));
}

}  // namespace
}  // namespace kestrum
