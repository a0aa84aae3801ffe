#include "configui/print_format.h"

#include <gtest/gtest.h>

namespace parvex {
namespace {

TEST(FormatValue, UsesTheMostDecimalsThatFitEightCharacters) {
  EXPECT_EQ(FormatValue(0.1f), "0.100000");
  EXPECT_EQ(FormatValue(1.5f), "1.500000");
  EXPECT_EQ(FormatValue(123.25f), "123.2500");
  EXPECT_EQ(FormatValue(-12345.678f), "-12345.7");  // precision 1 is the first to fit
  EXPECT_EQ(FormatValue(0.0f), "0.000000");
  EXPECT_EQ(FormatValue(-1.0f), "-1.00000");
}

TEST(FormatValue, PadsSmallWholeNumbersAndCutsLargeOnes) {
  EXPECT_EQ(FormatValue(1234567.0f), " 1234567");
  EXPECT_EQ(FormatValue(12345678.0f), "12345678");
  EXPECT_EQ(FormatValue(1000000000.0f), "10000000");
  EXPECT_EQ(FormatValue(-1e30f).size(), 8u);
}

TEST(SplitDuration, SplitsMillisecondsAndCapsMinutesAt99) {
  EXPECT_EQ(FormatDuration(90500), "01(min) 30(sec) 500(ms)");
  EXPECT_EQ(FormatDuration(0), "00(min) 00(sec) 000(ms)");
  EXPECT_EQ(FormatDuration(59999), "00(min) 59(sec) 999(ms)");
  EXPECT_EQ(FormatDuration(99 * 60000 + 59999), "99(min) 59(sec) 999(ms)");
  EXPECT_EQ(FormatDuration(120 * 60000), "99(min) 00(sec) 000(ms)");
  EXPECT_EQ(FormatDuration(300 * 60000 + 1234), "99(min) 01(sec) 234(ms)");
  EXPECT_EQ(FormatDuration(UINT32_MAX).substr(0, 8), "99(min) ");
}

TEST(NameTables, CoverUnknownValues) {
  EXPECT_STREQ(ParityName(0), "NONE");
  EXPECT_STREQ(ParityName(1), "ODD");
  EXPECT_STREQ(ParityName(2), "EVEN");
  EXPECT_STREQ(ParityName(3), "MARK");
  EXPECT_STREQ(ParityName(4), "SPACE");
  EXPECT_STREQ(ParityName(7), "MARK");
  EXPECT_STREQ(StatusName(0), "DISABLED");
  EXPECT_STREQ(StatusName(1), "ENABLED ");
  EXPECT_STREQ(LowHighName(false), "LOW ");
  EXPECT_STREQ(LowHighName(true), "HIGH");
}

}  // namespace
}  // namespace parvex
