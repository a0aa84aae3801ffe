#include "config/config_compiler.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "config/xml_document.h"
#include "config_test_util.h"
#include "records/device_record.h"

namespace kestrum {
namespace {

const char kConfigXml[] =
    "<Configs><Config><AutoEnable>On</AutoEnable><SaveOutputs>yes</SaveOutputs>"
    "<SaveByTag>Off</SaveByTag><SaveRate>0x1000</SaveRate><ScanRate>1500</ScanRate>"
    "<BaudRate>19200</BaudRate><PortName>COM7</PortName><Parity>mark</Parity>"
    "<DataBits>7</DataBits><Retries>3</Retries><Label>north</Label></Config></Configs>";

const char kAiXml[] =
    "<Channels>"
    "<Channel id='1'><Enable>On</Enable><Tag>COUNT_03_TO_05X</Tag><Description>small &amp; "
    "fine</Description><Type>AI</Type><ErrorAlarmEnable>On</ErrorAlarmEnable>"
    "<ErrorAlarmDriveCommon>Off</ErrorAlarmDriveCommon><ErrorAlarmPriority>3</ErrorAlarmPriority>"
    "<ErrorAlarmDelay>65535</ErrorAlarmDelay><EventEnable>On</EventEnable>"
    "<LowEventLimit>-1.5</LowEventLimit><HighEventLimit>0.1</HighEventLimit>"
    "<Units>cnt/ft3</Units><MaximumUnits>1e6</MaximumUnits><MinimumUnits>0</MinimumUnits>"
    "<ReferenceEnable>On</ReferenceEnable><SigChangeEnable>On</SigChangeEnable>"
    "<SigChangeValue>12.25</SigChangeValue><ScalingEnable>Off</ScalingEnable>"
    "<LowAlarmEnable>Off</LowAlarmEnable><HighAlarmEnable>On</HighAlarmEnable>"
    "<HighAlarmDriveCommon>On</HighAlarmDriveCommon><HighAlarmLimit>5000</HighAlarmLimit>"
    "<HighWarningEnable>On</HighWarningEnable><HighWarningLimit>4000</HighWarningLimit>"
    "<HighAlarmDeadbandEnable>Off</HighAlarmDeadbandEnable><HighAlarmPriority>200</"
    "HighAlarmPriority>"
    "<HighAlarmDelay>10</HighAlarmDelay><HighAlarmText>TOO MANY PARTICLES IN THE "
    "ROOM!!</HighAlarmText>"
    "<Analogue.FieldType>VALUE</Analogue.FieldType><Analogue.PortNumber>4</Analogue.PortNumber>"
    "<Analogue.ValueType>>25</Analogue.ValueType><Scale>250</Scale></Channel>"
    "<Channel id='4'><Enable>Off</Enable><Tag>SPARE</Tag></Channel>"
    "<Channel "
    "id='2'><Type>CI</Type><Enable>Off</Enable><Analogue.FieldType>TIME</Analogue.FieldType>"
    "</Channel></Channels>";

const char kDiXml[] =
    "<Channels><Channel id='1'><Enable>On</Enable><Tag>DOOR</Tag><Description>door</Description>"
    "<Type>DI</Type><ErrorAlarmEnable>Off</ErrorAlarmEnable><EventEnable>Off</EventEnable>"
    "<LowStateText>SHUT</LowStateText><HighStateText>OPEN</HighStateText>"
    "<AlarmEnable>On</AlarmEnable><AlarmDriveCommon>On</AlarmDriveCommon><AlarmState>High</"
    "AlarmState>"
    "<AlarmPriority>9</AlarmPriority><AlarmDelay>3</AlarmDelay><AlarmText>DOOR OPEN</AlarmText>"
    "<Digital>0102030405060708090a0b0c0d0e0f101112131415161718</Digital></Channel></Channels>";

struct Snapshot {
  std::vector<uint8_t> block = std::vector<uint8_t>(kDeviceConfigBlockSize);
  uint8_t auto_enable = 0, save_outputs = 0, save_by_tag = 0;
  uint32_t save_rate = 0;
  std::vector<ChannelConfigRecord> ai = std::vector<ChannelConfigRecord>(4);
  std::vector<ChannelConfigRecord> di = std::vector<ChannelConfigRecord>(1);
  // The test module's extra block (Retries, Label) and four bytes (Scale) per ai channel.
  std::vector<uint8_t> extra = std::vector<uint8_t>(16);
  std::vector<uint8_t> ai_extra = std::vector<uint8_t>(16);
};

bool operator==(const Snapshot& a, const Snapshot& b) {
  return a.block == b.block && a.auto_enable == b.auto_enable && a.save_outputs == b.save_outputs &&
         a.save_by_tag == b.save_by_tag && a.save_rate == b.save_rate && a.extra == b.extra &&
         a.ai_extra == b.ai_extra &&
         std::memcmp(a.ai.data(), b.ai.data(), a.ai.size() * sizeof(ChannelConfigRecord)) == 0 &&
         std::memcmp(a.di.data(), b.di.data(), a.di.size() * sizeof(ChannelConfigRecord)) == 0;
}

class ConfigCompilerTest : public parvex_test::ConfigFolderTest {
 protected:
  // Loads everything through the loaders, in whichever form they choose.
  Snapshot LoadFolder(const std::string& folder) {
    Snapshot s;
    EXPECT_EQ(
        LoadDeviceConfig(folder.c_str(), s.block.data(), static_cast<int>(kDeviceConfigBlockSize),
                         s.extra.data(), 16, "extra.bin", &s.auto_enable, &s.save_outputs,
                         &s.save_by_tag, &s.save_rate),
        0)
        << xml_GetErrorText();
    EXPECT_EQ(LoadChannelConfig(folder.c_str(), kKindAnalogInput, s.ai.data(), 0, 4,
                                s.ai_extra.data(), 16, "ai.extra"),
              0)
        << xml_GetErrorText();
    EXPECT_EQ(LoadChannelConfig(folder.c_str(), kKindDigitalInput, s.di.data(), 0, 1, nullptr, 0,
                                nullptr),
              0)
        << xml_GetErrorText();
    return s;
  }

