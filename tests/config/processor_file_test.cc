#include "config/processor_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "config/logger_names.h"
#include "platform/error_number.h"
#include "test_util.h"

namespace kestrum {
namespace {

// Splits and parses one line as the first entry of a table.
struct Parsed {
  int result;
  ProcessorEntry entry;
  std::string report;
};

class ProcessorFileTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseProcessorFile(); }

  std::string Write(const std::string& text, const std::string& name = "DATPROC.TXT") {
    std::string path = dir_.str() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Parses every line of `text` into one table; returns the results in order.
  std::vector<Parsed> ParseAll(const std::string& text) {
    EXPECT_GE(OpenProcessorFile(Write(text).c_str()), 0);
    std::vector<ProcessorEntry> table(16);
    std::vector<Parsed> out;
    char* fields[5];
    int columns[5];
    size_t accepted = 0;
    int n;
    while ((n = NextProcessorLine(fields, columns, 5)) > 0) {
      Parsed p{};
      p.result = ParseProcessorLine(&table[accepted], fields, columns, n, table.data());
      p.entry = table[accepted];
      p.report = ProcessorParseErrorText();
      if (p.result == 1) ++accepted;
      out.push_back(p);
    }
    return out;
  }

  Parsed One(const std::string& line) {
    std::vector<Parsed> all = ParseAll(line + "\n");
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? Parsed{} : all[0];
  }

  std::string Message(const std::string& line) {
    Parsed p = One(line);
    EXPECT_EQ(p.result, -2) << line;
    size_t start = p.report.find("**** ");
    size_t end = p.report.find(" ****", start + 5);
    if (start == std::string::npos || end == std::string::npos) return p.report;
    return p.report.substr(start + 5, end - start - 5);
  }

  parvex_test::ScopedTempDir dir_;
};

TEST_F(ProcessorFileTest, AcceptedLinesFillTheEntry) {
  Parsed calc = One("calc1,Calculator,A-CA:100,run");
  ASSERT_EQ(calc.result, 1) << calc.report;
  EXPECT_STREQ(calc.entry.name, "CALC1");
  EXPECT_STREQ(calc.entry.print_name, "CALCULATOR");
  EXPECT_EQ(calc.entry.kind, 2);
  EXPECT_EQ(std::string(calc.entry.prefix, 2), "CA");
  EXPECT_EQ(calc.entry.channel_count, 100);
  EXPECT_EQ(calc.entry.run, 1);

  Parsed abc = One("abc,,d-x:5");
  ASSERT_EQ(abc.result, 1) << abc.report;
  EXPECT_STREQ(abc.entry.name, "ABC");
  EXPECT_STREQ(abc.entry.print_name, "ABC");
  EXPECT_EQ(abc.entry.kind, 3);
  EXPECT_EQ(abc.entry.prefix[0], 'x') << "prefixes are kept as written";
  EXPECT_EQ(abc.entry.prefix[1], '\0');
  EXPECT_EQ(abc.entry.channel_count, 5);
  EXPECT_EQ(abc.entry.run, 0);

  EXPECT_EQ(One("modbus1,,A-MB:10").entry.kind, 6);
  EXPECT_EQ(One("usera,,D-UA:10").entry.kind, 2);
  EXPECT_EQ(One("plain,,XYZ:3").entry.kind, 3) << "no dash: digital";
  Parsed none = One("noprefix");
  EXPECT_EQ(none.result, 1);
  EXPECT_EQ(none.entry.prefix[0], '\0');
  EXPECT_EQ(none.entry.channel_count, 0);
}

TEST_F(ProcessorFileTest, RefusedLinesGiveTheirMessages) {
  EXPECT_EQ(Message("abc,,A-1X:5"), "invalid channel prefix");
  EXPECT_EQ(Message("abc,,A-X1:5"), "invalid channel prefix");
  EXPECT_EQ(Message("abc,,A-XY:0"), "invalid number of channels");
  EXPECT_EQ(Message("abc,,A-XY:62501"), "invalid number of channels");
  EXPECT_EQ(Message("abc,,A-XY:99999999999999999999"), "invalid number of channels");
  EXPECT_EQ(Message("abc,,A-XY"), "invalid number of channels");
  EXPECT_EQ(One("abc,,A-XY:62500").result, 1);
  EXPECT_EQ(Message("abc,,Q-XY:5"), "channel type must be A or D");
  EXPECT_EQ(Message("abc,,A"), "invalid channel prefix");
  EXPECT_EQ(Message(",x"), "no processor name specified");
  EXPECT_EQ(Message("ninechars"), "processor name too long");
  EXPECT_EQ(One("eightchr").result, 1);
  EXPECT_EQ(Message("abc," + std::string(25, 'p')), "processor print name too long");
  EXPECT_EQ(One("abc," + std::string(24, 'p')).result, 1);
}

TEST_F(ProcessorFileTest, AlarmQueueSize) {
  EXPECT_EQ(One("ALARM,,50,run").entry.channel_count, 50);
  EXPECT_EQ(One("alarm,,,RUN").entry.channel_count, 256);
  EXPECT_EQ(Message("ALARM,,1,run"), "invalid number of alarm queue entries");
  EXPECT_EQ(Message("ALARM,,1001,run"), "invalid number of alarm queue entries");
  EXPECT_EQ(Message("ALARM,,50x,run"), "invalid number of alarm queue entries");
  EXPECT_EQ(One("ALARM,,1000,run").entry.channel_count, 1000);
}

TEST_F(ProcessorFileTest, DuplicatesAreRefusedAgainstEarlierEntries) {
  std::vector<Parsed> all = ParseAll("one,First\ntwo,first\nONE,Other\nthree\n");
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].result, 1);
  EXPECT_EQ(all[1].result, -2);
  EXPECT_NE(all[1].report.find("duplicate processor print name"), std::string::npos);
  EXPECT_EQ(all[2].result, -2);
  EXPECT_NE(all[2].report.find("duplicate processor name"), std::string::npos);
  EXPECT_EQ(all[3].result, 1);
}

