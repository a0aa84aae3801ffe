#include "records/area_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kestrum {
namespace {

// Builds the header of an area laid out as its creator does: header, D bytes of data, a
// padding byte when D is odd, subscriber table, message table.
AreaHeader NtLayout(uint32_t d, uint32_t n, uint32_t m) {
  AreaHeader h{};
  h.magic = kAreaMagic;
  h.data_size = d;
  h.subscriber_table_offset = 128 + d + d % 2;
  h.message_table_offset = h.subscriber_table_offset + 60 + 8 * n;
  uint32_t total = h.message_table_offset + 128 + 8 * m;
  h.size = total - 108;
  return h;
}

AreaHeader LegacyLayout(uint32_t d) {
  AreaHeader h{};
  h.magic = kAreaMagic;
  h.data_size = d;
  h.subscriber_table_offset = 128 + d;
  h.message_table_offset = h.subscriber_table_offset + 80;
  h.size = h.message_table_offset + 256 - 108;
  return h;
}

struct GoodLayout {
  uint32_t d, n, m;
};

class NtLayoutTest : public testing::TestWithParam<GoodLayout> {};

TEST_P(NtLayoutTest, FormulasRecoverTheCountsTheCreatorUsed) {
  const GoodLayout& g = GetParam();
  AreaHeader h = NtLayout(g.d, g.n, g.m);
  EXPECT_EQ(LongSubscriberCount(h), g.n);
  EXPECT_EQ(LongMessageCount(h), g.m);

  AreaTables t;
  ASSERT_TRUE(ComputeAreaTables(h, AreaTotalSize(h.size), kPlatformNt, &t));
  EXPECT_EQ(t.short_subscriber_offset, h.subscriber_table_offset);
  EXPECT_EQ(t.short_subscriber_count, 10u);
  EXPECT_EQ(t.long_subscriber_offset, h.subscriber_table_offset + 60);
  EXPECT_EQ(t.long_subscriber_count, g.n);
  EXPECT_EQ(t.short_message_offset, h.message_table_offset);
  EXPECT_EQ(t.short_message_count, 32u);
  EXPECT_EQ(t.long_message_offset, h.message_table_offset + 128);
  EXPECT_EQ(t.long_message_count, g.m);
  // The last long message entry ends exactly at the end of the area.
  EXPECT_EQ(t.long_message_offset + 8ull * t.long_message_count, AreaTotalSize(h.size));
}

INSTANTIATE_TEST_SUITE_P(Layouts, NtLayoutTest,
                         testing::Values(GoodLayout{0, 0, 0}, GoodLayout{100, 0, 0},
                                         GoodLayout{101, 0, 0}, GoodLayout{101, 3, 5},
                                         GoodLayout{4 + 788 * 2, 20, 0}, GoodLayout{65537, 0, 40}));

TEST(AreaLayout, LegacyPlatformUsesFixedTablesAtTheSameOffsets) {
  AreaHeader h = LegacyLayout(64);
  AreaTables t;
  ASSERT_TRUE(ComputeAreaTables(h, AreaTotalSize(h.size), kPlatformLegacy, &t));
  EXPECT_EQ(t.short_subscriber_count, 0u);
  EXPECT_EQ(t.short_message_count, 0u);
  EXPECT_EQ(t.long_subscriber_offset, 192u);
  EXPECT_EQ(t.long_subscriber_count, 10u);
  EXPECT_EQ(t.long_message_offset, 272u);
  EXPECT_EQ(t.long_message_count, 32u);
  // The same header read as platform 2 has a different (and here impossible) shape.
  EXPECT_FALSE(ComputeAreaTables(h, AreaTotalSize(h.size), 3, &t));
}

TEST(AreaLayout, HostileHeadersAreRefused) {
  struct Hostile {
    const char* what;
    AreaHeader header;
    uint64_t mapped;  // 0: the size the header claims
  };
  std::vector<Hostile> cases;
  auto add = [&](const char* what, auto mutate, uint64_t mapped = 0) {
    AreaHeader h = NtLayout(100, 2, 3);
    mutate(h);
    cases.push_back({what, h, mapped});
  };
  add("bad magic", [](AreaHeader& h) { h.magic = 0x4AFD; });
  add(
      "mapping shorter than claimed", [](AreaHeader&) {},
      AreaTotalSize(NtLayout(100, 2, 3).size) - 1);
  add(
      "mapping shorter than a header", [](AreaHeader&) {}, 100);
  add("message table before subscribers",
      [](AreaHeader& h) { h.message_table_offset = h.subscriber_table_offset + 59; });
  add("size too small for the tables (negative M)", [](AreaHeader& h) { h.size -= 200; });
  add("subscriber table inside the header", [](AreaHeader& h) {
    h.subscriber_table_offset = 64;
    h.message_table_offset = 64 + 60 + 16;
  });
  add("subscriber table inside the data part",
      [](AreaHeader& h) { h.subscriber_table_offset -= 8; });
  add("message table far beyond the area",
      [](AreaHeader& h) { h.message_table_offset = 0xFFFFFFF0u; });
  add("subscriber table at the very end", [](AreaHeader& h) {
    h.subscriber_table_offset = 0xFFFFFFFFu;
    h.message_table_offset = 0xFFFFFFFFu;
  });
  add("tables shifted so the messages run past the end", [](AreaHeader& h) {
    h.subscriber_table_offset += 8;
    h.message_table_offset += 8;
  });
  add("data part larger than the area", [](AreaHeader& h) { h.data_size = 0xFFFFFFFFu; });
  add(
      "size field at its maximum", [](AreaHeader& h) { h.size = 0xFFFFFFFFu; },
      AreaTotalSize(NtLayout(100, 2, 3).size));

  for (const Hostile& c : cases) {
    uint64_t mapped = c.mapped ? c.mapped : AreaTotalSize(c.header.size);
    AreaTables t;
    EXPECT_FALSE(ComputeAreaTables(c.header, mapped, kPlatformNt, &t)) << c.what;
  }
}

TEST(AreaLayout, NegativeFormulasAreReportedAsMinusOne) {
  AreaHeader h = NtLayout(10, 0, 0);
  h.message_table_offset = h.subscriber_table_offset + 10;
  EXPECT_EQ(LongSubscriberCount(h), -1);
  EXPECT_EQ(LongMessageCount(h), -1);
  h = NtLayout(10, 1, 0);
  h.size -= 9;  // one byte short of the 128 short message bytes after rounding
  EXPECT_EQ(LongSubscriberCount(h), 1);
  EXPECT_EQ(LongMessageCount(h), -1);
}

TEST(AreaLayout, MutexBaseMustEndInsideTheArea) {
  AreaHeader h = NtLayout(32, 0, 0);
  std::vector<uint8_t> area(AreaTotalSize(h.size), 0);
  h.mutex_name_offset = 128;
  std::memcpy(area.data(), &h, sizeof h);
  std::memcpy(area.data() + 128, "dm_AI", 6);
  std::string_view base;
  ASSERT_TRUE(AreaMutexBase(area.data(), area.size(), &base));
  EXPECT_EQ(base, "dm_AI");

  // No NUL before the end of the area.
  h.mutex_name_offset = static_cast<uint32_t>(area.size() - 3);
  std::memcpy(area.data(), &h, sizeof h);
  std::memset(area.data() + area.size() - 3, 'x', 3);
  EXPECT_FALSE(AreaMutexBase(area.data(), area.size(), &base));
  // Offset outside the area.
  h.mutex_name_offset = static_cast<uint32_t>(area.size());
  std::memcpy(area.data(), &h, sizeof h);
  EXPECT_FALSE(AreaMutexBase(area.data(), area.size(), &base));
}

TEST(AreaLayout, SystemAreaRecordsMustFitTheDataPart) {
  EXPECT_TRUE(SystemRecordsFit(4 + 788 * 3, 3, 788));
  EXPECT_FALSE(SystemRecordsFit(4 + 788 * 3 - 1, 3, 788));
  EXPECT_FALSE(SystemRecordsFit(0xFFFFFFFFu, 0xFFFFFFFFu, 788));  // no overflow

  // Extra prefixes only when their whole array lies in the data part.
  EXPECT_TRUE(DeviceAreaHasExtraPrefixes(4 + 790 * 2, 2));
  EXPECT_FALSE(DeviceAreaHasExtraPrefixes(790 * 2, 2));
  EXPECT_FALSE(DeviceAreaHasExtraPrefixes(4 + 788 * 2, 2));
  EXPECT_EQ(DeviceExtraPrefixOffset(2, 1), 132u + 2 * 788 + 2);
}

}  // namespace
}  // namespace kestrum
