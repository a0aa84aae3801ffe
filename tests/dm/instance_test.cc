#include "tools/dm/instance.h"
#include "built_instance_test.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "platform/mailslot.h"
#include "platform/named_mutex.h"
#include "records/area_layout.h"
#include "records/status_bit_names.h"
#include "runtime/shared_area.h"
#include "test_util.h"
#include "tools/dm/area_builder.h"
#include "tools/dm/area_dump.h"
#include "tools/dm/system_description.h"

namespace kestrum::dm {
namespace {

using json = nlohmann::ordered_json;

constexpr char kSystem[] = R"({
  "subscriber_entries": 3, "message_entries": 5, "error_entries": 6,
  "devices": [
    {"driver": "parvex", "number": 3, "name": "CLEANROOM A", "folder": "CRA", "scan_rate": 2000,
     "port": "COM3", "baud": 19200, "parity": 2, "data_bits": 7,
     "prefixes": {"ai": {"prefix": "pa", "channels": 3}, "do": {"prefix": "PO", "channels": 9}},
     "extra_prefix": {"prefix": "PX", "channels": 2}}
  ],
  "data_processors": [{"name": "SYSER", "prefix": "SE", "channels": 4, "write_mode": -1,
                       "value_kind": 3, "owner_pid": 99}],
  "loggers": [{"name": "HISTORY", "pid": 12}, {"name": "TREND", "enabled": false}]
})";

json Decode(const std::string& name) {
  void* area = OpenSharedArea(name);
  if (!area) return json();
  return DecodeArea(area, SharedAreaMappedSize(area), name);
}

class InstanceTest : public parvex_test::BuiltInstanceTest<kSystem> {
 protected:
};

TEST_F(InstanceTest, DumpDecodesTheDeviceTableFieldByField) {
  json d = Decode("dm_device");
  ASSERT_TRUE(d.is_object());
  EXPECT_TRUE(d["problems"].empty()) << d["problems"].dump();
  EXPECT_EQ(d["count"], 1);
  const json& r = d["devices"][0];
  EXPECT_EQ(r["driver"], "parvex");
  EXPECT_EQ(r["name"], "CLEANROOM A");
  EXPECT_EQ(r["number"], 3);
  EXPECT_EQ(r["folder"], "CRA");
  EXPECT_EQ(r["prefixes"], json::array({"PA", "", "", "PO", ""}));
  EXPECT_EQ(r["extra_prefix"], "PX");
  EXPECT_EQ(r["scan_rate"], 2000);
  EXPECT_EQ(r["port"], "COM3");
  EXPECT_EQ(r["baud"], 19200);
  EXPECT_EQ(r["parity"], 2);
  EXPECT_EQ(r["data_bits"], 7);
  EXPECT_EQ(r["scanner_pid"], 0);
  EXPECT_EQ(d["header"]["data_size"], 4 + 790);
  EXPECT_EQ(d["header"]["long_subscribers"], 3);
  EXPECT_EQ(d["header"]["long_messages"], 5);
  EXPECT_EQ(d["header"]["mutex_base"], "dm_device");
}