TEST_F(ProcessorFileTest, CommentsAndBlankLinesAreSkippedButCounted) {
  std::string path =
      Write("* list\n\n   \n  *x\r\nfirst,,A-AB:1\r\nsecond , x ,D-CD:2,run,extra,more\n");
  ASSERT_EQ(OpenProcessorFile(path.c_str()), 2);
  char* fields[4];
  int columns[4];
  ASSERT_EQ(NextProcessorLine(fields, columns, 4), 3);
  EXPECT_STREQ(fields[2], "A-AB:1") << "the carriage return is removed";
  ASSERT_EQ(NextProcessorLine(fields, columns, 4), 4) << "fields past the maximum are ignored";
  EXPECT_STREQ(fields[0], "second ") << "fields are not trimmed";
  EXPECT_STREQ(fields[1], " x ");
  EXPECT_EQ(columns[1], 8);
  EXPECT_EQ(columns[3], 19);
  EXPECT_EQ(NextProcessorLine(fields, columns, 4), 0);
  // At the end the reader is rewound.
  EXPECT_EQ(NextProcessorLine(fields, columns, 4), 3);
  EXPECT_STREQ(fields[0], "first");
}

TEST_F(ProcessorFileTest, ReportNamesFileLineAndMarksTheField) {
  Write("* header\nok,,A-AB:1\nlongname1,Print,A-CD:2\n");
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(dir_.str().c_str()), 0);
  int lines = OpenProcessorFile("DATPROC.TXT");
  ASSERT_EQ(chdir(old_cwd), 0);
  ASSERT_EQ(lines, 2);
  std::vector<ProcessorEntry> table(2);
  char* fields[5];
  int columns[5];
  int n = NextProcessorLine(fields, columns, 5);
  ASSERT_EQ(ParseProcessorLine(&table[0], fields, columns, n, table.data()), 1);
  n = NextProcessorLine(fields, columns, 5);
  ASSERT_EQ(ParseProcessorLine(&table[1], fields, columns, n, table.data()), -2);
  EXPECT_EQ(std::string(ProcessorParseErrorText()),
            "Can't Parse " + dir_.str() +
                "/DATPROC.TXT\nLine 3 : **** processor name too long "
                "****\n>longname1<,Print,A-CD:2\nError : 1\n");

  // Opened with a folder, the file name in messages stays empty; a zero length marks nothing.
  ASSERT_EQ(OpenProcessorFile((dir_.str() + "/DATPROC.TXT").c_str()), 2);
  ASSERT_GT(NextProcessorLine(fields, columns, 5), 0);
  ReportParseError(0, "note", 3, 0);
  EXPECT_EQ(std::string(ProcessorParseErrorText()),
            "Can't Parse \nLine 2 : **** note ****\nok,,A-AB:1");
  ReportParseError(1, "mark", 5, 6);
  EXPECT_EQ(std::string(ProcessorParseErrorText()),
            "Can't Parse \nLine 2 : **** mark ****\nok,,A>-AB:1<\nError : 1\n");
}

TEST_F(ProcessorFileTest, ReaderStateBelongsToItsThread) {
  ASSERT_EQ(OpenProcessorFile(Write("a\nb\n").c_str()), 2);
  int other = 0;
  std::thread([&] {
    char* fields[1];
    other = NextProcessorLine(fields, nullptr, 1);
  }).join();
  EXPECT_EQ(other, -1) << "another thread has no file open";
  char* fields[1];
  EXPECT_EQ(NextProcessorLine(fields, nullptr, 1), 1);
  EXPECT_STREQ(fields[0], "a");

  EXPECT_EQ(OpenProcessorFile((dir_.str() + "/missing.txt").c_str()), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
}

TEST(LoggerNames, ResubNamesBecomeTagAndDescription) {
  LoggerRecord resub{};
  std::memcpy(resub.kind_text, "ReSub", 5);
  LoggerRecord plain{};
  std::memcpy(plain.kind_text, "text", 4);

  EXPECT_EQ(std::string(ShortenResubName(&resub, "L_AB_CDEFGH_IJ_KL_M")),
            "AB_CDEFGH      _IJ_KL_M");
  EXPECT_EQ(std::string(ShortenResubName(&resub, "L_ABC_DEFGHIJKLMNOPQ_R_S")),
            "AB_DEFGHIJKLMNO_R_S")
      << "no fifth underscore: the second form";
  EXPECT_EQ(std::string(ShortenResubName(&resub, "SHORT_NAME_1_2")), "SHORT_NAME_1_2");
  EXPECT_EQ(std::string(ShortenResubName(&resub, "LONGNAME_WITHOUT_BARS")),
            "LONGNAME_WITHOUT_BARS");
  const std::string long_name(60, 'n');
  EXPECT_EQ(std::string(ShortenResubName(&plain, long_name.c_str())), long_name.substr(0, 47));
  EXPECT_EQ(std::string(ShortenResubName(&plain, "L_AB_CDEFGH_IJ_KL_M")), "L_AB_CDEFGH_IJ_KL_M");
  EXPECT_EQ(std::string(ExportedName(&resub, "L_AB_CDEFGH_IJ_KL_M")),
            "EXP AB_CDEFGH      _IJ_KL_M");
  EXPECT_EQ(std::string(ExportedName(&plain, long_name.c_str())), "EXP " + long_name.substr(0, 43));
}

}  // namespace
}  // namespace kestrum
