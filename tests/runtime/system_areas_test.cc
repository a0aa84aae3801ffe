#include "runtime/system_areas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "built_instance_test.h"
#include "platform/error_number.h"
#include "records/channel_table.h"
#include "runtime/channel_prefixes.h"
#include "runtime/shared_area.h"
#include "tools/dm/area_builder.h"
#include "tools/dm/instance.h"

namespace kestrum {
namespace {

constexpr char kSystem[] = R"({
  "devices": [
    {"driver": "parvex", "number": 1, "name": "COUNTER ONE", "folder": "CNT1",
     "prefixes": {"ai": {"prefix": "p1", "channels": 16}, "di": {"prefix": "Q1", "channels": 8}},
     "extra_prefix": {"prefix": "X1", "channels": 8}},
    {"driver": "PARVEXNT", "number": 2, "prefixes": {"ai": {"prefix": "P2", "channels": 4}}}
  ],
  "data_processors": [
    {"name": "DERIVEDX", "prefix": "DX", "channels": 8, "write_mode": 4, "value_kind": 7,
     "owner_pid": 1234},
    {"name": "DERIVED", "prefix": "DV", "channels": 8, "write_mode": -1},
    {"name": "modbus1", "prefix": "MB", "channels": 8, "write_mode": 5, "owner_pid": 77}
  ],
  "loggers": [{"name": "History"}, {"name": "Trend", "enabled": false}]
})";

class SystemAreasTest : public parvex_test::BuiltInstanceTest<kSystem> {
 protected:
};

TEST_F(SystemAreasTest, AccessorsRetryUntilTheAreaExists) {
  instance_->Select(false);
  SystemArea devices;
  EXPECT_EQ(OpenDeviceArea(&devices), -1);
  EXPECT_EQ(GetErrorNumber(), 0);
  instance_->Select(true);
  ASSERT_EQ(OpenDeviceArea(&devices), 0);
  EXPECT_EQ(devices.count, 2u);
  EXPECT_EQ(devices.records, static_cast<std::byte*>(devices.area) + 132);
  SystemArea errors, loggers, processors;
  ASSERT_EQ(OpenErrorArea(&errors), 0);
  EXPECT_EQ(errors.count, 32u);
  EXPECT_EQ(errors.data_size, 4u + 443u * 32u);
  ASSERT_EQ(OpenLoggerArea(&loggers), 0);
  EXPECT_EQ(loggers.count, 2u);
  ASSERT_EQ(OpenDataProcessorArea(&processors), 0);
  EXPECT_EQ(processors.count, 3u);
}

TEST_F(SystemAreasTest, DeviceRecordIsFoundByDriverPrefixAndNumber) {
  DeviceRecord* first = FindDeviceRecord("PARVEX", 1);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->device_name, "COUNTER ONE");
  EXPECT_EQ(FindDeviceRecord("parvexXYZ", 1), first) << "only five characters count";
  DeviceRecord* second = FindDeviceRecord("parve", 2);
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(second->driver_name, "PARVEXNT");
  SetErrorNumber(5);
  EXPECT_EQ(FindDeviceRecord("parvex", 3), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
  EXPECT_EQ(FindDeviceRecord("parv", 1), nullptr) << "four characters are not a match";
  EXPECT_EQ(FindDeviceRecord("other", 1), nullptr);
}

TEST_F(SystemAreasTest, DataProcessorPrefersTheWholeName) {
  DataProcessorRecord* derived = FindDataProcessor("derived");
  ASSERT_NE(derived, nullptr);
  EXPECT_STREQ(derived->name, "DERIVED");
  DataProcessorRecord* near = FindDataProcessor("DERIVEDY");
  ASSERT_NE(near, nullptr);
  EXPECT_STREQ(near->name, "DERIVEDX") << "no whole match: the first five-character match";
  EXPECT_EQ(FindDataProcessor("SYSER"), nullptr);
  EXPECT_EQ(FindLoggerIndex("HISTORY"), 1);
  EXPECT_EQ(FindLoggerIndex("trend"), 2);
  EXPECT_EQ(FindLoggerIndex("trends"), 0);
  EXPECT_EQ(FindLoggerIndex("Tren"), 0);
}

TEST_F(SystemAreasTest, CountsThatDoNotFitAreRefused) {
  SystemArea devices;
  ASSERT_EQ(OpenDeviceArea(&devices), 0);
  *devices.count_field = 3;  // a third record would lie past the data part
  SetErrorNumber(5);
  EXPECT_EQ(OpenDeviceArea(&devices), -1);
  EXPECT_EQ(GetErrorNumber(), 0);
  EXPECT_EQ(FindDeviceRecord("parvex", 1), nullptr);
  EXPECT_EQ(FindPrefixSlot("Q1"), -1);
  *devices.count_field = 2;
  EXPECT_NE(FindDeviceRecord("parvex", 1), nullptr);

  SystemArea loggers;
  ASSERT_EQ(OpenLoggerArea(&loggers), 0);
  *loggers.count_field = 0xFFFFFFFFu;
  EXPECT_EQ(FindLoggerIndex("History"), 0);
  SystemArea errors;
  ASSERT_EQ(OpenErrorArea(&errors), 0);
  *errors.count_field = 1000;
  EXPECT_EQ(OpenErrorArea(&errors), -1);
}