  int Compile(const std::string& folder) {
    written_.clear();
    return CompileConfigFolder(folder, &written_, &error_);
  }
  int Decompile(const std::string& folder) {
    written_.clear();
    return DecompileConfigFolder(folder, &written_, &error_);
  }

  std::vector<std::string> written_;
  std::string error_;
};

TEST_F(ConfigCompilerTest, XmlAndCompiledBinaryLoadToTheSameRecords) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/config.xml", kConfigXml);
  WriteText(folder + "/ai.xml", kAiXml);
  WriteText(folder + "/di.xml", kDiXml);
  Snapshot from_xml = LoadFolder(folder);
  EXPECT_EQ(from_xml.save_rate, 0x1000u);
  EXPECT_STREQ(GetChannelTag(from_xml.ai[0]), "COUNT_03_TO_05X");
  EXPECT_EQ(from_xml.ai[0].analogue.Analogue.ValueType, kValueAbove25);
  EXPECT_EQ(from_xml.extra[0], 3) << "Retries";
  EXPECT_EQ(from_xml.ai_extra[0], 250) << "Scale";

  ASSERT_EQ(Compile(folder), 0) << error_;
  EXPECT_EQ(written_, (std::vector<std::string>{"config", "saveconfig", "extra.bin", "ai",
                                                "ai.extra", "di", "di.extra"}));
  EXPECT_EQ(ReadBytes(folder + "/ai").size(), 8u + 216 * 4);
  SetReadXml("OFF");
  Snapshot from_binary = LoadFolder(folder);
  EXPECT_TRUE(from_binary == from_xml);
  EXPECT_EQ(from_binary.block[16], 3) << "Parity mark";
}

TEST_F(ConfigCompilerTest, XmlToBinaryToXmlIsStable) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/config.xml", kConfigXml);
  WriteText(folder + "/ai.xml", kAiXml);
  WriteText(folder + "/di.xml", kDiXml);
  ASSERT_EQ(Compile(folder), 0) << error_;
  std::vector<uint8_t> ai1 = ReadBytes(folder + "/ai");
  std::vector<uint8_t> config1 = ReadBytes(folder + "/config");

