#include "config/xml_document.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/error_number.h"
#include "test_util.h"

namespace kestrum {
namespace {

// Owns a document and frees it and every text it hands out.
class XmlDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { xml_SetContext("", ""); }
  void TearDown() override { xml_ReleaseDocument(doc_); }

  XmlNode* Load(const std::string& xml) {
    std::string path = dir_.str() + "/doc.xml";
    std::ofstream(path) << xml;
    xml_ReleaseDocument(doc_);
    doc_ = xml_CreateDocument();
    xml_Load(doc_, path.c_str());
    return xml_GetRoot(doc_);
  }

  std::string Text(XmlNode* node) {
    char* text = xml_getText(node);
    if (text == nullptr) return "<none>";
    std::string copy = text;
    free(text);
    return copy;
  }

  parvex_test::ScopedTempDir dir_;
  XmlDocument* doc_ = nullptr;
};

TEST_F(XmlDocumentTest, MissingFileStopsTheChainAndKeepsTheFirstMessage) {
  std::string path = dir_.str() + "/absent.xml";
  SetLastPlatformError(0);
  doc_ = xml_CreateDocument();
  ASSERT_NE(doc_, nullptr);
  EXPECT_EQ(xml_GetStatus(), 0);
  xml_Load(doc_, path.c_str());
  EXPECT_LT(xml_GetStatus(), 0);
  EXPECT_EQ(xml_GetStatus(), kXmlFileNotFound);
  std::string expected = "Xml Load Failed (" + path + "), File Not Found";
  EXPECT_EQ(std::string(xml_GetStatusText()), expected);
  EXPECT_EQ(GetLastPlatformError(), kXmlParseError);

  // Every later step is inert and leaves the first message.
  EXPECT_EQ(xml_GetRoot(doc_), nullptr);
  EXPECT_EQ(xml_FindByName(reinterpret_cast<XmlNode*>(doc_), "Config"), nullptr);
  EXPECT_EQ(xml_getText(nullptr), nullptr);
  EXPECT_EQ(std::string(xml_GetStatusText()), expected);

  xml_SetContext("DEV1", "Dev/Proc Config");
  EXPECT_EQ(std::string(xml_GetErrorText()), "DEV1Dev/Proc Config - " + expected);

  // A new document starts a new chain.
  XmlDocument* other = xml_CreateDocument();
  EXPECT_EQ(xml_GetStatus(), 0);
  EXPECT_EQ(std::string(xml_GetStatusText()), "");
  xml_ReleaseDocument(other);
}

TEST_F(XmlDocumentTest, MalformedFileGivesTheParserReasonAndANegativeCode) {
  EXPECT_EQ(Load("<Configs><Config></Configs>"), nullptr);
  int status = xml_GetStatus();
  ASSERT_LT(status, 0);
  std::string path = dir_.str() + "/doc.xml";
  std::string text = xml_GetStatusText();
  std::string prefix = "Xml Load Failed (" + path + ") ";
  ASSERT_EQ(text.substr(0, prefix.size()), prefix) << text;
  char code[16];
  std::snprintf(code, sizeof code, " 0x%8x", static_cast<unsigned>(status));
  EXPECT_EQ(text.substr(text.size() - 11), code);
  EXPECT_GT(text.size(), prefix.size() + 11) << "the parser's reason is missing: " << text;
  EXPECT_EQ(GetLastPlatformError(), kXmlParseError);

  // A folder in place of the file is refused with the system's reason.
  XmlDocument* folder = xml_CreateDocument();
  xml_Load(folder, dir_.str().c_str());
  EXPECT_EQ(std::string(xml_GetStatusText()),
            "Xml Load Failed (" + dir_.str() + ") Is a directory 0x80070015");
  xml_ReleaseDocument(folder);

  // An empty file has no document element: also a parse failure, not a crash.
  EXPECT_EQ(Load(""), nullptr);
  EXPECT_LT(xml_GetStatus(), 0);
}

// `levels` elements, each inside the one before.
std::string Nested(int levels) {
  std::string open, close;
  for (int i = 0; i < levels; ++i) {
    open += "<a>";
    close += "</a>";
  }
  return open + close;
}

TEST_F(XmlDocumentTest, EveryWellFormednessErrorRefusesTheDocument) {
  struct Row {
    const char* what;
    std::string xml;
    const char* reason;  // a part of the parser's reason
  };
  const Row rows[] = {
      {"second root", "<Configs/><Configs/>", "Extra content at the end of the document"},
      {"trailing text", "<Configs/>text", "Extra content at the end of the document"},
      {"bare ampersand", "<Configs>a & b</Configs>", "xmlParseEntityRef: no name"},
      {"undefined entity", "<Configs>&nbsp;</Configs>", "Entity 'nbsp' not defined"},
      {"undefined entity after an external subset",
       "<!DOCTYPE Configs SYSTEM 'absent.dtd'><Configs>&nbsp;</Configs>",
       "Entity 'nbsp' not defined"},
      {"entity declared", "<!DOCTYPE Configs [<!ENTITY u 'cnt'>]><Configs>&u;</Configs>",
       "entity 'u' is declared"},
      {"duplicate attribute", "<Configs a='1' a='2'/>", "Attribute a redefined"},
      {"invalid UTF-8", "<Configs>\xC3\x28</Configs>", "Input is not proper UTF-8"},
      {"control character", "<Configs>\x01</Configs>", "invalid Char value 1"},
      {"300 levels", Nested(300), "elements nested more than 256 levels deep"},
      {"200,000 levels", Nested(200000), "elements nested more than 256 levels deep"},
  };
  const std::string prefix = "Xml Load Failed (" + dir_.str() + "/doc.xml) 1:";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    xml_SetStatus(0, "");
    SetLastPlatformError(0);
    EXPECT_EQ(Load(row.xml), nullptr);
    const int status = xml_GetStatus();
    EXPECT_LT(status, 0);
    const std::string text = xml_GetStatusText();
    char code[16];
    std::snprintf(code, sizeof code, " 0x%8x", static_cast<unsigned>(status));
    EXPECT_EQ(text.substr(0, prefix.size()), prefix) << text;
    EXPECT_NE(text.find(row.reason), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - std::strlen(code)), code) << text;
    EXPECT_EQ(GetLastPlatformError(), kXmlParseError);
  }
  // The deepest nesting the parser allows still loads.
  EXPECT_NE(Load(Nested(256)), nullptr) << xml_GetStatusText();
}