TEST_F(SystemAreasTest, PrefixSlotsNumberProcessorsThenSixPerDevice) {
  EXPECT_EQ(FindPrefixSlot("DX"), 0);
  EXPECT_EQ(FindPrefixSlot("mb"), 2);
  EXPECT_EQ(FindPrefixSlot("P1"), 3);
  EXPECT_EQ(FindPrefixSlot("p1"), 3);
  EXPECT_EQ(FindPrefixSlot("q1x"), 4) << "only two characters count";
  EXPECT_EQ(FindPrefixSlot("X1"), 3 + 5);
  EXPECT_EQ(FindPrefixSlot("P2"), 3 + 6);
  EXPECT_EQ(FindPrefixSlot("ZZ"), -1);
  EXPECT_EQ(FindPrefixSlot(""), -1);

  void* table = GetChannelTable("p1");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table, GetChannelTable("P1"));
  EXPECT_EQ(table, OpenSharedArea("dm_P1"));
  void* config = GetChannelConfigArea("p1");
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config, OpenSharedArea("dm_P1_conf"));
  EXPECT_EQ(GetChannelConfigRecords("P1"), static_cast<std::byte*>(config) + 128);
  void* events = GetChannelEventArea("P1");
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(events, OpenSharedArea("dm_P1_event"));
  EXPECT_EQ(GetChannelTable("ZZ"), nullptr);
}

TEST_F(SystemAreasTest, ChannelTableViewChecksTheTable) {
  ChannelTableView view;
  ASSERT_EQ(GetChannelTableView("P1", &view), 0);
  EXPECT_EQ(view.count, 16u);
  EXPECT_NE(view.values, nullptr);
  ASSERT_EQ(GetChannelTableView("Q1", &view), 0);
  EXPECT_EQ(view.values, nullptr) << "digital tables carry no values";
  view.header->channel_count = 9;  // one more than the data part holds
  SetErrorNumber(5);
  EXPECT_EQ(GetChannelTableView("Q1", &view), -1);
  EXPECT_EQ(GetErrorNumber(), 0);
}

TEST_F(SystemAreasTest, WriteModeOwnerAndValueKindFollowTheSlot) {
  EXPECT_EQ(GetPrefixWriteMode("P1"), 0);
  EXPECT_EQ(GetPrefixWriteMode("X1"), 1);
  EXPECT_EQ(GetPrefixWriteMode("DX"), 5);
  EXPECT_EQ(GetPrefixWriteMode("DV"), 0);
  EXPECT_EQ(GetPrefixWriteMode("MB"), 1) << "modbus processors apply changes themselves";
  EXPECT_EQ(GetPrefixWriteMode("ZZ"), -1);

  std::vector<std::byte> data(40);
  ASSERT_EQ(dm::CreateArea("dm_ZZ", data, {}), 0);
  EXPECT_EQ(GetPrefixWriteMode("ZZ"), 1) << "a table without a slot";
  EXPECT_EQ(GetPrefixOwner("ZZ"), 0);
  EXPECT_EQ(GetPrefixValueKind("ZZ"), 0);

  FindDeviceRecord("parvex", 1)->scanner_pid = 4242;
  EXPECT_EQ(GetPrefixOwner("q1"), 4242);
  EXPECT_EQ(GetPrefixOwner("DX"), 1234);
  EXPECT_EQ(GetPrefixOwner("nope"), -1);
  EXPECT_EQ(GetPrefixValueKind("DX"), 7);
  EXPECT_EQ(GetPrefixValueKind("P1"), 0);
  EXPECT_EQ(GetPrefixValueKind("nope"), -1);
}

TEST(FieldEqualsIgnoringCase, StopsAtTheLimitOrTheEnd) {
  const char field[5] = {'A', 'b', 'C', 'd', 'E'};  // no NUL inside the field
  EXPECT_TRUE(FieldEqualsIgnoringCase(field, 5, "abcde", 6));
  EXPECT_FALSE(FieldEqualsIgnoringCase(field, 5, "abcdef", 7));
  EXPECT_TRUE(FieldEqualsIgnoringCase(field, 5, "ABCxx", 3));
  EXPECT_FALSE(FieldEqualsIgnoringCase(field, 5, "ab", 3));
}

}  // namespace
}  // namespace kestrum
