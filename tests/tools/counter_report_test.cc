#include "tools/counter_sim/counter_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/counter_sim/sample_source.h"

namespace counter_sim {
namespace {

Sample Canned() {
  Sample s;
  s.hour = 9;
  s.minute = 5;
  s.second = 7;
  s.values = {1234, 567, 89, 12, 3, 0, 45.5, 21.3, 1.02};
  s.month = 12;
  s.day = 31;
  s.year = 99;
  s.header_port = 7;
  s.volume = 2.5;
  return s;
}

int CountCrLf(const std::string& text) {
  int n = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos;
       at = text.find("\r\n", at + 2)) {
    ++n;
  }
  return n;
}

// Number of conversions the data-line format yields on `text`.
int DataFields(const std::string& text) {
  int t[3];
  float v[9];
  return std::sscanf(text.c_str(), "%d:%d:%d %f %f %f %f %f %f %f %f %f", &t[0], &t[1], &t[2],
                     &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]);
}

TEST(CounterReport, GoodReportHasDataLineTwoLinesAndHeaderEndingInBel) {
  std::string report = FormatReport(Canned());
  ASSERT_EQ(report.back(), '\a');
  EXPECT_EQ(std::count(report.begin(), report.end(), '\a'), 1);
  EXPECT_EQ(CountCrLf(report), 3);
  EXPECT_EQ(report.rfind("09:05:07", 0), 0u) << report;
  EXPECT_EQ(DataFields(report), 12);

  std::string header = report.substr(report.rfind("\r\n") + 2);
  int d[3], port = -1;
  float volume = 0;
  ASSERT_EQ(std::sscanf(header.c_str(),
                        "%d/%d/%d     ID= PORT %d            DIFF COUNT     SAMPLE VOL= %f", &d[0],
                        &d[1], &d[2], &port, &volume),
            5)
      << header;
  EXPECT_EQ(d[0] * 10000 + d[1] * 100 + d[2], 123199);
  EXPECT_EQ(port, 7);
  EXPECT_FLOAT_EQ(volume, 2.5f);

  Sample total = Canned();
  total.total_count = true;
  EXPECT_NE(FormatHeader(total).find("ID= PORT 7            TOTAL COUNT     SAMPLE VOL="),
            std::string::npos);
}

TEST(CounterReport, EachTextFaultBreaksOneRuleOfTheLayout) {
  const Sample s = Canned();
  std::string eleven = FormatFaultyReport(s, Fault::kElevenNumbers);
  EXPECT_EQ(DataFields(eleven), 11);
  EXPECT_EQ(CountCrLf(eleven), 3);

  std::string no_crlf = FormatFaultyReport(s, Fault::kMissingCrLf);
  EXPECT_EQ(DataFields(no_crlf), 12);
  EXPECT_EQ(CountCrLf(no_crlf), 2);

  std::string bad_header = FormatFaultyReport(s, Fault::kBadHeader);
  EXPECT_NE(bad_header.find("ID: PORT"), std::string::npos);
  EXPECT_EQ(bad_header.find("ID="), std::string::npos);

  std::string no_bel = FormatFaultyReport(s, Fault::kNoBel);
  EXPECT_EQ(no_bel + "\a", FormatReport(s));

  std::string noisy = FormatFaultyReport(s, Fault::kLineNoise, 3);
  ASSERT_GT(noisy.size(), FormatReport(s).size());
  std::string noise = noisy.substr(0, noisy.size() - FormatReport(s).size());
  EXPECT_NE(noise.find('\0'), std::string::npos);
  EXPECT_EQ(noise.find('\a'), std::string::npos);
  EXPECT_EQ(noise.find_first_of("0123456789 \t\r\n"), std::string::npos);
  EXPECT_EQ(noisy.substr(noise.size()), FormatReport(s));
  EXPECT_EQ(FormatFaultyReport(s, Fault::kLineNoise, 3), noisy) << "the seed picks the noise";
}

TEST(CounterReport, FragmentsCoverTheReportInOrder) {
  const std::string report = FormatReport(Canned());
  for (int count : {1, 3, 4, 7, 100000, 0}) {
    std::vector<std::string> parts = SplitIntoFragments(report, count);
    std::string joined;
    for (const std::string& part : parts) {
      EXPECT_FALSE(part.empty());
      joined += part;
    }
    EXPECT_EQ(joined, report) << count;
    EXPECT_EQ(parts.size(), std::clamp<std::size_t>(count, 1, report.size()));
  }
  EXPECT_TRUE(SplitIntoFragments("", 3).empty());
}

TEST(CounterReport, FaultNamesRoundTrip) {
  for (Fault f : {Fault::kSilence, Fault::kElevenNumbers, Fault::kMissingCrLf, Fault::kBadHeader,
                  Fault::kNoBel, Fault::kLineNoise, Fault::kSlowFragments, Fault::kHangUp}) {
    EXPECT_EQ(ParseFault(FaultName(f)), f);
  }
  EXPECT_FALSE(ParseFault("none"));
  EXPECT_FALSE(ParseFault("Eleven"));
}

TEST(SampleSource, CountsFallWithSizeAndMoveOverTimeReproducibly) {
  SampleSource a(42, 60, 1.0), b(42, 60, 1.0);
  bool moved = false;
  std::array<double, 9> first = a.Values(0, 1);
  EXPECT_EQ(first, b.Values(0, 1));
  for (double t = 0; t < 60; t += 5) {
    std::array<double, 9> v = a.Values(t, 1);
    for (int i = 0; i < 5; ++i) EXPECT_GE(v[i], v[i + 1]) << "t=" << t << " i=" << i;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i], static_cast<long>(v[i]));
    EXPECT_GE(v[6], 0);
    EXPECT_LE(v[6], 100);
    EXPECT_NEAR(v[8], 1.0, 0.1);
    if (std::abs(v[0] - first[0]) > 0.3 * first[0]) moved = true;
  }
  EXPECT_TRUE(moved) << "a slow sine over one period moves the counts";
  SampleSource c(42, 60, 0.0);
  EXPECT_EQ(c.Values(10, 1)[0], 0);
}

}  // namespace
}  // namespace counter_sim
