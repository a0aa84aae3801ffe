#include "config/structs_type.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/record_types.h"
#include "platform/error_number.h"
#include "records/channel_config.h"

namespace kestrum {
namespace {

// Parses `text` into a value of the primitive `type`; returns the parser's message, or "" on
// success.
std::string Parse(const StructsType& type, const char* text, void* value) {
  char ebuf[128];
  int rc = StructsSetString(&type, "", text, value, ebuf, sizeof ebuf);
  if (rc == 0) return "";
  return ebuf[0] ? ebuf : "<empty message>";
}

std::string Format(const StructsType& type, const void* value) {
  char* text = StructsGetString(&type, "", value, "TEMPORARY");
  if (text == nullptr) return "<null>";
  std::string copy = text;
  free(text);
  return copy;
}

std::vector<std::string> Names(const StructsType& type, const void* value) {
  char** names = nullptr;
  int n = StructsTraverse(&type, value, &names, "TEMPORARY");
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(names[i]);
  StructsFreeNames(names, n);
  return out;
}

TEST(StructsBoolean, AcceptsTheFivePairsInAnyCaseAndFormatsTheChosenPair) {
  const StructsType b32 = StructsBooleanType(true, kStructsOffOn);
  uint32_t v = 7;
  EXPECT_EQ(Parse(b32, "  enabled \t", &v), "");
  EXPECT_EQ(v, 1u);
  for (const char* one : {"1", "TRUE", "yes", "On"}) {
    v = 0;
    EXPECT_EQ(Parse(b32, one, &v), "") << one;
    EXPECT_EQ(v, 1u) << one;
  }
  for (const char* zero : {"DISABLED", "no", "Off", "0", "false"}) {
    v = 5;
    EXPECT_EQ(Parse(b32, zero, &v), "") << zero;
    EXPECT_EQ(v, 0u) << zero;
  }
  v = 9;
  EXPECT_EQ(Parse(b32, "2", &v), "invalid Boolean value");
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  EXPECT_EQ(Parse(b32, "", &v), "invalid Boolean value");
  EXPECT_EQ(v, 9u) << "a failed parse must not change the value";
  v = 1;
  EXPECT_EQ(Format(b32, &v), "On");
  v = 0;
  EXPECT_EQ(Format(b32, &v), "Off");

  // The byte form touches one byte only.
  const StructsType b8 = StructsBooleanType(false, kStructsNoYes);
  uint8_t bytes[2] = {0, 0xAA};
  EXPECT_EQ(Parse(b8, "yes", bytes), "");
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 0xAA);
  EXPECT_EQ(Format(b8, bytes), "Yes");
}

TEST(StructsUint, BasesBoundsAndMessages) {
  const StructsType u8 = StructsUintType(kStructsInt8, kStructsUnsigned);
  uint8_t b[2] = {0, 0x55};
  EXPECT_EQ(Parse(u8, "0x1F", b), "");
  EXPECT_EQ(b[0], 31);
  EXPECT_EQ(Parse(u8, "017", b), "");
  EXPECT_EQ(b[0], 15);
  EXPECT_EQ(Parse(u8, " 255 ", b), "");
  EXPECT_EQ(b[0], 255);
  EXPECT_EQ(b[1], 0x55) << "an 8-bit field wrote past its byte";
  EXPECT_EQ(Parse(u8, "256", b), "integer value is out of range");
  EXPECT_EQ(Parse(u8, "-1", b), "integer value is out of range");
  EXPECT_EQ(Parse(u8, "abc", b), "invalid integer value");
  EXPECT_EQ(Parse(u8, "", b), "invalid integer value");
  // Trailing text has no message of its own: the standard text of EINVAL is shown.
  EXPECT_EQ(Parse(u8, "12 x", b), "Invalid argument");
  EXPECT_EQ(b[0], 255);

  const StructsType u32 = StructsUintType(kStructsInt32, kStructsUnsigned);
  uint32_t w = 0;
  EXPECT_EQ(Parse(u32, "4294967295", &w), "");
  EXPECT_EQ(w, 4294967295u);
  EXPECT_EQ(Parse(u32, "4294967296", &w), "integer value is out of range");
  EXPECT_EQ(Parse(u32, "99999999999999999999999", &w), "integer value is out of range");
  EXPECT_EQ(Parse(u32, "60000 ms", &w), "Invalid argument");
  EXPECT_EQ(Format(u32, &w), "4294967295");

  const StructsType s16 = StructsUintType(kStructsInt16, kStructsSigned);
  int16_t s = 0;
  EXPECT_EQ(Parse(s16, "-32768", &s), "");
  EXPECT_EQ(s, -32768);
  EXPECT_EQ(Format(s16, &s), "-32768");
  EXPECT_EQ(Parse(s16, "-32769", &s), "integer value is out of range");
  EXPECT_EQ(Parse(s16, "65536", &s), "integer value is out of range");

  const StructsType h8 = StructsUintType(kStructsChar, kStructsHex);
  const StructsType h16 = StructsUintType(kStructsShort, kStructsHex);
  uint8_t h = 10;
  uint16_t hh = 0x1ab;
  EXPECT_EQ(Format(h8, &h), "0x0a");
  EXPECT_EQ(Format(h16, &hh), "0x1ab");
}

TEST(StructsFloat, RangeAndFormat) {
  const StructsType f = StructsFloatType(false);
  float v = 3;
  EXPECT_EQ(Parse(f, "1e-39", &v), "floating point value underflow");
  EXPECT_EQ(Parse(f, "1e39", &v), "floating point value overflow");
  EXPECT_EQ(Parse(f, "-1e39", &v), "floating point value overflow");
  EXPECT_EQ(Parse(f, "1e-400", &v), "floating point value underflow");
  EXPECT_EQ(Parse(f, "inf", &v), "floating point value overflow");
  EXPECT_EQ(Parse(f, "nan", &v), "invalid floating point value");
  EXPECT_EQ(Parse(f, "", &v), "invalid floating point value");
  EXPECT_EQ(Parse(f, "1.5kg", &v), "invalid floating point value");
  EXPECT_EQ(v, 3.0f);
  EXPECT_EQ(Parse(f, "0", &v), "");
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(Parse(f, "1e-38", &v), "");
  EXPECT_FLOAT_EQ(v, 1e-38f);
  EXPECT_EQ(Parse(f, " -2.5 ", &v), "");
  EXPECT_EQ(v, -2.5f);
  v = 0.1f;
  EXPECT_EQ(Format(f, &v), "0.1000000014901161");
  v = 60000;
  EXPECT_EQ(Format(f, &v), "60000");

  const StructsType d = StructsFloatType(true);
  double dv = 0;
  EXPECT_EQ(Parse(d, "1e39", &dv), "");
  EXPECT_EQ(dv, 1e39);
  EXPECT_EQ(Parse(d, "1e999", &dv), "floating point value overflow");
}

TEST(StructsFixedData, HexDigitsWithBlanks) {
  const StructsType two = StructsFixedDataType(2);
  uint8_t v[3] = {0, 0, 0x77};
  EXPECT_EQ(Parse(two, " 0a 1B ", v), "");
  EXPECT_EQ(v[0], 0x0A);
  EXPECT_EQ(v[1], 0x1B);
  EXPECT_EQ(v[2], 0x77);
  EXPECT_EQ(Parse(two, "0 a1 b", v), "");
  EXPECT_EQ(v[0], 0x0A);
  EXPECT_EQ(Parse(two, "0a1", v), "hex string is too short");
  EXPECT_EQ(Parse(two, "0a1b2", v), "hex string is too long");
  EXPECT_EQ(Parse(two, "0x1b", v), "non-hex character seen");
  EXPECT_EQ(Format(two, v), "0a1b");
}

TEST(StructsFixedString, CopiesAtMostItsSize) {
  const StructsType s = StructsFixedStringType(4);
  char v[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(Parse(s, "ab", v), "");
  EXPECT_EQ(std::memcmp(v, "ab\0\0x", 5), 0);
  EXPECT_EQ(Parse(s, "abcdef", v), "");
  EXPECT_EQ(std::memcmp(v, "abcdx", 5), 0) << "a full field has no terminator";
  EXPECT_EQ(Format(s, v), "abcd");
}

TEST(StructsId, MatchesByCaseFlag) {
  static constexpr StructsIdEntry kTable[] = {
      {"Low", 0, 0}, {"High", 1, 0}, {"mid", 7, 1}, {nullptr, 0, 0}};
  const StructsType id = StructsIdType(2, kTable);
  uint16_t v = 0;
  EXPECT_EQ(Parse(id, "MID", &v), "");
  EXPECT_EQ(v, 7);
  EXPECT_EQ(Parse(id, "high", &v), "invalid value \"high\"");
  EXPECT_EQ(Format(id, &v), "mid");
  v = 9;
  EXPECT_EQ(Format(id, &v), "INVALID");
}

// A structure holding an integer, a fixed array of three {a, b} pairs, a variable array of
// bytes and a union.
struct Pair {
  uint32_t a;
  uint8_t b;
};
struct Sample {
  uint32_t n;
  Pair x[3];
  StructsArrayValue list;
  StructsUnionValue u;
};
constexpr StructsType kU32 = StructsUintType(kStructsInt32, kStructsUnsigned);
constexpr StructsType kU8 = StructsUintType(kStructsInt8, kStructsUnsigned);
constexpr StructsField kPairFields[] = {
    {"a", &kU32, 4, offsetof(Pair, a)}, {"b", &kU8, 1, offsetof(Pair, b)}, {nullptr}};
constexpr StructsType kPair = StructsStructureType(sizeof(Pair), kPairFields);
constexpr StructsType kPairs = StructsFixedArrayType(&kPair, sizeof(Pair), 3);
constexpr StructsType kBytes = StructsArrayType(&kU8);
constexpr StructsField kUnionFields[] = {{"num", &kU32, 4, 0}, {"flag", &kU8, 1, 0}, {nullptr}};
constexpr StructsType kUnion = StructsUnionType(kUnionFields);
constexpr StructsField kSampleFields[] = {{"n", &kU32, 4, offsetof(Sample, n)},
                                          {"x", &kPairs, sizeof(Pair) * 3, offsetof(Sample, x)},
                                          {"list", &kBytes, 16, offsetof(Sample, list)},
                                          {"u", &kUnion, 16, offsetof(Sample, u)},
                                          {nullptr}};
constexpr StructsType kSample = StructsStructureType(sizeof(Sample), kSampleFields);

TEST(StructsTraverse, ListsLeavesDepthFirstWithDottedNames) {
  uint8_t bytes[2] = {4, 5};
  Sample s{};
  s.list = {2, bytes};
  EXPECT_EQ(Names(kSample, &s), (std::vector<std::string>{"n", "x.0.a", "x.0.b", "x.1.a", "x.1.b",
                                                          "x.2.a", "x.2.b", "list.0", "list.1"}));

  // A pointer adds no component; a union lists its current member only.
  static constexpr StructsType kToSample = StructsPointerType(&kSample);
  Sample* p = &s;
  s.list = {0, nullptr};
  char ebuf[64];
  ASSERT_EQ(StructsSetString(&kToSample, "u.flag", "1", &p, ebuf, sizeof ebuf), 0) << ebuf;
  std::vector<std::string> names = Names(kToSample, &p);
  EXPECT_EQ(names.back(), "u.flag");
  EXPECT_EQ(names.size(), 8u);
  free(s.u.un);

  StructsType broken = kPair;
  broken.tclass = 9;
  char** list = nullptr;
  EXPECT_EQ(StructsTraverse(&broken, &s, &list, "TEMPORARY"), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  EXPECT_EQ(list, nullptr);
}

TEST(StructsFind, ErrorsForMissingNamesAndIndexes) {
  uint8_t bytes[2] = {4, 5};
  Sample s{};
  s.list = {2, bytes};
  char ebuf[64];
  ASSERT_EQ(StructsSetString(&kSample, "x.2.a", "77", &s, ebuf, sizeof ebuf), 0);
  EXPECT_EQ(s.x[2].a, 77u);
  ASSERT_EQ(StructsSetString(&kSample, "list.1", "9", &s, ebuf, sizeof ebuf), 0);
  EXPECT_EQ(bytes[1], 9);

  const StructsType* type = nullptr;
  void* address = nullptr;
  EXPECT_EQ(StructsFind(&kSample, "x.3.a", &s, 0, &type, &address), -1);
  EXPECT_EQ(GetErrorNumber(), EDOM);
  EXPECT_EQ(StructsFind(&kSample, "list.two", &s, 0, &type, &address), -1);
  EXPECT_EQ(GetErrorNumber(), EDOM);
  EXPECT_EQ(StructsFind(&kSample, "x.0.c", &s, 0, &type, &address), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(StructsFind(&kSample, "n.deeper", &s, 0, &type, &address), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(StructsSetString(&kSample, "nothing", "1", &s, ebuf, sizeof ebuf), -1);
  EXPECT_STREQ(ebuf, "No such file or directory");

  ASSERT_EQ(StructsFind(&kSample, "list.length", &s, 0, &type, &address), 0);
  EXPECT_EQ(address, &s.list.length);
  char* length = StructsGetString(&kSample, "list.length", &s, "TEMPORARY");
  EXPECT_STREQ(length, "2");
  free(length);

  // A union switches member only when the caller allows it.
  EXPECT_EQ(StructsFind(&kSample, "u.num", &s, 0, &type, &address), -1);
  ASSERT_EQ(StructsSetString(&kSample, "u.num", "12", &s, ebuf, sizeof ebuf), 0);
  EXPECT_STREQ(s.u.field_name, "num");
  char* name = StructsGetString(&kSample, "u.field_name", &s, "TEMPORARY");
  EXPECT_STREQ(name, "num");
  free(name);
  ASSERT_EQ(StructsSetString(&kSample, "u.flag", "1", &s, ebuf, sizeof ebuf), 0);
  EXPECT_STREQ(s.u.field_name, "flag");
  free(s.u.un);
}

TEST(RecordTypes, ChannelLayoutsListTheirFieldsInLoaderOrder) {
  uint8_t record[kChannelConfigSize] = {};
  std::vector<std::string> analogue = Names(kAnalogueChannelType, record);
  ASSERT_EQ(analogue.size(), kAnalogueFieldCount);
  EXPECT_EQ(analogue[0], "Enable");
  EXPECT_EQ(analogue[9], "LowEventLimit");
  EXPECT_EQ(analogue[10], "HighEventLimit");
  EXPECT_EQ(analogue[29], "LowAlarmText");
  EXPECT_EQ(analogue[40], "Analogue");
  std::vector<std::string> digital = Names(kDigitalChannelType, record);
  ASSERT_EQ(digital.size(), kDigitalFieldCount);
  EXPECT_EQ(digital[9], "EventState");
  EXPECT_EQ(digital[11], "HighStateText");
  EXPECT_EQ(digital[18], "Digital");
  EXPECT_EQ(Names(kSaveSettingsType, record),
            (std::vector<std::string>{"AutoEnable", "SaveOutputs", "SaveByTag", "SaveRate"}));
}

uint32_t Flags(const uint8_t* record) {
  uint32_t flags;
  std::memcpy(&flags, record + 28, 4);
  return flags;
}

TEST(RecordTypes, BitFieldsReachTheFlagsWordByMask) {
  struct Case {
    const StructsType* layout;
    const char* name;
    const char* on;
    uint32_t mask;
  };
  const Case cases[] = {
      {&kAnalogueChannelType, "Enable", "On", 0x0001},
      {&kAnalogueChannelType, "EventEnable", "On", 0x0002},
      {&kAnalogueChannelType, "LowAlarmDriveCommon", "On", 0x0080},
      {&kAnalogueChannelType, "SigChangeEnable", "On", 0x0100},
      {&kAnalogueChannelType, "ErrorAlarmEnable", "On", 0x2000},
      {&kAnalogueChannelType, "ErrorAlarmDriveCommon", "On", 0x4000},
      {&kDigitalChannelType, "AlarmDriveCommon", "On", 0x0002},
      {&kDigitalChannelType, "EventState", "High", 0x0010},
      {&kDigitalChannelType, "AlarmState", "High", 0x0020},
      {&kDigitalChannelType, "ErrorAlarmDriveCommon", "On", 0x0080},
  };
  for (const Case& c : cases) {
    uint8_t record[kChannelConfigSize] = {};
    std::memset(record + 24, 0xEE, 4);
    std::memset(record + 32, 0xEE, 4);
    char ebuf[64];
    ASSERT_EQ(StructsSetString(c.layout, c.name, c.on, record, ebuf, sizeof ebuf), 0) << ebuf;
    EXPECT_EQ(Flags(record), c.mask) << c.name;
    char* text = StructsGetString(c.layout, c.name, record, "TEMPORARY");
    EXPECT_STREQ(text, c.on);
    free(text);
    // Neighbouring bytes are untouched.
    EXPECT_EQ(record[27], 0xEE);
    EXPECT_EQ(record[32], 0xEE);
    const char* off = std::strcmp(c.on, "On") == 0 ? "Off" : "Low";
    ASSERT_EQ(StructsSetString(c.layout, c.name, off, record, ebuf, sizeof ebuf), 0);
    EXPECT_EQ(Flags(record), 0u) << c.name;
  }
  uint8_t record[kChannelConfigSize] = {};
  char ebuf[64];
  EXPECT_EQ(StructsSetString(&kAnalogueChannelType, "Enable", "on", record, ebuf, sizeof ebuf), -1);
  EXPECT_STREQ(ebuf, "invalid value \"on\"");
  EXPECT_EQ(StructsSetString(&kAnalogueChannelType, "Enable", "TRUE", record, ebuf, sizeof ebuf),
            -1);
  EXPECT_STREQ(ebuf, "invalid value \"TRUE\"");
  EXPECT_EQ(StructsSetString(&kDigitalChannelType, "Type", "XX", record, ebuf, sizeof ebuf), -1);
  EXPECT_STREQ(ebuf, "invalid value \"XX\"");
}

std::string Get(const StructsType& layout, const char* name, const uint8_t* record) {
  char* text = StructsGetString(&layout, name, record, "TEMPORARY");
  std::string copy = text ? text : "<null>";
  free(text);
  return copy;
}

TEST(RecordTypes, SplitTextsStoreTheirPiecesAndJoinThem) {
  uint8_t record[kChannelConfigSize] = {};
  char ebuf[64];
  ASSERT_EQ(StructsSetString(&kAnalogueChannelType, "Tag", "ABCDEFGHIJKLMNOPQRST", record, ebuf,
                             sizeof ebuf),
            0);
  EXPECT_EQ(std::memcmp(record, "ABCDEFGH", 8), 0);
  EXPECT_EQ(std::memcmp(record + 138, "IJKL", 4), 0);
  EXPECT_EQ(std::memcmp(record + 158, "MNO", 3), 0);
  EXPECT_EQ(Get(kAnalogueChannelType, "Tag", record), "ABCDEFGHIJKLMNO");

  // A shorter text ends in the first piece; the later pieces no longer count.
  ASSERT_EQ(StructsSetString(&kDigitalChannelType, "Tag", "SHORT", record, ebuf, sizeof ebuf), 0);
  EXPECT_EQ(record[138], 0);
  EXPECT_EQ(record[158], 0);
  EXPECT_EQ(Get(kDigitalChannelType, "Tag", record), "SHORT");

  ASSERT_EQ(StructsSetString(&kAnalogueChannelType, "Description", "0123456789abcdefXYZ", record,
                             ebuf, sizeof ebuf),
            0);
  EXPECT_EQ(Get(kAnalogueChannelType, "Description", record), "0123456789abcdefXYZ");
  EXPECT_EQ(std::memcmp(record + 142, "XYZ", 3), 0);
  ASSERT_EQ(
      StructsSetString(&kAnalogueChannelType, "Units", "ppm/cubicfoot", record, ebuf, sizeof ebuf),
      0);
  EXPECT_EQ(Get(kAnalogueChannelType, "Units", record), "ppm/cubi");
  EXPECT_EQ(std::memcmp(record + 32, "ppm/", 4), 0);
  EXPECT_EQ(std::memcmp(record + 161, "cubi", 4), 0);
  // The other texts were not touched by the units.
  EXPECT_EQ(Get(kAnalogueChannelType, "Tag", record), "SHORT");
}

TEST(RecordTypes, ModuleHardwareTypeReplacesTheDefaultForOneLayoutOnly) {
  static constexpr StructsType kPort = StructsUintType(kStructsInt8, kStructsUnsigned);
  static constexpr StructsField kHwFields[] = {
      {"FieldType", &kPort, 1, 0}, {"PortNumber", &kPort, 1, 1}, {nullptr}};
  static constexpr StructsType kHw = StructsStructureType(16, kHwFields);
  ChannelLayout layout(false, &kHw);
  uint8_t record[kChannelConfigSize] = {};
  std::vector<std::string> names = Names(*layout.type(), record);
  ASSERT_EQ(names.size(), kAnalogueFieldCount + 1);
  EXPECT_EQ(names[40], "Analogue.FieldType");
  char ebuf[64];
  ASSERT_EQ(StructsSetString(layout.type(), "Analogue.PortNumber", "3", record, ebuf, sizeof ebuf),
            0);
  EXPECT_EQ(record[189], 3);
  // The constant layout still has its hexadecimal hardware part.
  EXPECT_EQ(Names(kAnalogueChannelType, record).back(), "Analogue");
  ASSERT_EQ(StructsSetString(&kAnalogueChannelType, "Analogue",
                             "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f", record, ebuf,
                             sizeof ebuf),
            0)
      << ebuf;
  EXPECT_EQ(record[188 + 15], 0x0f);
  EXPECT_EQ(StructsSetString(&kAnalogueChannelType, "Analogue", std::string(30, '1').c_str(),
                             record, ebuf, sizeof ebuf),
            -1);
  EXPECT_STREQ(ebuf, "hex string is too short");
}

}  // namespace
}  // namespace kestrum