TEST_F(InstanceTest, EveryAreaHasTheLayoutItsSizeFieldClaims) {
  const std::vector<std::string> expected = {
      "dm_PA",      "dm_PA_conf", "dm_PA_event", "dm_PO",     "dm_PO_conf", "dm_PO_event",
      "dm_PX",      "dm_PX_conf", "dm_PX_event", "dm_SE",     "dm_SE_conf", "dm_SE_event",
      "dm_datproc", "dm_device",  "dm_errors",   "dm_loggers"};
  EXPECT_EQ(ListAreas(), expected);
  for (const std::string& name : expected) {
    json d = Decode(name);
    ASSERT_TRUE(d.is_object()) << name;
    EXPECT_TRUE(d["problems"].empty()) << name << ": " << d["problems"].dump();
#ifndef _WIN32
    // Windows maps whole pages: only the carrier file on Linux has the area's own size.
    const auto file_size = std::filesystem::file_size(SharedAreaPath(name));
    EXPECT_EQ(d["header"]["total_size"], file_size) << name;
#endif
    const uint32_t data = d["header"]["data_size"];
    EXPECT_EQ(d["header"]["subscriber_table_offset"], 128 + data + (data & 1)) << name;
    NamedMutex* mutex = OpenNamedMutex(AreaMutexPath(name));
    EXPECT_NE(mutex, nullptr) << name;
    CloseNamedMutex(mutex);
  }
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(stat(instance_->dir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, kInstanceMode);
#endif
}

#ifndef _WIN32
TEST(InstanceGroupAccess, EveryObjectIsTheGroupsWhateverTheUmaskAndFoldersKeepSetGroupId) {
  // An instance folder prepared by an administrator: the instance's group, set-group-id.
  parvex_test::ScopedInstance scoped;
  ASSERT_EQ(chmod(scoped.rundir().c_str(), 02770), 0);
  const mode_t old_umask = umask(077);
  SystemDescription system;
  std::string error;
  ASSERT_EQ(ParseSystemDescription(kSystem, &system, &error), 0) << error;
  const int created = CreateInstance(system, &error);
  // Mailslots in an existing folder and in folders made for them.
  Mailslot* own = CreateMailslot("dm_77.slt", 4);
  Mailslot* nested = CreateMailslot("\\\\.\\mailslot\\service\\inner", 4);
  umask(old_umask);
  ASSERT_EQ(created, 0) << error;
  ASSERT_NE(own, nullptr);
  ASSERT_NE(nested, nullptr);
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(scoped.rundir())) {
    struct stat st;
    ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
    const std::string name = entry.path().string();
    if (S_ISDIR(st.st_mode)) {
      EXPECT_EQ(st.st_mode & (S_ISGID | 0770), S_ISGID | 0770u) << name;
    } else {
      EXPECT_EQ(st.st_mode & 0660, 0660u) << name;
    }
    ++checked;
  }
  EXPECT_GT(checked, 40);
  CloseMailslot(own);
  CloseMailslot(nested);
  ForgetSharedAreas();
}
#endif  // _WIN32

TEST_F(InstanceTest, PerPrefixAreasAreSizedFromTheChannelCount) {
  json table = Decode("dm_PO");
  EXPECT_EQ(table["channel_table"]["prefix"], "PO");
  EXPECT_EQ(table["channel_table"]["live_bytes"], 4) << "digital kinds default to status only";
  EXPECT_EQ(table["channel_table"]["channel_count"], 9);
  EXPECT_EQ(table["header"]["data_size"], 9 * (4 + 264) + 20);
  EXPECT_EQ(Decode("dm_PO_conf")["config_records"], 9);
  EXPECT_EQ(Decode("dm_PO_event")["header"]["data_size"], 1 * 3) << "rows of 9/8 bytes, 1+2 rows";
  EXPECT_EQ(Decode("dm_PA")["channel_table"]["channels"].size(), 3u);
  EXPECT_EQ(Decode("dm_PA")["channel_table"]["channels"][2]["value"], 0.0);

  json errors = Decode("dm_errors");
  EXPECT_EQ(errors["layout"], "long");
  EXPECT_EQ(errors["header"]["data_size"], 4 + 443 * 6);
  json processors = Decode("dm_datproc")["data_processors"];
  EXPECT_EQ(processors[0]["name"], "SYSER");
  EXPECT_EQ(processors[0]["write_mode"], -1);
  EXPECT_EQ(processors[0]["value_kind"], 3);
  EXPECT_EQ(processors[0]["owner_pid"], 99);
  json loggers = Decode("dm_loggers")["loggers"];
  EXPECT_EQ(loggers[1]["name"], "TREND");
  EXPECT_EQ(loggers[1]["enabled"], 0);
  EXPECT_EQ(loggers[0]["process_id"], 12);
}