  std::vector<uint8_t> extra1 = ReadBytes(folder + "/extra.bin");
  std::vector<uint8_t> ai_extra1 = ReadBytes(folder + "/ai.extra");

  ASSERT_EQ(Decompile(folder), 0) << error_;
  EXPECT_EQ(written_, (std::vector<std::string>{"config.xml", "ai.xml", "di.xml"}));
  std::vector<uint8_t> ai_xml2 = ReadBytes(folder + "/ai.xml");
  std::vector<uint8_t> config_xml2 = ReadBytes(folder + "/config.xml");
  ASSERT_EQ(Compile(folder), 0) << error_;
  std::vector<uint8_t> ai2 = ReadBytes(folder + "/ai");
  EXPECT_EQ(ReadBytes(folder + "/config"), config1);
  EXPECT_EQ(ReadBytes(folder + "/extra.bin"), extra1) << "the extra block came back";
  EXPECT_EQ(ReadBytes(folder + "/ai.extra"), ai_extra1) << "the channels' extra data came back";
  ASSERT_EQ(ai2.size(), ai1.size());
  EXPECT_TRUE(std::equal(ai1.begin() + 8, ai1.end(), ai2.begin() + 8))
      << "records differ after a round trip through XML";
  ASSERT_EQ(Decompile(folder), 0) << error_;
  EXPECT_EQ(ReadBytes(folder + "/ai.xml"), ai_xml2);
  EXPECT_EQ(ReadBytes(folder + "/config.xml"), config_xml2);
}

TEST_F(ConfigCompilerTest, BadInputNamesFileAndFieldAndLeavesTheOldFiles) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/config.xml", kConfigXml);
  WriteText(folder + "/ai.xml", kAiXml);
  ASSERT_EQ(Compile(folder), 0) << error_;
  std::vector<uint8_t> config = ReadBytes(folder + "/config");

  std::string bad = kConfigXml;
  bad.replace(bad.find("0x1000"), 6, "-1");
  WriteText(folder + "/config.xml", bad);
  EXPECT_EQ(Compile(folder), -1);
  EXPECT_EQ(error_, folder +
                        "/config.xml: TESTX_1Dev/Proc Config - <SaveRate> integer value is out "
                        "of range");
  EXPECT_EQ(ReadBytes(folder + "/config"), config);

  // Values of the module's extra block and channel extra data that its own checks refuse fail
  // the compile with its message.
  struct Refused {
    const char* file;
    const char* xml;
    const char* given;
    const char* bad;
    const char* message;  // after "<folder>/<file>: "
  };
  const Refused refused[] = {
      {"config.xml", kConfigXml, "<Retries>3", "<Retries>99",
       "TESTX_1Dev/Proc Config - Retries 99 above 10"},
      {"ai.xml", kAiXml, "<Scale>250", "<Scale>5000",
       "TESTX_1ai Channel #1 - Scale 5000 above 1000"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.bad);
    WriteText(folder + "/config.xml", kConfigXml);
    bad = r.xml;
    bad.replace(bad.find(r.given), std::strlen(r.given), r.bad);
    WriteText(folder + "/" + r.file, bad);
    EXPECT_EQ(Compile(folder), -1);
    EXPECT_EQ(error_, folder + "/" + r.file + ": " + r.message);
    EXPECT_EQ(ReadBytes(folder + "/config"), config);
  }
  WriteText(folder + "/config.xml", kConfigXml);

  std::string bad_ai = kAiXml;
  bad_ai.replace(bad_ai.find("<Units>cnt/ft3</Units>"), 22, "");
  WriteText(folder + "/ai.xml", bad_ai);
  EXPECT_EQ(Compile(folder), -1);
  EXPECT_EQ(error_, folder + "/ai.xml: TESTX_1ai Channel #1 - <Units> Required");
  EXPECT_EQ(ReadBytes(folder + "/config"), config) << "nothing is written when one file fails";

  WriteText(folder + "/ai.xml", "<Channels><Channel id='0'/></Channels>");
  EXPECT_EQ(Compile(folder), -1);
  EXPECT_EQ(error_, folder + "/ai.xml:1: Channel id \"0\" is not a channel number from 1 to 62500");
}