TEST_F(XmlDocumentTest, TextsAreTheFirstTextChildAsDelivered) {
  XmlNode* root = Load(
      "<Configs><Config>"
      "<Blank>  padded value </Blank><Empty/><Only><![CDATA[cdata]]></Only>"
      "<Mixed>first<!-- note -->second</Mixed><Nested><x>in</x>after</Nested>"
      "<Amp>a&amp;b</Amp>"
      "</Config></Configs>");
  ASSERT_NE(root, nullptr);
  XmlNode* config = xml_FindByName(root, "Config");
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(Text(xml_FindByName(config, "Blank")), "  padded value ");
  EXPECT_EQ(Text(xml_FindByName(config, "Empty")), "");
  EXPECT_EQ(Text(xml_FindByName(config, "Only")), "");
  EXPECT_EQ(Text(xml_FindByName(config, "Mixed")), "first");
  EXPECT_EQ(Text(xml_FindByName(config, "Nested")), "after");
  EXPECT_EQ(Text(xml_FindByName(config, "Amp")), "a&b");
  EXPECT_EQ(Text(nullptr), "<none>");
  EXPECT_EQ(xml_GetStatus(), 0);
}

TEST_F(XmlDocumentTest, FindingByNameAndByNumericAttribute) {
  XmlNode* root = Load(
      "<Channels>"
      "<Channel id='1'><port.speed>9600</port.speed><list.2>x</list.2></Channel>"
      "<Channel id='03'><Tag>three</Tag></Channel>"
      "<Channel id='4.0'><Tag>four</Tag></Channel>"
      "<Channel id='3'><Tag>second three</Tag></Channel>"
      "</Channels>");
  ASSERT_NE(root, nullptr);
  XmlNode* first = xml_FindByAttribute(root, "Channel", "id", "1");
  ASSERT_NE(first, nullptr);
  // Dotted field names are ordinary element names.
  EXPECT_EQ(Text(xml_FindByName(first, "port.speed")), "9600");
  EXPECT_EQ(Text(xml_FindByName(first, "list.2")), "x");

  EXPECT_EQ(Text(xml_FindByName(xml_FindByAttribute(root, "Channel", "id", "3"), "Tag")), "three");
  EXPECT_EQ(Text(xml_FindByName(xml_FindByAttribute(root, "Channel", "id", "4"), "Tag")), "four");
  EXPECT_EQ(xml_FindByAttribute(root, "Channel", "id", "9"), nullptr);
  EXPECT_EQ(xml_FindByName(root, "Absent"), nullptr);
  EXPECT_EQ(xml_GetStatus(), 0);
}

