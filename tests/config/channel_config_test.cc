#include "config/channel_config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "config/xml_document.h"
#include "config_test_util.h"
#include "platform/error_number.h"
#include "platform/file_system.h"
#include "records/area_layout.h"
#include "records/channel_table.h"
#include "runtime/channel_prefixes.h"
#include "runtime/shared_area.h"
#include "tools/dm/instance.h"

namespace kestrum {
namespace {

// The elements an enabled analogue channel needs when every optional part is off.
std::string Analogue(int id, const std::string& tag, const std::string& more = "") {
  return "<Channel id=\"" + std::to_string(id) + "\"><Enable>On</Enable><Tag>" + tag +
         "</Tag><Description>desc " + tag +
         "</Description><Type>AI</Type><ErrorAlarmEnable>Off</ErrorAlarmEnable>"
         "<EventEnable>Off</EventEnable><Units>p/ft3</Units><MaximumUnits>1000</MaximumUnits>"
         "<MinimumUnits>0</MinimumUnits><ReferenceEnable>Off</ReferenceEnable>"
         "<SigChangeEnable>Off</SigChangeEnable><ScalingEnable>Off</ScalingEnable>"
         "<LowAlarmEnable>Off</LowAlarmEnable><HighAlarmEnable>Off</HighAlarmEnable>" +
         more + "</Channel>";
}

// Removes the element `name` from a channel text.
std::string Without(std::string channel, const std::string& name) {
  size_t start = channel.find("<" + name + ">");
  size_t end = channel.find("</" + name + ">");
  if (start != std::string::npos && end != std::string::npos) {
    channel.erase(start, end + name.size() + 3 - start);
  }
  return channel;
}

// Replaces the text of element `name`.
std::string With(const std::string& channel, const std::string& name, const std::string& text) {
  std::string out = Without(channel, name);
  return out.insert(out.find("</Channel>"), "<" + name + ">" + text + "</" + name + ">");
}

class ChannelConfigTest : public parvex_test::ConfigFolderTest {
 protected:
  // Writes `<kind>.xml` holding `channels` into TESTX_1 and loads `count` channels from 0.
  int Load(const std::string& kind, const std::string& channels, int count, int first = 0,
           void* extra = nullptr, int extra_size = 0) {
    folder_ = Folder("TESTX_1");
    WriteText(folder_ + "/" + kind + ".xml", "<Channels>" + channels + "</Channels>");
    records_.assign(static_cast<size_t>(count), ChannelConfigRecord{});
    for (auto& r : records_) std::memset(&r, 0xCC, sizeof r);
    int k = 0;
    while (kChannelKindNames[k] != kind) ++k;
    int result = LoadChannelConfig(folder_.c_str(), k, records_.data(), first, count, extra,
                                   extra_size, nullptr);
    error_ = result == 0 ? "" : xml_GetErrorText();
    return result;
  }

  static bool IsZero(const ChannelConfigRecord& r) {
    static const ChannelConfigRecord zero{};
    return std::memcmp(&r, &zero, sizeof r) == 0;
  }