// Stored texts are Windows-1252 whatever the document's encoding: a character the code page
// holds becomes its byte, one it cannot hold refuses the file naming the field, and decompiling
// writes the stored bytes back as UTF-8.
TEST_F(ConfigCompilerTest, TextsAreStoredInWindows1252AndDecompiledAsUtf8) {
  struct Row {
    const char* what;
    std::string declaration;  // the document's XML declaration, if any
    std::string units;        // the text of <Units> as the document holds it
    std::string stored;       // the bytes stored, empty when the file is refused
    std::string decompiled;   // the text of <Units> decompiled
  };
  const Row rows[] = {
      {"degree sign", "",
       "\xC2\xB0"
       "C",
       "\xB0"
       "C",
       "\xC2\xB0"
       "C"},
      {"euro sign", "", "\xE2\x82\xAC/h", "\x80/h", "\xE2\x82\xAC/h"},
      {"declared windows-1252", "<?xml version='1.0' encoding='windows-1252'?>", "\x80/m\xB3",
       "\x80/m\xB3", "\xE2\x82\xAC/m\xC2\xB3"},
      {"arrow", "",
       "a\xE2\x86\x92"
       "b",
       "", ""},
  };
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/config.xml", kConfigXml);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string ai = kAiXml;
    ai.replace(ai.find("cnt/ft3"), 7, row.units);
    WriteText(folder + "/ai.xml", row.declaration + ai);
    if (row.stored.empty()) {
      EXPECT_EQ(Compile(folder), -1);
      EXPECT_EQ(error_, folder +
                            "/ai.xml: TESTX_1ai Channel #1 - <Units> character U+2192 is not in "
                            "Windows-1252");
      continue;
    }
    ASSERT_EQ(Compile(folder), 0) << error_;
    std::vector<uint8_t> bytes = ReadBytes(folder + "/ai");
    std::string binary(bytes.begin(), bytes.end());
    EXPECT_NE(binary.find(std::string(row.stored) + '\0'), std::string::npos);
    ASSERT_EQ(Decompile(folder), 0) << error_;
    bytes = ReadBytes(folder + "/ai.xml");
    std::string xml(bytes.begin(), bytes.end());
    EXPECT_NE(xml.find("<Units>" + row.decompiled + "</Units>"), std::string::npos) << xml;
  }
  // A stored control character XML cannot carry fails the decompile, naming the field.
  std::vector<uint8_t> bytes = ReadBytes(folder + "/ai");
  std::string binary(bytes.begin(), bytes.end());
  const size_t units = binary.find("\x80/m\xB3");
  ASSERT_NE(units, std::string::npos);
  binary[units + 3] = '\x01';
  WriteText(folder + "/ai", binary);
  EXPECT_EQ(Decompile(folder), -1);
  EXPECT_EQ(error_, folder + "/ai: channel 1: <Units> character U+0001 cannot be written in XML");
}

