#include "scanner/counter_report.h"

#include <gtest/gtest.h>

#include <string>

#include "counter_test_util.h"
#include "tools/counter_sim/counter_report.h"

namespace parvex {
namespace {

using counter_sim::Fault;
using parvex_test::CannedSample;
using parvex_test::CounterChannel;

// The text the reader hands to the parser: the report without its BEL.
std::string Text(const std::string& report) {
  return report.back() == '\a' ? report.substr(0, report.size() - 1) : report;
}

ReportCheck Check(const std::string& text) {
  CounterReport report;
  return ParseCounterReport(text.c_str(), &report);
}

TEST(ParseCounterReport, ReadsBothHeaderFormsAndEveryField) {
  for (bool total : {false, true}) {
    counter_sim::Sample sample = CannedSample(7);
    sample.total_count = total;
    CounterReport r;
    ASSERT_EQ(ParseCounterReport(Text(counter_sim::FormatReport(sample)).c_str(), &r),
              ReportCheck::kGood);
    EXPECT_EQ(r.time[0], 10);
    EXPECT_EQ(r.time[2], 30);
    EXPECT_FLOAT_EQ(r.values[0], 1000);
    EXPECT_FLOAT_EQ(r.values[5], 30);
    EXPECT_FLOAT_EQ(r.values[8], 1.25f);
    EXPECT_EQ(r.date[0], 12);
    EXPECT_EQ(r.date[1], 31);
    EXPECT_EQ(r.date[2], 99);
    EXPECT_EQ(r.port, 7);
    EXPECT_FLOAT_EQ(r.volume, 2.5f);
  }
}

TEST(ParseCounterReport, DataLineNeedsTimeAndNineValues) {
  const counter_sim::Sample s = CannedSample();
  // Eleven numbers fail even though the header is valid.
  EXPECT_EQ(Check(Text(counter_sim::FormatFaultyReport(s, Fault::kElevenNumbers))),
            ReportCheck::kBadDataLine);
  // Any white space separates values, and numbers after the ninth are ignored.
  std::string header = counter_sim::FormatHeader(s);
  EXPECT_EQ(Check("10:20:30\t1 2  3 4 5 6 7 8 9 10 11\r\nx\r\ny\r\n" + header), ReportCheck::kGood);
  EXPECT_EQ(Check("10:20 1 2 3 4 5 6 7 8 9\r\nx\r\ny\r\n" + header), ReportCheck::kBadDataLine);
  EXPECT_EQ(Check(""), ReportCheck::kBadDataLine);
  EXPECT_EQ(Check("garbage\r\n" + Text(counter_sim::FormatReport(s))), ReportCheck::kBadDataLine);
}

TEST(ParseCounterReport, HeaderFollowsTheThirdLineEnd) {
  const counter_sim::Sample s = CannedSample();
  EXPECT_EQ(Check(Text(counter_sim::FormatFaultyReport(s, Fault::kMissingCrLf))),
            ReportCheck::kMissingEndOfLine);
  // A line end before the data line counts: the header is then looked for one line early.
  EXPECT_EQ(Check("\r\n" + Text(counter_sim::FormatReport(s))), ReportCheck::kBadHeader);
  // A NUL ends the text before the line ends that follow it.
  std::string with_nul = Text(counter_sim::FormatReport(s));
  with_nul[with_nul.find("\r\n") + 2] = '\0';
  CounterReport r;
  EXPECT_EQ(ParseCounterReport(with_nul.c_str(), &r), ReportCheck::kMissingEndOfLine);
}

TEST(ParseCounterReport, HeaderSpacingIsFreeButItsWordsAreNot) {
  const std::string lines = "10:20:30 1 2 3 4 5 6 7 8 9\r\nx\r\ny\r\n";
  EXPECT_EQ(Check(lines + "12/31/99 ID=PORT 3 DIFF COUNT SAMPLE VOL=1.0"), ReportCheck::kGood);
  EXPECT_EQ(Check(lines + "12/31/99     ID= PORT 3            TOTAL COUNT     SAMPLE VOL= 1.0"),
            ReportCheck::kGood);
  EXPECT_EQ(Check(Text(counter_sim::FormatFaultyReport(CannedSample(), Fault::kBadHeader))),
            ReportCheck::kBadHeader);
  EXPECT_EQ(Check(lines + "12/31/99     ID= PORT 3            diff count     SAMPLE VOL= 1.0"),
            ReportCheck::kBadHeader);
  EXPECT_EQ(Check(lines + "12/31/99     ID= PORT 3            DIFF COUNT     SAMPLE VOL="),
            ReportCheck::kBadHeader);
  EXPECT_EQ(Check(lines + "12-31-99     ID= PORT 3            DIFF COUNT     SAMPLE VOL= 1"),
            ReportCheck::kBadHeader);
}

TEST(ReportCheckMessage, TheSystemsTexts) {
  EXPECT_STREQ(ReportCheckMessage(ReportCheck::kBadDataLine), "BAD FORMAT IN LINE 1");
  EXPECT_STREQ(ReportCheckMessage(ReportCheck::kMissingEndOfLine), "MISSING END OF LINE");
  EXPECT_STREQ(ReportCheckMessage(ReportCheck::kBadHeader), "BAD FORMAT IN LINE 2");
  EXPECT_STREQ(ReportCheckMessage(ReportCheck::kGood), "");
}

class ApplyReport : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(
        ParseCounterReport(Text(counter_sim::FormatReport(CannedSample(5))).c_str(), &report_),
        ReportCheck::kGood);
  }

