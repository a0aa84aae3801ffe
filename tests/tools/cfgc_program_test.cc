// Runs the kestrum_cfgc program: the example its help shows must work as shown.
#include <stdio.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

// Runs `command` through the shell; returns its exit status and its output (both streams).
int RunShell(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CfgcProgram, EveryHelpShowsAnExampleThatWorksAsShown) {
  for (const char* help : {"--help", "compile --help", "decompile --help", "check --help"}) {
    SCOPED_TRACE(help);
    parvex_test::ScopedTempDir dir;
    std::string text;
    ASSERT_EQ(RunShell(std::string(CFGC_PROGRAM) + " " + help, &text), 0) << text;
    // The example: "  DEV/<file>:" followed by the file's lines (indented by four), then
    // "  kestrum_cfgc ..." command lines with a "#" comment.
    std::map<std::string, std::string> files;
    std::vector<std::string> commands;
    std::string current;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("  DEV/", 0) == 0 && line.back() == ':') {
        current = line.substr(2, line.size() - 3);
      } else if (line.rfind("  kestrum_cfgc ", 0) == 0) {
        current.clear();
        commands.push_back(line.substr(line.find(' ', 2), line.find('#') - line.find(' ', 2)));
      } else if (!current.empty() && line.rfind("    ", 0) == 0) {
        files[current] += line + "\n";
      } else {
        current.clear();
      }
    }
    ASSERT_EQ(files.size(), 2u) << text;
    ASSERT_EQ(commands.size(), 3u) << text;
    std::filesystem::create_directory(dir.path() / "DEV");
    for (const auto& [name, content] : files) std::ofstream(dir.path() / name) << content;
    for (const std::string& arguments : commands) {
      std::string output;
      EXPECT_EQ(RunShell("cd " + dir.str() + " && " + CFGC_PROGRAM + arguments, &output), 0)
          << arguments << "\n"
          << output;
      EXPECT_EQ(output.find("error:"), std::string::npos) << output;
      EXPECT_EQ(output.find("warning:"), std::string::npos) << output;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "DEV" / "ai"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "DEV-xml" / "ai.xml"));
  }
}

}  // namespace