// The compiler and the loader read a channel id by one rule: a channel whose id the compiler
// refuses is one the loader never selects, so the two forms cannot disagree in silence.
TEST_F(ConfigCompilerTest, ChannelIdsOutsideTheOneRuleAreRefusedWithTheirLine) {
  struct Case {
    const char* second_id;
    const char* message;  // after "<path>:3: Channel id \"<id>\" "
  };
  const Case cases[] = {
      {"+2", "is not a channel number from 1 to 62500"},
      {"2e0", "is not a channel number from 1 to 62500"},
      {"0x2", "is not a channel number from 1 to 62500"},
      {"2.0", "is not a channel number from 1 to 62500"},
      {"0", "is not a channel number from 1 to 62500"},
      {" 2", "is not a channel number from 1 to 62500"},
      {"", "is not a channel number from 1 to 62500"},
      {"62501", "is not a channel number from 1 to 62500"},
      {"99999999999999999999", "is not a channel number from 1 to 62500"},
      {"1", "repeats the channel of line 2"},
  };
  std::string folder = Folder("TESTX_1");
  std::string ai = kAiXml;
  const std::string first = "<Channel id='1'>";
  const std::string body = ai.substr(ai.find(first) + first.size(),
                                     ai.find("</Channel>") - ai.find(first) - first.size());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second_id);
    WriteText(folder + "/ai.xml", std::string("<Channels>\n") + first + body + "</Channel>\n" +
                                      "<Channel id='" + c.second_id + "'>" + body +
                                      "</Channel>\n</Channels>\n");
    EXPECT_EQ(Compile(folder), -1);
    EXPECT_EQ(error_, folder + "/ai.xml:3: Channel id \"" + c.second_id + "\" " + c.message);
    std::vector<ChannelConfigRecord> records(2);
    ASSERT_EQ(LoadChannelConfig(folder.c_str(), kKindAnalogInput, records.data(), 0, 2, nullptr, 0,
                                nullptr),
              0)
        << xml_GetErrorText();
    if (std::string(c.second_id) != "1") {
      static const ChannelConfigRecord kZero{};
      EXPECT_EQ(std::memcmp(&records[1], &kZero, sizeof kZero), 0) << "the loader selected it";
    }
  }
}

// The ai file holds the table's channel count of records whatever the highest id, so the binary
// form loads wherever the XML form does.
TEST_F(ConfigCompilerTest, ChannelCountSizesTheFileAndBoundsTheIds) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/ai.xml", kAiXml);  // ids 1, 4, 2
  for (int channels : {0, 4, 6, 62500}) {
    SCOPED_TRACE(channels);
    ASSERT_EQ(CompileConfigFolder(folder, &written_, &error_, channels), 0) << error_;
    const size_t records = channels == 0 ? 4 : static_cast<size_t>(channels);
    EXPECT_EQ(ReadBytes(folder + "/ai").size(), 8 + 216 * records);
  }
  SetReadXml("OFF");
  std::vector<ChannelConfigRecord> all(62500);
  EXPECT_EQ(LoadChannelConfig(folder.c_str(), kKindAnalogInput, all.data(), 0, 62500, nullptr, 0,
                              nullptr),
            0);
  EXPECT_STREQ(GetChannelTag(all[3]), "SPARE");

  EXPECT_EQ(CompileConfigFolder(folder, &written_, &error_, 3), -1);
  EXPECT_EQ(error_, folder + "/ai.xml:1: Channel id \"4\" is above the table's 3 channels");
  EXPECT_EQ(CompileConfigFolder(folder, &written_, &error_, 62501), -1);
  EXPECT_EQ(CompileConfigFolder(folder, &written_, &error_, -1), -1);
}

TEST_F(ConfigCompilerTest, AnOutputThatCannotBeWrittenLeavesEveryOldFileAndNoTemporary) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/config.xml", kConfigXml);
  WriteText(folder + "/ai.xml", kAiXml);
  WriteText(folder + "/config", "old config");
  WriteText(folder + "/ai", "old ai");
  std::filesystem::create_directory(folder + "/saveconfig");
  EXPECT_EQ(Compile(folder), -1);
  EXPECT_EQ(error_, folder + "/saveconfig: Is a directory");
  const std::string old_config = "old config";
  EXPECT_EQ(ReadBytes(folder + "/config"),
            std::vector<uint8_t>(old_config.begin(), old_config.end()));
  EXPECT_EQ(ReadBytes(folder + "/ai").size(), 6u);
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 5u) << "config.xml, ai.xml, config, ai and the saveconfig folder only";
}

