#include "runtime/registry_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime_test_util.h"

namespace kestrum {
namespace {

using kestrum_test::GetString;
using kestrum_test::PutString;

constexpr const char* kFamily = "SOFTWARE\\Veltrane\\Kestrum";
constexpr const char* kProduct = "SOFTWARE\\Veltrane\\Tarvo";

class RegistryAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PutString("SOFTWARE\\Veltrane", "ProductName", "Tarvo");
    ForgetProcessSettings();
  }
  int Read(const char* key, const char* name, std::string* text, uint32_t room = 64) {
    char buffer[64] = {};
    uint32_t type = 0;
    uint32_t size = room;
    int rc = AccessRegistryValue(RegHiveKey(RegHive::kLocalMachine), key, kKeyQueryValue, name,
                                 &type, buffer, &size);
    if (rc == 0) *text = buffer;
    return rc;
  }
  int Write(const char* key, const char* name, const char* text) {
    uint32_t type = kRegSz;
    uint32_t size = static_cast<uint32_t>(std::strlen(text) + 1);
    return AccessRegistryValue(RegHiveKey(RegHive::kLocalMachine), key, kKeySetValue, name, &type,
                               const_cast<char*>(text), &size);
  }

  kestrum_test::RuntimeInstance runtime_;
};

TEST_F(RegistryAccessTest, ReadsPreferTheProductKeyAndFallBackToTheFamilyKey) {
  PutString(kFamily, "ReadXML", "OFF");
  std::string text;
  ASSERT_EQ(Read(kFamily, "ReadXML", &text), 0);  // no product key at all
  EXPECT_EQ(text, "OFF");
  PutString(kProduct, "Other", "x");
  ASSERT_EQ(Read(kFamily, "ReadXML", &text), 0);  // product key without the value
  EXPECT_EQ(text, "OFF");
  PutString(kProduct, "ReadXML", "ON");
  ASSERT_EQ(Read(kFamily, "ReadXML", &text), 0);
  EXPECT_EQ(text, "ON");
  ASSERT_EQ(Read("software\\veltrane\\KESTRUM", "ReadXML", &text), 0);  // any case
  EXPECT_EQ(text, "ON");
  EXPECT_EQ(Read(kFamily, "Missing", &text), ENOENT);
}

TEST_F(RegistryAccessTest, AValueTooLongInTheProductKeyIsNotReplacedByTheFamilyValue) {
  PutString(kFamily, "Root:", "/srv/a");
  PutString(kProduct, "Root:", "/srv/a-much-longer-product-root");
  std::string text = "untouched";
  EXPECT_EQ(Read(kFamily, "Root:", &text, 8), EOVERFLOW);
  EXPECT_EQ(text, "untouched");
}

TEST_F(RegistryAccessTest, WritesGoToTheProductKeyOnly) {
  PutString(kFamily, "ReadXML", "OFF");
  ASSERT_EQ(Write(kFamily, "ReadXML", "ON"), 0);
  EXPECT_EQ(GetString(kProduct, "ReadXML"), "ON");
  EXPECT_EQ(GetString(kFamily, "ReadXML"), "OFF");
  // A path that does not end in the family word is written as given.
  ASSERT_EQ(Write("SOFTWARE\\Veltrane\\Kestrum\\Sub", "Value", "1"), 0);
  EXPECT_EQ(GetString("SOFTWARE\\Veltrane\\Kestrum\\Sub", "Value"), "1");
  // A short path ending in the word is not a family path.
  ASSERT_EQ(Write("A\\Kestrum", "Value", "2"), 0);
  EXPECT_EQ(GetString("A\\Kestrum", "Value"), "2");
  EXPECT_EQ(GetString("A\\Tarvo", "Value"), "<missing>");
}

TEST_F(RegistryAccessTest, XmlConfigurationSwitch) {
  EXPECT_EQ(UseXmlConfiguration("/opt/Tarvo/CURRENT_CONFIG"), kReadXmlByDefault);
  PutString(kFamily, "ReadXML", "off");
  EXPECT_FALSE(UseXmlConfiguration(nullptr));
  PutString(kProduct, "ReadXML", "On");
  EXPECT_TRUE(UseXmlConfiguration("\\\\localhost\\CURRENT_CONFIG"));
  PutString(kProduct, "ReadXML", "maybe");
  EXPECT_EQ(UseXmlConfiguration("."), kReadXmlByDefault);
  PutString(kProduct, "ReadXML", "OFF");
  EXPECT_FALSE(UseXmlConfiguration("//LOCALHOST/config"));
  // Another computer's registry cannot be reached: the default holds.
  EXPECT_EQ(UseXmlConfiguration("\\\\plant7\\config"), kReadXmlByDefault);
}

}  // namespace
}  // namespace kestrum
