#include "config/failure_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrum {
namespace {

const std::string kFolder = "/tmp/parvex-test-Ab12Cd/config/PARVEX_1";

TEST(FitFailureText, KeepsFileLocationAndReasonInTheWidth) {
  const struct {
    std::string text;
    size_t width;
    std::string fitted;
  } cases[] = {
      // Fits: unchanged, also at exactly the width.
      {"PARVEX_1ai Channel #3 - <Units> Required", 80, "PARVEX_1ai Channel #3 - <Units> Required"},
      {"Xml Load Failed (/a/b/c.xml), File Not Found", 44,
       "Xml Load Failed (/a/b/c.xml), File Not Found"},
      // The path becomes folder and file name, or the file name alone.
      {"Xml Load Failed (/a/b/c.xml), File Not Found", 43,
       "Xml Load Failed (b/c.xml), File Not Found"},
      {"Xml Load Failed (/a/b/c.xml), File Not Found", 40,
       "Xml Load Failed (c.xml), File Not Found"},
      {"PARVEX_1Dev/Proc Config - Xml Load Failed (" + kFolder + "/config.xml), File Not Found", 80,
       "PARVEX_1Dev/Proc Config - Xml Load Failed (PARVEX_1/config.xml), File Not Found"},
      // A Windows path, with a parenthesis inside it.
      {"PARVEX_1Dev/Proc Config - Xml Load Failed (C:\\Program Files (x86)\\Kestrum\\"
       "CURRENT_CONFIG\\PARVEX_1\\config.xml), File Not Found",
       80, "PARVEX_1Dev/Proc Config - Xml Load Failed (PARVEX_1\\config.xml), File Not Found"},
      // The result code goes before the reason is cut, also when blank-padded.
      {"PARVEX_1Dev/Proc Config - Xml Load Failed (" + kFolder +
           "/config.xml) 3:1: Document is empty 0xc00ce556",
       80, "PARVEX_1Dev/Proc Config - Xml Load Failed (config.xml) 3:1: Document is empty"},
      {"CNT1ai Channel #1 - Xml Load Failed (" + kFolder +
           "/ai.xml) 1:1: Char 0x0 out of allowed range 0x      4c",
       80, "CNT1ai Channel #1 - Xml Load Failed (ai.xml) 1:1: Char 0x0 out of allowed range"},
      // The folder stays when dropping the result code makes room for it.
      {"CNT1ai Channel #1 - Xml Load Failed (/tmp/parvex-test-Ab12Cd/config/CNT1/ai.xml) 2:30: "
       "Start-end tags mismatch 0xc00ce50e",
       80, "CNT1ai Channel #1 - Xml Load Failed (CNT1/ai.xml) 2:30: Start-end tags mismatch"},
      // Line and column stay, the reason is cut and marked.
      {"PARVEX_1ai Channel #3 - Xml Load Failed (" + kFolder +
           "/ai.xml) 12:7: Opening and ending tag mismatch: Channel line 3 and Channels "
           "0xc00ce56d",
       80, "PARVEX_1ai Channel #3 - Xml Load Failed (ai.xml) 12:7: Opening and ending tag..."},
      // Without a path only the cut is left; a width too small for the mark cuts plainly.
      {"CNT1ai Channel #3 - <Units> Required", 20, "CNT1ai Channel #3..."},
      {"CNT1ai Channel #3 - <Units> Required", 2, "CN"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string fitted = FitFailureText(c.text, c.width);
    EXPECT_EQ(fitted, c.fitted);
    EXPECT_LE(fitted.size(), c.width);
  }
}

}  // namespace
}  // namespace kestrum