  std::string folder_;
  std::vector<ChannelConfigRecord> records_;
  std::string error_;
};

TEST_F(ChannelConfigTest, MissingChannelsAreBlankExceptTheFirst) {
  ASSERT_EQ(Load("ai", Analogue(5, "FIVE") + Analogue(1, "ONE") + Analogue(2, "TWO"), 10), 0)
      << error_;
  EXPECT_STREQ(GetChannelTag(records_[0]), "ONE");
  EXPECT_STREQ(GetChannelTag(records_[1]), "TWO");
  EXPECT_STREQ(GetChannelTag(records_[4]), "FIVE");
  for (int i : {2, 3, 5, 6, 7, 8, 9}) EXPECT_TRUE(IsZero(records_[i])) << i;
  EXPECT_TRUE(ChannelEnabled(records_[0]));
  EXPECT_EQ(records_[0].analogue.MaximumUnits, 1000.0f);
  EXPECT_STREQ(GetChannelUnits(records_[0]), "p/ft3");

  EXPECT_EQ(Load("ai", Analogue(2, "TWO"), 3), -1);
  EXPECT_EQ(error_, "TESTX_1 - Channel id=1 Not Found");
  EXPECT_EQ(GetErrorNumber(), kXmlParseError);
  EXPECT_EQ(GetLastPlatformError(), kXmlParseError);

  // The first channel asked for is the one that must be there; ids match numerically.
  ASSERT_EQ(Load("ai", "<Channel id='03'><Enable>Off</Enable></Channel>", 2, 2), 0) << error_;
  EXPECT_FALSE(ChannelEnabled(records_[0]));
  EXPECT_TRUE(IsZero(records_[1]));
}

TEST_F(ChannelConfigTest, RequiredFieldsAndEventLimits) {
  std::string no_units = Without(Analogue(3, "THREE"), "Units");
  EXPECT_EQ(Load("ai", Analogue(1, "A") + Analogue(2, "B") + no_units, 3), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #3 - <Units> Required");
  EXPECT_STREQ(GetChannelTag(records_[2]), "THREE") << "the record is stored before the check";

  std::string events = With(Analogue(1, "E"), "EventEnable", "On");
  events.insert(events.find("</Channel>"),
                "<LowEventLimit>10</LowEventLimit><HighEventLimit>5</HighEventLimit>");
  EXPECT_EQ(Load("ai", events, 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - LowEventLimiit > HighEventLimit");

  std::string no_high = With(Analogue(1, "E"), "EventEnable", "On");
  no_high.insert(no_high.find("</Channel>"), "<LowEventLimit>1</LowEventLimit>");
  EXPECT_EQ(Load("ai", no_high, 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - <HighEventLimit> Required");

  // With events off the limits need not be there; a disabled channel needs nothing else.
  EXPECT_EQ(Load("ai", Analogue(1, "E"), 1), 0) << error_;
  EXPECT_EQ(Load("ai", "<Channel id='1'><Enable>Off</Enable></Channel>", 1), 0) << error_;
  EXPECT_EQ(Load("ai", "<Channel id='1'><Tag>x</Tag></Channel>", 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - <Enable> Required");
}

TEST_F(ChannelConfigTest, FieldTextsThatDoNotParse) {
  EXPECT_EQ(Load("ai", With(Analogue(1, "A"), "Enable", "on"), 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 -  <Enable> invalid value \"on\"");
  EXPECT_EQ(Load("ai", With(Analogue(1, "A"), "Enable", "TRUE"), 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 -  <Enable> invalid value \"TRUE\"");
  // An unknown type selects the digital layout, then fails as a value.
  EXPECT_EQ(Load("ai", With(Analogue(1, "A"), "Type", "XX"), 1), -1);
  EXPECT_EQ(error_, "TESTX_1do Channel #1 -  <Type> invalid value \"XX\"");
  EXPECT_EQ(Load("ai", With(Analogue(1, "A"), "MaximumUnits", "1e39"), 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 -  <MaximumUnits> floating point value overflow");

  ASSERT_EQ(Load("ai", Analogue(1, "ABCDEFGHIJKLMNOPQRST"), 1), 0) << error_;
  EXPECT_STREQ(GetChannelTag(records_[0]), "ABCDEFGHIJKLMNO");
}

TEST_F(ChannelConfigTest, DigitalChannelsWithTheDefaultHardwarePart) {
  const std::string digital =
      "<Channel id='1'><Enable>On</Enable><Tag>DOOR</Tag><Description>door</Description>"
      "<Type>DI</Type><ErrorAlarmEnable>Off</ErrorAlarmEnable><EventEnable>On</EventEnable>"
      "<EventState>High</EventState><LowStateText>CLOSED</LowStateText>"
      "<HighStateText>OPEN</HighStateText><AlarmEnable>Off</AlarmEnable>";
  // 47 hexadecimal digits: one short of the 24 bytes.
  const std::string hex47 =
      "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff 01 02 03 04 05 06 07 0";
  ASSERT_EQ(Load("di", digital + "<Digital>" + hex47 + "7</Digital></Channel>", 1), 0) << error_;
  const DigitalChannelConfig& d = records_[0].digital;
  EXPECT_EQ(d.flags,
            digital_flags::kEnable | digital_flags::kEventEnable | digital_flags::kEventState);
  EXPECT_STREQ(d.HighStateText, "OPEN");
  EXPECT_EQ(d.Digital[10], 0xAA);
  EXPECT_EQ(d.Digital[21], 0x06);
  EXPECT_EQ(d.Digital[22], 0x07);
  EXPECT_EQ(d.Digital[23], 0x07);
  EXPECT_EQ(Load("di", digital + "<Digital>" + hex47 + "</Digital></Channel>", 1), -1);
  EXPECT_EQ(error_, "TESTX_1di Channel #1 -  <Digital> hex string is too short");
  EXPECT_EQ(Load("di", digital + "<Digital>" + hex47 + "7 8</Digital></Channel>", 1), -1);
  EXPECT_EQ(error_, "TESTX_1di Channel #1 -  <Digital> hex string is too long");
  EXPECT_EQ(Load("di", Without(digital + "</Channel>", "HighStateText"), 1), -1);
  EXPECT_EQ(error_, "TESTX_1di Channel #1 - <HighStateText> Required");
}

TEST_F(ChannelConfigTest, ModuleHardwareValidationAndExtraData) {
  std::string c1 = Analogue(1, "ONE",
                            "<Analogue.FieldType>value</Analogue.FieldType>"
                            "<Analogue.PortNumber>3</Analogue.PortNumber>"
                            "<Analogue.ValueType>0.5-1.0</Analogue.ValueType>"
                            "<Scale>7</Scale>");
  std::string c3 = Analogue(3, "THREE", "<Scale>9</Scale>");
  std::vector<uint8_t> extra(16, 0xCC);
  ASSERT_EQ(Load("ai", c1 + c3, 3, 0, extra.data(), 16), 0) << error_;
  const AnalogueHardware& hw = records_[0].analogue.Analogue;
  EXPECT_EQ(hw.FieldType, kFieldValue);
  EXPECT_EQ(hw.PortNumber, 3);
  EXPECT_EQ(hw.ValueType, kValue05To1);
  EXPECT_EQ(hw.unused[12], 0x5A) << "the module decorated the hardware part";
  uint32_t scales[4];
  std::memcpy(scales, extra.data(), 16);
  EXPECT_EQ(scales[0], 7u);
  EXPECT_EQ(scales[1], 0u) << "a blank channel's extra data is stepped over";
  EXPECT_EQ(scales[2], 9u);
  EXPECT_EQ(extra[12], 0) << "the buffer starts from zeros";

  std::string reserved = Analogue(1, "R", "<Analogue.PortNumber>255</Analogue.PortNumber>");
  EXPECT_EQ(Load("ai", reserved, 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - PortNumber 255 is reserved");
  // The module's refusal replaces the message of the required-field check.
  EXPECT_EQ(Load("ai", Without(reserved, "Units"), 1), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - PortNumber 255 is reserved");

  EXPECT_EQ(Load("ai", Analogue(1, "S", "<Scale>2000</Scale>"), 1, 0, extra.data(), 16), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - Scale 2000 above 1000");
  EXPECT_EQ(Load("ai", Analogue(1, "S", "<Scale>big</Scale>"), 1, 0, extra.data(), 16), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #1 - <Scale>  invalid integer value");
  // A buffer too small for the module's extra data is refused, not overrun.
  EXPECT_EQ(Load("ai", Analogue(1, "S") + Analogue(2, "T"), 2, 0, extra.data(), 6), -1);
  EXPECT_EQ(error_, "TESTX_1ai Channel #2 - channel extra data exceeds its buffer");
}

TEST_F(ChannelConfigTest, BinaryFilesAndTheirLength) {
  std::string folder = Folder("NXMLX_1");
  std::vector<uint8_t> file(8 + 216 * 5, 0);
  for (int i = 0; i < 5; ++i) file[8 + 216 * i] = static_cast<uint8_t>('A' + i);
  WriteBytes(folder + "/ai", file);
  WriteText(folder + "/ai.xml", "<Channels/>");  // ignored: the module has no Ex_DoXml
  std::vector<ChannelConfigRecord> records(6);
  ASSERT_EQ(LoadChannelConfig(folder.c_str(), kKindAnalogInput, records.data(), 0, 5, nullptr, 0,
                              nullptr),
            0);
  EXPECT_STREQ(GetChannelTag(records[4]), "E");
  ASSERT_EQ(LoadChannelConfig(folder.c_str(), kKindAnalogInput, records.data(), 3, 2, nullptr, 0,
                              nullptr),
            0);
  EXPECT_STREQ(GetChannelTag(records[0]), "D");
  EXPECT_EQ(LoadChannelConfig(folder.c_str(), kKindAnalogInput, records.data(), 0, 6, nullptr, 0,
                              nullptr),
            -1);
  EXPECT_EQ(GetErrorNumber(), ENODATA);
  EXPECT_EQ(LoadChannelConfig(folder.c_str(), kKindDigitalInput, records.data(), 0, 1, nullptr, 0,
                              nullptr),
            -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);

  std::vector<uint8_t> extra(8, 0xCC);
  WriteBytes(folder + "/extra", {1, 2, 3});
  ASSERT_EQ(
      LoadChannelConfig(folder.c_str(), kKindAnalogInput, nullptr, 0, 0, extra.data(), 8, "extra"),
      0);
  EXPECT_EQ(extra, (std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}));
}

TEST(CheckChannelFields, FollowsTheEnabledParts) {
  ChannelConfigRecord r{};
  r.analogue.flags =
      analogue_flags::kEnable | analogue_flags::kLowAlarmEnable | analogue_flags::kLowWarningEnable;
  const std::string base =
      ",Enable,Tag,Description,Type,ErrorAlarmEnable,EventEnable,Units,MaximumUnits,"
      "MinimumUnits,ReferenceEnable,SigChangeEnable,ScalingEnable,LowAlarmEnable,"
      "LowAlarmDriveCommon,LowAlarmLimit,LowWarningEnable,";
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields(base.c_str(), &r), -1);
  EXPECT_STREQ(xml_GetStatusText(), "<LowWarningLimit> Required");
  const std::string low = base +
                          "LowWarningLimit,LowAlarmDeadbandEnable,LowAlarmPriority,LowAlarmDelay,"
                          "LowAlarmText,";
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields(low.c_str(), &r), -1);
  EXPECT_STREQ(xml_GetStatusText(), "<HighAlarmEnable> Required");
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields((low + "HighAlarmEnable,").c_str(), &r), 0);
  EXPECT_EQ(xml_GetStatus(), 0);

  // A digital record with its error alarm and alarm on.
  ChannelConfigRecord d{};
  d.digital.Type = kTypeDO;
  d.digital.flags =
      digital_flags::kEnable | digital_flags::kErrorAlarmEnable | digital_flags::kAlarmEnable;
  std::string found = ",Enable,Tag,Description,Type,ErrorAlarmEnable,";
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields(found.c_str(), &d), -1);
  EXPECT_STREQ(xml_GetStatusText(), "<ErrorAlarmDriveCommon> Required");
  found +=
      "ErrorAlarmDriveCommon,ErrorAlarmPriority,ErrorAlarmDelay,EventEnable,LowStateText,"
      "HighStateText,AlarmEnable,AlarmDriveCommon,AlarmState,AlarmPriority,AlarmDelay,";
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields(found.c_str(), &d), -1);
  EXPECT_STREQ(xml_GetStatusText(), "<AlarmText> Required");
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields((found + "AlarmText,").c_str(), &d), 0);
  // A name is matched whole: "Tag" is not found inside ",TagX,".
  xml_SetStatus(0, "");
  EXPECT_EQ(CheckChannelFields(",Enable,TagX,", &d), -1);
  EXPECT_STREQ(xml_GetStatusText(), "<Tag> Required");
}

}  // namespace
}  // namespace kestrum

namespace kestrum {
namespace {

class ReloadTest : public parvex_test::ConfigFolderTest {
 protected:
  void SetUp() override {
    ConfigFolderTest::SetUp();
    ForgetSharedAreas();
    std::string error;
    dm_ = dm::BuildInstance(
        R"({"devices": [{"driver": "testx", "number": 1, "folder": "TESTX_1",
            "prefixes": {"ai": {"prefix": "P1", "channels": 4}}}]})",
        &error);
    ASSERT_NE(dm_, nullptr) << error;
    ASSERT_EQ(GetCurrentDirectory(&old_cwd_), 0);
  }
  void TearDown() override {
    EXPECT_EQ(ChangeDirectory(old_cwd_), 0);
    dm_.reset();
    ForgetSharedAreas();
    ConfigFolderTest::TearDown();
  }

  const ChannelConfigRecord* Records() {
    return static_cast<const ChannelConfigRecord*>(GetChannelConfigRecords("P1"));
  }

  std::unique_ptr<dm::TemporaryInstance> dm_;
  std::string old_cwd_;
};

TEST_F(ReloadTest, ReloadsOnlyWhenTheFileStampChanges) {
  std::string folder = Folder("PLAIN_1");
  std::vector<uint8_t> file(8 + 216 * 4, 0);
  file[8 + 216 * 3] = 'Z';
  WriteBytes(folder + "/ai", file);
  ASSERT_EQ(ChangeDirectory(folder), 0);
  void* table = GetChannelTable("P1");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), 216 * 4);
  EXPECT_STREQ(GetChannelTag(Records()[3]), "Z");
  EXPECT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), 0) << "unchanged file";

  // A new stamp reloads; a failed reload keeps the old stamp so the next call tries again.
  file[8 + 216 * 3] = 'Y';
  WriteBytes(folder + "/ai", std::vector<uint8_t>(file.begin(), file.begin() + 100));
  ASSERT_EQ(SetFileModifiedTime("ai", 1000, 250000000), 0);
  EXPECT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), -1);
  EXPECT_EQ(GetErrorNumber(), ENODATA);
  WriteBytes(folder + "/ai", file);
  ASSERT_EQ(SetFileModifiedTime("ai", 1000, 250000000), 0);
  ASSERT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), 216 * 4);
  EXPECT_STREQ(GetChannelTag(Records()[3]), "Y");
  ChannelTableView view;
  AreaHeader header;
  ASSERT_EQ(ReadAreaHeader(table, &header), 0);
  ASSERT_TRUE(MakeChannelTableView(static_cast<uint8_t*>(table) + kAreaHeaderSize, header.data_size,
                                   &view));
  EXPECT_EQ(view.header->stamp.seconds, 1000);
  EXPECT_EQ(view.header->stamp.milliseconds, 250);

  ASSERT_EQ(ChangeDirectory(Folder("EMPTY_1")), 0);
  EXPECT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
}

TEST_F(ReloadTest, XmlFileIsWatchedWhenTheModuleReadsXml) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/ai.xml",
            "<Channels><Channel id='1'><Enable>Off</Enable><Tag>X1</Tag></Channel></Channels>");
  ASSERT_EQ(ChangeDirectory(folder), 0);
  void* table = GetChannelTable("P1");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), 216 * 4);
  EXPECT_STREQ(GetChannelTag(Records()[0]), "X1");
  EXPECT_EQ(ReloadChannelConfigIfChanged(kKindAnalogInput, table), 0);
}

}  // namespace
}  // namespace kestrum
