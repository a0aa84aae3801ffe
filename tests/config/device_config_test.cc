#include "config/device_config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "config/extension_module.h"
#include "config/xml_document.h"
#include "config_test_util.h"
#include "platform/error_number.h"
#include "platform/shared_object.h"
#include "records/device_record.h"

namespace kestrum {
namespace {

constexpr int kBlockSize = static_cast<int>(kDeviceConfigBlockSize);

struct Loaded {
  int result = 0;
  std::vector<uint8_t> block = std::vector<uint8_t>(kBlockSize, 0xCC);
  std::vector<uint8_t> extra = std::vector<uint8_t>(16, 0xCC);
  uint8_t auto_enable = 0xCC, save_outputs = 0xCC, save_by_tag = 0xCC;
  uint32_t save_rate = 0xCCCCCCCC;
  std::string error;  // the composed failure text after an XML failure

  uint32_t U32(int offset) const {
    uint32_t v;
    std::memcpy(&v, block.data() + offset, 4);
    return v;
  }
};

class DeviceConfigTest : public parvex_test::ConfigFolderTest {
 protected:
  // Loads everything the loader offers from `folder`.
  Loaded LoadAll(const std::string& folder, const char* extra_file = "extra.bin") {
    Loaded l;
    l.result = LoadDeviceConfig(folder.c_str(), l.block.data(), kBlockSize, l.extra.data(),
                                static_cast<int>(l.extra.size()), extra_file, &l.auto_enable,
                                &l.save_outputs, &l.save_by_tag, &l.save_rate);
    if (l.result != 0) l.error = xml_GetErrorText();
    return l;
  }

  // Writes config.xml with `fields` inside Config.
  std::string XmlFolder(const std::string& fields, const std::string& name = "TESTX_1") {
    std::string folder = Folder(name);
    WriteText(folder + "/config.xml", "<Configs><Config>" + fields + "</Config></Configs>");
    return folder;
  }

  static std::string Settings(const std::string& save_outputs = "On",
                              const std::string& save_rate = "60000") {
    return "<AutoEnable>On</AutoEnable><SaveOutputs>" + save_outputs +
           "</SaveOutputs><SaveByTag>Off</SaveByTag><SaveRate>" + save_rate + "</SaveRate>";
  }

