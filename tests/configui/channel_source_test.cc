#include "configui/channel_source.h"

#include <gtest/gtest.h>

namespace parvex {
namespace {

ParvexChannelRecord RecordWith(uint8_t field_type, uint8_t port, uint8_t value_type) {
  ParvexChannelRecord record{};
  record.Bytes[188] = field_type;
  record.Bytes[189] = port;
  record.Bytes[190] = value_type;
  record.Bytes[191] = 0xAB;  // a neighbour that must survive every store
  return record;
}

TEST(ChannelSource, ReadsTheThreeBytesAndMarksValuesBeyondTheLists) {
  ChannelSource s = ReadChannelSource(RecordWith(0, 3, 6));
  EXPECT_EQ(s.field_type, 0);
  EXPECT_EQ(s.port, 3u);
  EXPECT_STREQ(kValueTypeItems[s.value_type], "RH");
  s = ReadChannelSource(RecordWith(5, 255, 9));
  EXPECT_EQ(s.field_type, -1);
  EXPECT_EQ(s.port, 255u);
  EXPECT_EQ(s.value_type, -1);
}

TEST(ChannelSource, OnlyValueEnablesThePortAndValueType) {
  EXPECT_TRUE(ValueControlsEnabled(0));
  for (int type = 1; type < 5; ++type) EXPECT_FALSE(ValueControlsEnabled(type));
  EXPECT_FALSE(ValueControlsEnabled(-1));
}

TEST(ChannelSource, PortTextMustBeAWholeNumberUpTo255) {
  EXPECT_EQ(ParsePortNumber("0"), 0u);
  EXPECT_EQ(ParsePortNumber("255"), 255u);
  EXPECT_EQ(ParsePortNumber(" 17 "), 17u);
  for (const char* bad : {"256", "-1", "", " ", "1x", "+3", "3.0", "99999999999"}) {
    EXPECT_FALSE(ParsePortNumber(bad).has_value()) << bad;
  }
}

TEST(ChannelSource, UnchangedValueIsNotStoredOtherTypesAlwaysAre) {
  ParvexChannelRecord record = RecordWith(0, 3, 6);
  EXPECT_FALSE(StoreChannelSource({0, 3, 6}, record));

  EXPECT_TRUE(StoreChannelSource({0, 4, 6}, record));
  EXPECT_EQ(record.Bytes[189], 4);

  record = RecordWith(1, 3, 6);
  EXPECT_TRUE(StoreChannelSource({1, 3, 6}, record));  // TIME stores even without a change
  EXPECT_TRUE(StoreChannelSource({0, 3, 6}, record));  // TIME -> VALUE
  EXPECT_EQ(record.Bytes[188], 0);
  EXPECT_EQ(record.Bytes[191], 0xAB);

  record = RecordWith(9, 3, 12);  // beyond the lists: no selection keeps the stored bytes
  EXPECT_TRUE(StoreChannelSource({-1, 3, -1}, record));
  EXPECT_EQ(record.Bytes[188], 9);
  EXPECT_EQ(record.Bytes[190], 12);
}

}  // namespace
}  // namespace parvex