// Decompiling writes each float as the shortest text that reads back to it, so every float the
// reader accepts survives a round trip through XML bit for bit.
TEST_F(ConfigCompilerTest, FloatsSurviveARoundTripThroughXml) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {FLT_MAX, "3.4028234663852886e+38"},
      {-FLT_MAX, "-3.4028234663852886e+38"},
      {1.8f, "1.8"},
      {0.1f, "0.1"},
      {FLT_MIN, "1.1754944e-38"},
      {6e-39f, "6e-39"},
      {std::bit_cast<float>(0x00400001u), "5.877473155409902e-39"},
      {16777217.0f, "16777216"},
      {-0.0f, "-0"},
      {123456.79f, "123456.79"},
  };
  std::string folder = Folder("TESTX_1");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteText(folder + "/ai.xml", kAiXml);
    ASSERT_EQ(Compile(folder), 0) << error_;
    std::vector<uint8_t> ai = ReadBytes(folder + "/ai");
    constexpr size_t kGain = 8 + 36;
    std::memcpy(ai.data() + kGain, &c.value, sizeof c.value);
    WriteBytes(folder + "/ai", ai);
    ASSERT_EQ(Decompile(folder), 0) << error_;
    std::vector<uint8_t> xml = ReadBytes(folder + "/ai.xml");
    EXPECT_NE(std::string(xml.begin(), xml.end()).find(std::string("<Gain>") + c.text + "</Gain>"),
              std::string::npos);
    ASSERT_EQ(Compile(folder), 0) << error_;
    std::vector<uint8_t> again = ReadBytes(folder + "/ai");
    ASSERT_EQ(again.size(), ai.size());
    EXPECT_TRUE(std::equal(ai.begin() + 8, ai.end(), again.begin() + 8));
  }
}

TEST_F(ConfigCompilerTest, WithoutAModuleTheCounterBlockIsBuiltIn) {
  std::string folder = Folder("PLAIN_1");
  WriteText(folder + "/config.xml", kConfigXml);
  ASSERT_EQ(Compile(folder), 0) << error_;
  std::vector<uint8_t> config = ReadBytes(folder + "/config");
  ASSERT_EQ(config.size(), 705u);
  EXPECT_EQ(config[0], 1);
  uint32_t scan_rate;
  std::memcpy(&scan_rate, config.data() + 1, 4);
  EXPECT_EQ(scan_rate, 1500u);
  EXPECT_STREQ(reinterpret_cast<const char*>(config.data() + 9), "COM7");
  EXPECT_EQ(ReadBytes(folder + "/saveconfig"), (std::vector<uint8_t>{1, 0, 0, 0x10, 0, 0}));

  std::string bad = kConfigXml;
  bad.replace(bad.find("<DataBits>7"), 11, "<DataBits>9");
  WriteText(folder + "/config.xml", bad);
  EXPECT_EQ(Compile(folder), -1);
  EXPECT_EQ(error_, folder + "/config.xml: PLAIN_1Dev/Proc Config - <DataBits> must be 5 to 8");
  bad = kConfigXml;
  bad.replace(bad.find("COM7"), 4, "LONGPORTNAME");
  WriteText(folder + "/config.xml", bad);
  EXPECT_EQ(Compile(folder), -1) << "a port name longer than its field is refused, not cut";

  std::string empty = Folder("PLAIN_2");
  EXPECT_EQ(Compile(empty), -1);
  EXPECT_EQ(Decompile(empty), -1);
}