TEST_F(InstanceTest, DumpReportsDamageInsteadOfFollowingIt) {
  void* area = OpenSharedArea("dm_device");
  ASSERT_NE(area, nullptr);
  auto* header = static_cast<AreaHeader*>(area);
  const uint64_t mapped = SharedAreaMappedSize(area);
  *reinterpret_cast<uint32_t*>(static_cast<std::byte*>(area) + 128) = 1000;
  json d = DecodeArea(area, mapped, "dm_device");
  EXPECT_FALSE(d["problems"].empty());
  EXPECT_FALSE(d.contains("devices"));
  header->message_table_offset = 1u << 30;
  d = DecodeArea(area, mapped, "dm_device");
  EXPECT_FALSE(d.contains("subscribers"));
  header->size = 0xFFFFFF00u;
  d = DecodeArea(area, mapped, "dm_device");
  EXPECT_EQ(d["problems"].size(), 1u);
  EXPECT_NE(RenderText(d).find("header refused"), std::string::npos);
  EXPECT_FALSE(DecodeArea(area, 100, "dm_device")["problems"].empty());
}

TEST(SystemDescription, BadDescriptionsAreRefusedWithAReason) {
  const char* bad[] = {
      "{",
      R"({"devices": [{"number": 1}]})",
      R"({"devices": [{"driver": "toolongname", "number": 1}]})",
      R"({"devices": [{"driver": "p", "number": 70000}]})",
      R"({"devices": [{"driver": "p", "number": 1, "prefixes": {"xx": {"prefix": "A"}}}]})",
      R"({"devices": [{"driver": "p", "number": 1,
                       "prefixes": {"ai": {"prefix": "A1", "live_bytes": 6}}}]})",
      R"({"devices": [{"driver": "p", "number": 1, "prefixes": {"ai": {"prefix": "ABC"}}}]})",
      R"({"data_processors": [{"prefix": "SE"}]})",
  };
  for (const char* text : bad) {
    SystemDescription system;
    std::string error;
    EXPECT_EQ(ParseSystemDescription(text, &system, &error), -1) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::string error;
  EXPECT_EQ(BuildInstance(R"({"devices": [
      {"driver": "p", "number": 1, "prefixes": {"ai": {"prefix": "A1"}}},
      {"driver": "p", "number": 2, "prefixes": {"di": {"prefix": "a1"}}}]})",
                          &error),
            nullptr);
  EXPECT_NE(error.find("A1"), std::string::npos) << error;
}

TEST(AreaBuilder, PlatformOneTablesHoldTenAndThirtyTwoLongEntries) {
  std::vector<std::byte> data(5);
  std::vector<std::byte> area = LayOutArea("x", data, {.platform_id = 1});
  ASSERT_EQ(area.size(), 128u + 5 + 1 + 80 + 256);
  AreaHeader header;
  std::memcpy(&header, area.data(), sizeof(header));
  AreaTables tables;
  ASSERT_TRUE(ComputeAreaTables(header, area.size(), 1, &tables));
  EXPECT_EQ(tables.long_subscriber_count, 10u);
  EXPECT_EQ(tables.long_message_count, 32u);
  EXPECT_EQ(LayOutArea(std::string(96, 'm'), data, {}).size(), 0u) << "mutex base too long";
}

TEST(StatusBitNames, SpellsOutEveryBit) {
  EXPECT_EQ(StatusBitNames(0), "");
  EXPECT_EQ(StatusBitNames(0x81), "SIG_CHANGE|VALUE_CHANNEL");
  EXPECT_EQ(StatusBitNames(0x1), "STATE");
  EXPECT_EQ(StatusBitNames(0x822), "ALARM_FLAG|NO_VALUE|ALARM_ACTIVE");
  EXPECT_EQ(StatusBitNames(0x10000), "0x10000");
}

}  // namespace
}  // namespace kestrum::dm