  // Asserts an XML failure with the composed text "<folder>Dev/Proc Config - <message>".
  void ExpectXmlFailure(const Loaded& l, const std::string& folder, const std::string& message) {
    EXPECT_EQ(l.result, -1);
    EXPECT_EQ(GetErrorNumber(), kXmlParseError);
    EXPECT_EQ(GetLastPlatformError(), kXmlParseError);
    EXPECT_EQ(l.error, folder + "Dev/Proc Config - " + message);
  }
};

TEST_F(DeviceConfigTest, XmlFormFillsSettingsBlockAndExtraThroughTheModule) {
  std::string folder = XmlFolder(
      "<SaveRate> 60000 </SaveRate><SaveByTag>yes</SaveByTag><SaveOutputs>Enabled</SaveOutputs>"
      "<AutoEnable>1</AutoEnable><Unknown>ignored</Unknown>"
      "<ScanRate>1000</ScanRate><BaudRate>9600</BaudRate><PortName>COM3</PortName>"
      "<Parity>even</Parity><DataBits>7</DataBits><DataBits>5</DataBits>"
      "<Retries>3</Retries><Label>north</Label>");
  Loaded l = LoadAll(folder);
  ASSERT_EQ(l.result, 0) << l.error;
  EXPECT_EQ(l.auto_enable, 1);
  EXPECT_EQ(l.save_outputs, 1);
  EXPECT_EQ(l.save_by_tag, 1);
  EXPECT_EQ(l.save_rate, 60000u);
  EXPECT_EQ(l.U32(0), 1000u);
  EXPECT_EQ(l.U32(4), 9600u);
  EXPECT_STREQ(reinterpret_cast<const char*>(l.block.data() + 8), "COM3");
  EXPECT_EQ(l.U32(16), 2u);
  EXPECT_EQ(l.U32(20), 7u) << "the first of two elements of the same name counts";
  EXPECT_EQ(l.block[24], 0) << "the block is rebuilt from zero";
  EXPECT_EQ(l.block[703], 0);
  uint32_t retries;
  std::memcpy(&retries, l.extra.data(), 4);
  EXPECT_EQ(retries, 3u);
  EXPECT_STREQ(reinterpret_cast<const char*>(l.extra.data() + 4), "north");
}

TEST_F(DeviceConfigTest, SaveSettingWordsAndTheirMessages) {
  for (const char* one : {"yes", "Enabled", "1", "ON"}) {
    Loaded l = LoadAll(XmlFolder(Settings(one) + "<ScanRate>1</ScanRate>"));
    ASSERT_EQ(l.result, 0) << one << ": " << l.error;
    EXPECT_EQ(l.save_outputs, 1) << one;
  }
  for (const char* zero : {"no", "Off", "0", "DISABLED"}) {
    Loaded l = LoadAll(XmlFolder(Settings(zero) + "<ScanRate>1</ScanRate>"));
    ASSERT_EQ(l.result, 0) << zero << ": " << l.error;
    EXPECT_EQ(l.save_outputs, 0) << zero;
  }
  std::string folder = XmlFolder(Settings("maybe") + "<ScanRate>1</ScanRate>");
  ExpectXmlFailure(LoadAll(folder), "TESTX_1", "<SaveOutputs> invalid Boolean value");
  ExpectXmlFailure(LoadAll(XmlFolder(Settings("On", "-1"))), "TESTX_1",
                   "<SaveRate> integer value is out of range");
  ExpectXmlFailure(LoadAll(XmlFolder(Settings("On", "60000 ms"))), "TESTX_1",
                   "<SaveRate> Invalid argument");
}

TEST_F(DeviceConfigTest, MissingPartsFailWithTheFirstMessage) {
  std::string folder = Folder("TESTX_1");
  WriteText(folder + "/config.xml", "<Configs><Other/></Configs>");
  ExpectXmlFailure(LoadAll(folder), "TESTX_1", "<Config> tag not found");

  WriteText(folder + "/config.xml", "<Configs><Config>");
  Loaded broken = LoadAll(folder);
  EXPECT_EQ(broken.result, -1);
  EXPECT_EQ(broken.error.rfind(
                "TESTX_1Dev/Proc Config - Xml Load Failed (" + folder + "/config.xml) ", 0),
            0u)
      << broken.error;
  EXPECT_EQ(broken.block[0], 0xCC) << "a failed load leaves the block alone";

  // SaveByTag matters only when the save settings are asked for.
  folder = XmlFolder(
      "<AutoEnable>On</AutoEnable><SaveOutputs>On</SaveOutputs><SaveRate>5</SaveRate>"
      "<ScanRate>250</ScanRate>");
  ExpectXmlFailure(LoadAll(folder), "TESTX_1", "<SaveByTag> tag not found");
  std::vector<uint8_t> block(kBlockSize, 0xEE);
  ASSERT_EQ(LoadDeviceConfig(folder.c_str(), block.data(), kBlockSize, nullptr, 0, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            0)
      << xml_GetErrorText();
  uint32_t scan_rate;
  std::memcpy(&scan_rate, block.data(), 4);
  EXPECT_EQ(scan_rate, 250u);
  EXPECT_EQ(block[4], 0) << "an absent field stays zero";

  // Asking for SaveOutputs without the rest of its group is refused, not a crash.
  uint8_t outputs;
  EXPECT_EQ(LoadDeviceConfig(folder.c_str(), nullptr, 0, nullptr, 0, nullptr, nullptr, &outputs,
                             nullptr, nullptr),
            -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
}

TEST_F(DeviceConfigTest, ValidationEntryPointsRefuseAfterTheBlockWasStored) {
  Loaded l = LoadAll(XmlFolder(Settings() + "<ScanRate>10</ScanRate><BaudRate>-5</BaudRate>"));
  ExpectXmlFailure(l, "TESTX_1", "BaudRate -5 is negative");
  EXPECT_EQ(l.U32(0), 10u) << "the block is stored before it is validated";

  ExpectXmlFailure(LoadAll(XmlFolder(Settings() + "<BaudRate>300</BaudRate>")), "TESTX_1",
                   "ScanRate must be given");

  Loaded extra = LoadAll(XmlFolder(Settings() + "<ScanRate>10</ScanRate><Retries>11</Retries>"));
  ExpectXmlFailure(extra, "TESTX_1", "Retries 11 above 10");
  EXPECT_EQ(extra.U32(0), 10u);

  ExpectXmlFailure(LoadAll(XmlFolder(Settings() + "<ScanRate>x</ScanRate>")), "TESTX_1",
                   "<ScanRate> invalid integer value");
}

TEST_F(DeviceConfigTest, BinaryFormIsChosenWithoutXmlSupport) {
  std::vector<uint8_t> config(705);
  config[0] = 1;
  for (int i = 1; i < 705; ++i) config[i] = static_cast<uint8_t>(i);
  const std::vector<uint8_t> saveconfig = {0x01, 0x00, 0x60, 0xEA, 0x00, 0x00};
  const std::string xml =
      "<Configs><Config>" + Settings() + "<ScanRate>7</ScanRate></Config></Configs>";

  // A module without Ex_DoXml, a folder ending in CURRENT_CONFIG in any case, XML switched off
  // and a folder without config.xml all read the binary files.
  std::vector<std::string> folders = {Folder("NXMLX_1"), Folder("TESTX_2/Current_Config"),
                                      Folder("TESTX_3")};
  for (const std::string& folder : folders) {
    WriteBytes(folder + "/config", config);
    WriteBytes(folder + "/saveconfig", saveconfig);
    if (folder.find("TESTX_3") == std::string::npos) WriteText(folder + "/config.xml", xml);
  }
  for (const std::string& folder : folders) {
    Loaded l = LoadAll(folder, "absent.bin");
    ASSERT_EQ(l.result, 0) << folder;
    EXPECT_EQ(l.auto_enable, 1);
    EXPECT_EQ(l.save_outputs, 1);
    EXPECT_EQ(l.save_by_tag, 0);
    EXPECT_EQ(l.save_rate, 60000u);
    EXPECT_EQ(l.block[0], 1);
    EXPECT_EQ(l.block[703], static_cast<uint8_t>(704));
    EXPECT_EQ(l.extra, std::vector<uint8_t>(16, 0)) << "a missing extra file reads as zeros";
  }

  std::string off = Folder("TESTX_4");
  WriteBytes(off + "/config", config);
  WriteBytes(off + "/saveconfig", saveconfig);
  WriteText(off + "/config.xml", xml);
  Loaded with_xml = LoadAll(off);
  ASSERT_EQ(with_xml.result, 0) << with_xml.error;
  EXPECT_EQ(with_xml.U32(0), 7u);
  SetReadXml("off");
  Loaded without_xml = LoadAll(off);
  ASSERT_EQ(without_xml.result, 0);
  EXPECT_EQ(without_xml.block[0], 1);
}

TEST_F(DeviceConfigTest, BinaryFilesOfOddSizes) {
  std::string folder = Folder("PLAIN_1");
  std::vector<uint8_t> short_config(100, 0x11);
  WriteBytes(folder + "/config", short_config);
  WriteBytes(folder + "/saveconfig", {1, 0, 0x60, 0xEA, 0});
  std::vector<uint8_t> block(kBlockSize, 0xCC);
  ASSERT_EQ(LoadDeviceConfig(folder.c_str(), block.data(), kBlockSize, nullptr, 0, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(block[98], 0x11);
  EXPECT_EQ(block[99], 0xCC) << "bytes past the file's end keep what the caller had";

  uint8_t outputs, by_tag;
  uint32_t rate;
  EXPECT_EQ(LoadDeviceConfig(folder.c_str(), nullptr, 0, nullptr, 0, nullptr, nullptr, &outputs,
                             &by_tag, &rate),
            -1);
  EXPECT_EQ(GetErrorNumber(), ENODATA) << "a 5-byte saveconfig is short";

  std::string empty = Folder("PLAIN_2");
  uint8_t auto_enable;
  EXPECT_EQ(LoadDeviceConfig(empty.c_str(), nullptr, 0, nullptr, 0, nullptr, &auto_enable, nullptr,
                             nullptr, nullptr),
            -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(GetLastPlatformError(), ENOENT);

  // The module's offset locates the extra block inside its file.
  std::string ex = Folder("NXMLX_2");
  WriteBytes(ex + "/extra.bin", {9, 9, 9, 9, 1, 2, 3});
  std::vector<uint8_t> extra(6, 0xCC);
  ASSERT_EQ(LoadDeviceConfig(ex.c_str(), nullptr, 0, extra.data(), 6, "extra.bin", nullptr, nullptr,
                             nullptr, nullptr),
            0);
  EXPECT_EQ(extra, (std::vector<uint8_t>{1, 2, 3, 0, 0, 0}));
}

TEST_F(DeviceConfigTest, ReadersOfTheCurrentDirectory) {
  std::string folder = XmlFolder(Settings("On", "1500") + "<ScanRate>42</ScanRate>");
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(folder.c_str()), 0);
  std::vector<uint8_t> block(kBlockSize, 0);
  int block_result = ReadDeviceConfig(block.data(), kBlockSize);
  uint8_t outputs = 0, by_tag = 9;
  uint32_t rate = 0;
  int settings_result = ReadSaveSettings(&outputs, &by_tag, &rate);
  ASSERT_EQ(chdir(old_cwd), 0);
  ASSERT_EQ(block_result, 0) << xml_GetErrorText();
  ASSERT_EQ(settings_result, 0) << xml_GetErrorText();
  EXPECT_EQ(block[0], 42);
  EXPECT_EQ(outputs, 1);
  EXPECT_EQ(by_tag, 0);
  EXPECT_EQ(rate, 1500u);
}

TEST(ExtensionModuleNames, DriverNameFromTheFolder) {
  EXPECT_EQ(ExtensionDriverName("/a/PARTCOUNT_1"), "PARTCOUNT");
  EXPECT_EQ(ExtensionDriverName("/a/PART_COUNT_1/"), "PART_COUNT");
  EXPECT_EQ(ExtensionDriverName("C:\\cfg\\NOBAR"), "NOBAR");
  EXPECT_EQ(ExtensionDriverName("/a/CALC12_1"), "calc");
  EXPECT_EQ(ExtensionDriverName("/a/CALCX_1"), "CALCX");
  EXPECT_EQ(ExtensionDriverName("/a/opddx3_2"), "opddx");
  EXPECT_TRUE(EndsWithCurrentConfig("/x/current_CONFIG"));
  EXPECT_TRUE(EndsWithCurrentConfig("C:\\K\\CURRENT_CONFIG\\"));
  EXPECT_FALSE(EndsWithCurrentConfig("CURRENT_CONFIG"));
  EXPECT_FALSE(EndsWithCurrentConfig("/x/NOTCURRENT_CONFIG"));
}

class ExtensionModuleTest : public parvex_test::ConfigFolderTest {};

TEST_F(ExtensionModuleTest, ModulesAreFoundByDriverNameOrThroughTheProcessorList) {
  ModuleHandle testx = LoadExtensionModule(Folder("TESTX_1").c_str());
  ASSERT_NE(testx, nullptr) << LastModuleError();
  EXPECT_NE(FindModuleSymbol(testx, "Ex_DoXml"), nullptr);
  FreeModule(testx);
  EXPECT_EQ(ExtensionSupportsXml(Folder("TESTX_1").c_str()), 1);
  EXPECT_EQ(ExtensionSupportsXml(Folder("NXMLX_1").c_str()), 0);
  EXPECT_EQ(ExtensionSupportsXml(Folder("NONE_1").c_str()), 0);
  EXPECT_EQ(LoadExtensionModule(Folder("NONE_1").c_str()), nullptr);
  EXPECT_EQ(GetErrorNumber(), ENOENT);

  // A processor without its own module and without the run flag gets a generic module; the
  // program folder here holds copies of the test modules under the generic names.
  std::string bin = (instance_.root() / "BIN").string();
  std::filesystem::create_directories(bin);
  const std::string modules = PARVEX_TEST_MODULE_DIR;
  std::filesystem::copy_file(modules + "/testx_ex" + kSharedObjectSuffix,
                             bin + "/usera_ex" + kSharedObjectSuffix);
  std::filesystem::copy_file(modules + "/nxmlx_ex" + kSharedObjectSuffix,
                             bin + "/userd_ex" + kSharedObjectSuffix);
  kestrum::SetEnvironmentValue("KSM_BIN", bin);
  WriteText(instance_.root().string() + "/CURRENT/DATPROC.TXT",
            "* processors\nanproc,,A-AP:10\ndigproc,,D-DP:5\nrunning,,A-RP:5,run\n");
  EXPECT_EQ(ExtensionSupportsXml(Folder("ANPROC_1").c_str()), 1) << "usera_ex for kind 2";
  EXPECT_EQ(ExtensionSupportsXml(Folder("DIGPROC_1").c_str()), 0);
  ModuleHandle generic = LoadExtensionModule(Folder("DIGPROC_1").c_str());
  EXPECT_NE(generic, nullptr) << "userd_ex for the others";
  FreeModule(generic);
  EXPECT_EQ(LoadExtensionModule(Folder("RUNNING_1").c_str()), nullptr)
      << "a processor with the run flag has no generic module";
}

}  // namespace
}  // namespace kestrum
