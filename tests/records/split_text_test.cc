#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "records/channel_config.h"
#include "records/fixed_text.h"

namespace kestrum {
namespace {

ChannelConfigRecord Filled(uint8_t byte) {
  ChannelConfigRecord record;
  std::memset(record.bytes, byte, sizeof record.bytes);
  return record;
}

struct SplitCase {
  const char* text;
  const char* tag;          // expected GetChannelTag
  const char* description;  // expected GetChannelDescription
  const char* units;        // expected GetChannelUnits
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SplitTextTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, RoundTripsAndTruncatesEveryText) {
  const SplitCase& c = GetParam();
  // Start from garbage: the setters must not leave stale characters behind.
  ChannelConfigRecord record = Filled('#');
  record.analogue.Type = kTypeAI;
  SetChannelTag(&record, c.text);
  SetChannelDescription(&record, c.text);
  SetChannelUnits(&record, c.text);
  EXPECT_STREQ(GetChannelTag(record), c.tag);
  EXPECT_STREQ(GetChannelDescription(record), c.description);
  EXPECT_STREQ(GetChannelUnits(record), c.units);
  // Fields between the pieces are untouched.
  EXPECT_EQ(record.analogue.Type, kTypeAI);
  EXPECT_EQ(record.analogue.HighAlarmPriority, '#');
  EXPECT_EQ(record.analogue.ErrorAlarmPriority, '#');
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, SplitTextTest,
    testing::Values(SplitCase{"", "", "", ""}, SplitCase{"AB", "AB", "AB", "AB"},
                    SplitCase{"ABCD", "ABCD", "ABCD", "ABCD"},  // units part 1 exactly full
                    SplitCase{"ABCDEFGH", "ABCDEFGH", "ABCDEFGH", "ABCDEFGH"},
                    SplitCase{"ABCDEFGHIJ", "ABCDEFGHIJ", "ABCDEFGHIJ", "ABCDEFGH"},
                    SplitCase{"ABCDEFGHIJKL", "ABCDEFGHIJKL", "ABCDEFGHIJKL", "ABCDEFGH"},
                    SplitCase{"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO", "ABCDEFGH"},
                    SplitCase{"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOPQRST",
                              "ABCDEFGH"},
                    SplitCase{"0123456789abcdefghijklmnopqrstuv", "0123456789abcde",
                              "0123456789abcdefghijklmnopqrstuv", "01234567"},
                    SplitCase{"0123456789abcdefghijklmnopqrstuvwxyz", "0123456789abcde",
                              "0123456789abcdefghijklmnopqrstuv", "01234567"}));

TEST(SplitText, PiecesLandInTheirFields) {
  ChannelConfigRecord record = Filled(0);
  SetChannelTag(&record, "ABCDEFGHIJKLMNO");
  SetChannelDescription(&record, "0123456789abcdefghijklmnopqrstuv");
  SetChannelUnits(&record, "uvwxyz12");
  EXPECT_EQ(std::memcmp(record.bytes + 0, "ABCDEFGH", 8), 0);
  EXPECT_EQ(std::memcmp(record.bytes + 138, "IJKL", 4), 0);
  EXPECT_EQ(std::memcmp(record.bytes + 158, "MNO", 3), 0);
  EXPECT_EQ(std::memcmp(record.bytes + 8, "0123456789abcdef", 16), 0);
  EXPECT_EQ(std::memcmp(record.bytes + 142, "ghijklmnopqrstuv", 16), 0);
  EXPECT_EQ(std::memcmp(record.bytes + 32, "uvwx", 4), 0);
  EXPECT_EQ(std::memcmp(record.bytes + 161, "yz12", 4), 0);
}

TEST(SplitText, ShorterTextReplacesLongerOneAndEmbeddedNulEndsIt) {
  ChannelConfigRecord record = Filled(0);
  SetChannelTag(&record, "ABCDEFGHIJKLMNO");
  SetChannelTag(&record, "XYZ");
  EXPECT_STREQ(GetChannelTag(record), "XYZ");
  EXPECT_EQ(record.analogue.tag_part2[0], 0);
  EXPECT_EQ(record.analogue.tag_part3[0], 0);

  SetChannelTag(&record, std::string("AB\0CDEFGHIJ", 11));
  EXPECT_STREQ(GetChannelTag(record), "AB");
  EXPECT_EQ(record.analogue.tag_part2[0], 0);
}

TEST(SplitText, GettersStayInsideTheirPiecesWithoutAnyNul) {
  // A record from a file may hold no NUL at all: every text ends at its maximum length.
  ChannelConfigRecord record = Filled('x');
  EXPECT_EQ(std::string(GetChannelTag(record)), std::string(15, 'x'));
  EXPECT_EQ(std::string(GetChannelDescription(record)), std::string(32, 'x'));
  EXPECT_EQ(std::string(GetChannelUnits(record)), std::string(8, 'x'));

  char small[6];
  EXPECT_EQ(CopyChannelTag(record, small, sizeof small), 15u);
  EXPECT_STREQ(small, "xxxxx");
  EXPECT_EQ(CopyChannelTag(record, nullptr, 0), 15u);
}

TEST(SplitText, DigitalRecordSharesTagAndDescriptionPieces) {
  ChannelConfigRecord record = Filled(0);
  record.digital.Type = kTypeDO;
  SetChannelTag(&record, "PUMP_RUNNING_01");
  SetChannelDescription(&record, "Pump running feedback, station 1");
  EXPECT_STREQ(GetChannelTag(record), "PUMP_RUNNING_01");
  EXPECT_STREQ(GetChannelDescription(record), "Pump running feedback, station 1");
  // The digital texts between the pieces are untouched.
  EXPECT_EQ(record.digital.AlarmText[0], 0);
  EXPECT_EQ(record.digital.reserved_161[0], 0);
}

TEST(FixedText, ReadsUpToNulOrWidthAndStoresSafely) {
  char field[8];
  EXPECT_EQ(SetFixedText(field, "COM3", true), 4u);
  EXPECT_EQ(FixedText(field), "COM3");
  EXPECT_EQ(field[7], 0);
  // Terminated fields keep room for the NUL; unterminated ones use every byte.
  EXPECT_EQ(SetFixedText(field, "ABCDEFGHIJ", true), 7u);
  EXPECT_EQ(FixedText(field), "ABCDEFG");
  EXPECT_EQ(SetFixedText(field, "ABCDEFGHIJ", false), 8u);
  EXPECT_EQ(FixedText(field), "ABCDEFGH");
  EXPECT_EQ(SetFixedText(field, "", true), 0u);
  EXPECT_EQ(FixedText(field), "");
}

}  // namespace
}  // namespace kestrum
