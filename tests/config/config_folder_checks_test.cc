// The configuration compiler's checks beyond the loaders: settings that load but cannot work,
// odd binary inputs of a decompile, and schema validation.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/config_compiler.h"
#include "config/schema_check.h"
#include "config_test_util.h"

namespace kestrum {
namespace {

const char kSaveSettings[] =
    "<AutoEnable>On</AutoEnable><SaveOutputs>Off</SaveOutputs><SaveByTag>Off</SaveByTag>"
    "<SaveRate>1000</SaveRate>";
const char kSerial[] =
    "<ScanRate>1000</ScanRate><BaudRate>9600</BaudRate><PortName>COM3</PortName>"
    "<Parity>None</Parity><DataBits>8</DataBits>";
// An enabled channel with every field its enabled parts need.
const char kChannel[] =
    "<Enable>On</Enable><Tag>T</Tag><Description>D</Description><Type>AI</Type>"
    "<ErrorAlarmEnable>Off</ErrorAlarmEnable><EventEnable>Off</EventEnable><Units>u</Units>"
    "<MaximumUnits>1</MaximumUnits><MinimumUnits>0</MinimumUnits>"
    "<ReferenceEnable>Off</ReferenceEnable><SigChangeEnable>Off</SigChangeEnable>"
    "<ScalingEnable>Off</ScalingEnable><LowAlarmEnable>Off</LowAlarmEnable>"
    "<HighAlarmEnable>Off</HighAlarmEnable>";

std::string ConfigXml(const std::string& fields) {
  return "<Configs>\n<Config>\n" + std::string(kSaveSettings) + "\n" + fields +
         "\n</Config>\n</Configs>";
}

std::string AiXml(const std::string& extra) {
  return "<Channels>\n<Channel id='1'>" + std::string(kChannel) + "\n" + extra +
         "</Channel>\n</Channels>";
}

class ConfigFolderChecksTest : public parvex_test::ConfigFolderTest {
 protected:
  // All finding texts, each prefixed "E " or "W ", with the folder path left out.
  static std::string Texts(const FolderFindings& findings, const std::string& folder) {
    std::string out;
    for (const FolderFinding& f : findings) {
      std::string text = f.text;
      for (size_t at; (at = text.find(folder + "/")) != std::string::npos;) {
        text.erase(at, folder.size() + 1);
      }
      out += (f.error ? "E " : "W ") + text + "\n";
    }
    return out;
  }
};

TEST_F(ConfigFolderChecksTest, CompileRefusesSettingsThatCannotWorkAndWarnsOnUnknownElements) {
  const std::string serial = kSerial;
  auto without = [&](const std::string& element) {
    std::string s = serial;
    const size_t start = s.find("<" + element + ">");
    const std::string end = "</" + element + ">";
    s.erase(start, s.find(end) + end.size() - start);
    return s;
  };
  auto with = [&](const std::string& from, const std::string& to) {
    std::string s = serial;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  struct Case {
    std::string config;    // the device fields of config.xml (its line 4)
    std::string ai_extra;  // more elements of channel 1 (line 3 of ai.xml)
    int result;
    std::string findings;  // substring of Texts()
  } cases[] = {
      {serial, "", 0, ""},
      {with("COM3", "COM12345"), "", -1,
       "E config.xml:4: <PortName> \"COM12345\" is longer than its 7 characters"},
      {with("<PortName>COM3</PortName>", "<Portname>COM3</Portname>"), "", 0,
       "W config.xml:4: unknown element <Portname> is ignored; did you mean <PortName>?"},
      {serial, "<Tagg>X</Tagg>", 0,
       "W ai.xml:3: unknown element <Tagg> is ignored; did you mean <Tag>?"},
      {serial, "<Zebra>X</Zebra>", 0, "W ai.xml:3: unknown element <Zebra> is ignored\n"},
      {without("BaudRate"), "", -1, "<BaudRate> is required with a <PortName>"},
      {without("DataBits"), "", -1, "<DataBits> is required with a <PortName>"},
#ifndef _WIN32
      // Windows hands any positive rate to the port's driver, which alone may refuse it.
      {with("9600", "12345"), "", -1, "<BaudRate> 12345 is not a rate of the serial line"},
#endif
      {with("COM3", "a/b"), "", -1, "<PortName> must be a name, not a path"},
      // Without a port name the scanner opens the default port with default settings.
      {"<ScanRate>1000</ScanRate>", "", 0, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config + " | " + c.ai_extra);
    const std::string folder = Folder("PLAIN_" + std::to_string(++n));
    WriteText(folder + "/config.xml", ConfigXml(c.config));
    WriteText(folder + "/ai.xml", AiXml(c.ai_extra));
    std::vector<std::string> written;
    std::string error;
    FolderFindings findings;
    EXPECT_EQ(CompileConfigFolder(folder, &written, &error, 0, &findings), c.result) << error;
    const std::string texts = Texts(findings, folder);
    if (c.findings.empty()) {
      EXPECT_EQ(texts, "");
    } else {
      EXPECT_NE(texts.find(c.findings), std::string::npos) << texts;
    }
    EXPECT_EQ(std::filesystem::exists(folder + "/config"), c.result == 0);
  }
}

TEST_F(ConfigFolderChecksTest, DecompileReportsOddInputsAndNeverReplacesUnasked) {
  struct Case {
    const char* name;
    int trailing_bytes;  // appended to the compiled "ai"
    bool ai_is_folder;
    bool output_exists;
    bool replace;
    int result;
    std::vector<std::string> written;
    std::string findings;
  } cases[] = {
      {"plain", 0, false, false, false, 0, {"config.xml", "ai.xml"}, ""},
      {"partial record",
       100,
       false,
       false,
       false,
       0,
       {"config.xml", "ai.xml"},
       "W ai: 100 bytes after the last whole record ignored\n"},
      {"ai a folder",
       0,
       true,
       false,
       false,
       -1,
       {"config.xml"},
       "E ai: a folder where a file belongs\n"},
      {"output exists", 0, false, true, false, -1, {}, "E out/config.xml: File exists\n"},
      {"output replaced", 0, false, true, true, 0, {"config.xml", "ai.xml"}, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = Folder("PLAIN_" + std::to_string(++n));
    WriteText(folder + "/config.xml", ConfigXml(kSerial));
    WriteText(folder + "/ai.xml", AiXml(""));
    std::vector<std::string> written;
    std::string error;
    ASSERT_EQ(CompileConfigFolder(folder, &written, &error), 0) << error;
    std::vector<uint8_t> ai = ReadBytes(folder + "/ai");
    ai.resize(ai.size() + static_cast<size_t>(c.trailing_bytes), 0);
    WriteBytes(folder + "/ai", ai);
    if (c.ai_is_folder) {
      std::filesystem::remove(folder + "/ai");
      std::filesystem::create_directory(folder + "/ai");
    }
    const std::string out = folder + "/out";
    std::filesystem::create_directory(out);
    if (c.output_exists) WriteText(out + "/config.xml", "<!-- mine -->");
    written.clear();
    FolderFindings findings;
    EXPECT_EQ(DecompileConfigFolderTo(folder, out, c.replace, &written, &findings), c.result);
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(Texts(findings, folder), c.findings);
    if (c.output_exists && !c.replace) {
      EXPECT_EQ(ReadBytes(out + "/config.xml").size(), 13u) << "a hand-written file is kept";
      EXPECT_FALSE(std::filesystem::exists(out + "/ai.xml"));
    }
  }
}

TEST_F(ConfigFolderChecksTest, SchemaCheckReportsEveryErrorWithItsPlace) {
  const std::vector<uint8_t> schema_bytes = ReadBytes(PARVEX_SOURCE_DIR "/docs/ai.xsd");
  const std::string schema_text(schema_bytes.begin(), schema_bytes.end());
  struct Case {
    std::string xml;
    int result;
    std::string findings;
  } cases[] = {
      {AiXml(""), 0, ""},
      // Two faults in two channels: both reported, each with its line and the column where the
      // reader was (end of the start tag, or of the element whose value is wrong).
      {"<Channels>\n<Channel id='1'><Tagg>X</Tagg></Channel>\n"
       "<Channel id='2'><Enable>Maybe</Enable></Channel>\n</Channels>",
       -1,
       "E ai.xml:2:22: Element 'Tagg': This element is not expected.\n"
       "E ai.xml:3:39: Element 'Enable': [facet 'pattern'] The value 'Maybe' is not accepted by "
       "the pattern 'On|Off'.\n"},
      {"<Channels><Channel id='1'>", -1, "E ai.xml:1:"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    const std::string folder = Folder("PLAIN_" + std::to_string(++n));
    WriteText(folder + "/ai.xml", c.xml);
    FolderFindings findings;
    EXPECT_EQ(CheckAgainstSchema(folder + "/ai.xml", schema_text, &findings), c.result);
    const std::string texts = Texts(findings, folder);
    if (c.findings.empty()) {
      EXPECT_EQ(texts, "");
    } else {
      EXPECT_EQ(texts.substr(0, c.findings.size()), c.findings) << texts;
    }
  }
}

}  // namespace
}  // namespace kestrum