// The counter's own module names the hardware bytes of an analogue channel with their words and
// refuses any other word; a compiled folder decompiles back to the same words.
TEST_F(ConfigCompilerTest, CounterModuleNamesTheHardwareBytes) {
  kestrum::SetEnvironmentValue("KSM_BIN", PARVEX_COUNTER_MODULE_DIR);
  struct Case {
    const char* fields;          // inside the channel element
    std::vector<uint8_t> bytes;  // FieldType, PortNumber, ValueType; empty: refused
    const char* message;         // after "PARVEX1ai Channel #1 - ", or the decompiled fields
  };
  const Case cases[] = {
      {"<FieldType>VALUE</FieldType><PortNumber>2</PortNumber><ValueType>0.5-1.0</ValueType>",
       {0, 2, 1},
       "<FieldType>VALUE</FieldType>\n    <PortNumber>2</PortNumber>\n    "
       "<ValueType>0.5-1.0</ValueType>"},
      {"<ValueType>flow</ValueType><FieldType>volume</FieldType><PortNumber>255</PortNumber>",
       {4, 255, 8},
       "<FieldType>VOLUME</FieldType>\n    <PortNumber>255</PortNumber>\n    "
       "<ValueType>FLOW</ValueType>"},
      {"<Analogue.ValueType>&gt;25</Analogue.ValueType>",
       {0, 0, 5},
       "<ValueType>&gt;25</ValueType>"},
      {"<Analogue>00020300000000000000000000000000</Analogue>",
       {0, 2, 3},
       "<FieldType>VALUE</FieldType>\n    <PortNumber>2</PortNumber>\n    "
       "<ValueType>5.0-10</ValueType>"},
      {"<FieldType>VALUES</FieldType>",
       {},
       " <FieldType> invalid value \"VALUES\" (one of VALUE, TIME, DATE, PORT, VOLUME)"},
      {"<ValueType>0.4-0.6</ValueType>",
       {},
       " <ValueType> invalid value \"0.4-0.6\" (one of 0.3-0.5, 0.5-1.0, 1.0-5.0, 5.0-10, 10-25, "
       "&gt;25, RH, TEMP, FLOW)"},
      {"<PortNumber>256</PortNumber>",
       {},
       " <PortNumber> integer value is out of range (a port id from 0 to 255)"},
  };
  std::string folder = Folder("PARVEX1");
  std::string config = kConfigXml;
  WriteText(folder + "/config.xml", config);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    WriteText(folder + "/ai.xml",
              "<Channels><Channel id='1'><Enable>On</Enable><Tag>T</Tag><Description>D"
              "</Description><Type>AI</Type><ErrorAlarmEnable>Off</ErrorAlarmEnable>"
              "<EventEnable>Off</EventEnable><Units>u</Units><MaximumUnits>1</MaximumUnits>"
              "<MinimumUnits>0</MinimumUnits><ReferenceEnable>Off</ReferenceEnable>"
              "<SigChangeEnable>Off</SigChangeEnable><ScalingEnable>Off</ScalingEnable>"
              "<LowAlarmEnable>Off</LowAlarmEnable><HighAlarmEnable>Off</HighAlarmEnable>" +
                  std::string(c.fields) + "</Channel></Channels>");
    if (c.bytes.empty()) {
      EXPECT_EQ(Compile(folder), -1);
      std::string message = c.message;
      if (size_t gt = message.find("&gt;"); gt != std::string::npos) message.replace(gt, 4, ">");
      EXPECT_EQ(error_, folder + "/ai.xml: PARVEX1ai Channel #1 - " + message);
      continue;
    }
    FolderFindings findings;
    ASSERT_EQ(CompileConfigFolder(folder, &written_, &error_, 0, &findings), 0) << error_;
    // The named hardware fields are ones the module describes, never "unknown elements".
    for (const FolderFinding& f : findings) {
      if (f.text.find("ai.xml") != std::string::npos) ADD_FAILURE() << f.text;
    }
    std::vector<uint8_t> ai = ReadBytes(folder + "/ai");
    ASSERT_EQ(ai.size(), 8u + 216);
    EXPECT_EQ(std::vector<uint8_t>(ai.begin() + 8 + 188, ai.begin() + 8 + 191), c.bytes);
    EXPECT_EQ(ReadBytes(folder + "/config")[1 + 16], 3) << "the module's Parity: mark";
    ASSERT_EQ(Decompile(folder), 0) << error_;
    std::vector<uint8_t> xml = ReadBytes(folder + "/ai.xml");
    EXPECT_NE(std::string(xml.begin(), xml.end()).find(c.message), std::string::npos)
        << std::string(xml.begin(), xml.end());
  }
}

}  // namespace
}  // namespace kestrum