TEST_F(XmlDocumentTest, BadQueriesFailWithTheirOwnMessage) {
  XmlNode* root = Load("<Configs><Config/></Configs>");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(xml_FindByName(root, "Config[["), nullptr);
  EXPECT_EQ(xml_GetStatus(), kXmlOperationFailed);
  EXPECT_EQ(std::string(xml_GetStatusText()), "xml_FindByName('Config[[') failed 0x80004005");
  // The failed chain keeps its first message.
  EXPECT_EQ(xml_FindByAttribute(root, "Channel", "id", "x y"), nullptr);
  EXPECT_EQ(std::string(xml_GetStatusText()), "xml_FindByName('Config[[') failed 0x80004005");

  xml_SetStatus(0, "");
  EXPECT_EQ(xml_FindByAttribute(root, "Channel", "id", "x y"), nullptr);
  EXPECT_EQ(std::string(xml_GetStatusText()),
            "xml_FindByAttribute('Channel[@id=x y]') failed 0x80004005");

  // A query longer than 127 characters is refused rather than cut into another query.
  xml_SetStatus(0, "");
  std::string value(130, '1');
  EXPECT_EQ(xml_FindByAttribute(root, "Channel", "id", value.c_str()), nullptr);
  EXPECT_LT(xml_GetStatus(), 0);
}

TEST_F(XmlDocumentTest, RemovedChildrenAreGoneAndSiblingsWalk) {
  XmlNode* root = Load("<Configs><Config><A>1</A><B>2</B><A>3</A></Config></Configs>");
  XmlNode* config = xml_FindByName(root, "Config");
  XmlNode* a = xml_FindByName(config, "A");
  EXPECT_EQ(xml_RemoveChild(config, a), 0);
  // The second A is now the first one.
  EXPECT_EQ(Text(xml_FindByName(config, "A")), "3");

  XmlNode* child = xml_FirstChild(config);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(Text(child), "2");
  child = xml_NextSibling(child);
  EXPECT_EQ(Text(child), "3");
  EXPECT_EQ(xml_NextSibling(child), nullptr);

  // Removing from the wrong parent fails; a missing node does nothing.
  EXPECT_EQ(xml_RemoveChild(root, child), kXmlOperationFailed);
  EXPECT_EQ(std::string(xml_GetStatusText()), "xml_RemoveChild() failed 0x80004005");
  xml_SetStatus(0, nullptr);
  EXPECT_EQ(xml_RemoveChild(config, nullptr), -1);
  EXPECT_EQ(xml_GetStatus(), 0);
}

TEST(XmlStatus, TextsAreCutToTheirLimits) {
  xml_SetStatus(-1, std::string(300, 'e').c_str());
  xml_SetContext(std::string(300, 'f').c_str(), std::string(300, 'c').c_str());
  std::string text = xml_GetErrorText();
  EXPECT_EQ(text, std::string(256, 'f') + std::string(256, 'c') + " - " + std::string(255, 'e'));
  // A null leaves a part as it was.
  xml_SetContext(nullptr, "ctx");
  xml_SetStatus(-2, nullptr);
  EXPECT_EQ(xml_GetStatus(), -2);
  EXPECT_EQ(std::string(xml_GetErrorText()),
            std::string(256, 'f') + "ctx - " + std::string(255, 'e'));
}

}  // namespace
}  // namespace kestrum