  // Applies the report to `channels`, every status word starting as `status_in`.
  int Apply(const std::vector<kestrum::ChannelConfigRecord>& channels, int remembered,
            uint32_t status_in = 0x20 | 0x80 | 0x800) {
    status_.assign(channels.size(), status_in);
    values_.assign(channels.size(), -1.0f);
    fresh_.assign(channels.size(), 9);
    return ApplyCounterReport(report_, remembered,
                              {static_cast<uint16_t>(channels.size()), channels.data(),
                               status_.data(), values_.data(), fresh_.data()});
  }

  CounterReport report_;
  std::vector<uint32_t> status_;
  std::vector<float> values_;
  std::vector<uint8_t> fresh_;
};

TEST_F(ApplyReport, ValueChannelsListenToTheRememberedPortOnly) {
  std::vector<kestrum::ChannelConfigRecord> channels = {
      CounterChannel(kestrum::kFieldValue, 0, kestrum::kValue03To05),
      CounterChannel(kestrum::kFieldValue, 3, kestrum::kValueAbove25),
      CounterChannel(kestrum::kFieldValue, 3, kestrum::kValueFlow),
      CounterChannel(kestrum::kFieldPort),
  };
  // The first report after opening: only port 0 listeners; PORT shows 0, not the header's 5.
  EXPECT_EQ(Apply(channels, 0), 2);
  EXPECT_FLOAT_EQ(values_[0], 1000);
  EXPECT_FLOAT_EQ(values_[1], -1);
  EXPECT_FLOAT_EQ(values_[3], 0);
  EXPECT_EQ(fresh_, (std::vector<uint8_t>{1, 0, 0, 1}));

  EXPECT_EQ(Apply(channels, 3), 3);
  EXPECT_FLOAT_EQ(values_[0], -1);
  EXPECT_FLOAT_EQ(values_[1], 30);
  EXPECT_FLOAT_EQ(values_[2], 1.25f);
  EXPECT_FLOAT_EQ(values_[3], 3);
}

TEST_F(ApplyReport, TimeDateVolumeAndPortFromEveryReport) {
  std::vector<kestrum::ChannelConfigRecord> channels = {
      CounterChannel(kestrum::kFieldTime, 200), CounterChannel(kestrum::kFieldDate, 200),
      CounterChannel(kestrum::kFieldVolume, 200), CounterChannel(kestrum::kFieldPort, 200)};
  EXPECT_EQ(Apply(channels, 9), 4);
  EXPECT_FLOAT_EQ(values_[0], 102030);
  EXPECT_FLOAT_EQ(values_[1], 12 * 10000 + 31 * 100 + 99);
  EXPECT_FLOAT_EQ(values_[2], 2.5f);
  EXPECT_FLOAT_EQ(values_[3], 9);
}

TEST_F(ApplyReport, OnlyWrittenChannelsLoseTheNoValueBit) {
  std::vector<kestrum::ChannelConfigRecord> channels = {
      CounterChannel(kestrum::kFieldValue, 0, kestrum::kValueRH),
      CounterChannel(kestrum::kFieldValue, 0, kestrum::kValueRH, /*enabled=*/false),
      CounterChannel(kestrum::kFieldValue, 0, 9),
      CounterChannel(kestrum::kFieldValue, 0, 255),
      CounterChannel(5),
      CounterChannel(255),
      CounterChannel(kestrum::kFieldValue, 1, kestrum::kValueRH),
  };
  EXPECT_EQ(Apply(channels, 0), 1);
  EXPECT_FLOAT_EQ(values_[0], 45.5f);
  EXPECT_EQ(status_[0], 0x80u | 0x800u);
  for (std::size_t i = 1; i < channels.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(values_[i], -1);
    EXPECT_EQ(status_[i], 0x20u | 0x80u | 0x800u);
    EXPECT_EQ(fresh_[i], 0);
  }
}

TEST_F(ApplyReport, HugeTimeAndDateNumbersWrapInsteadOfOverflowing) {
  report_.time[0] = 2000000000;
  report_.time[1] = 7;
  report_.time[2] = 1;
  report_.date[0] = -3;
  report_.date[1] = 0;
  report_.date[2] = 5;
  std::vector<kestrum::ChannelConfigRecord> channels = {CounterChannel(kestrum::kFieldTime),
                                                        CounterChannel(kestrum::kFieldDate)};
  Apply(channels, 0);
  uint32_t wrapped = 2000000000u * 10000u + 700u + 1u;
  EXPECT_FLOAT_EQ(values_[0], static_cast<float>(static_cast<int32_t>(wrapped)));
  EXPECT_FLOAT_EQ(values_[1], -29995);
}

}  // namespace
}  // namespace parvex
