// Runs the kestrum_cfgc program: the example its help shows must work as shown.
#include <stdio.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

// The configuration compiler, quoted for the shell. The build names it by a Linux path, which
// a Windows program under wine reaches through drive Z:.
std::string Program() {
  std::string program = CFGC_PROGRAM;
#ifdef _WIN32
  if (program.starts_with('/')) {
    program = "Z:" + program;
    std::replace(program.begin(), program.end(), '/', '\\');
  }
#endif
  return "\"" + program + "\"";
}

// Runs `arguments` of the compiler through the shell (sh, or cmd.exe on Windows) in the folder
// `dir`; returns its exit status and its output (both streams).
int RunProgram(const std::string& arguments, const std::filesystem::path& dir,
               std::string* output) {
  output->clear();
  const std::filesystem::path old_dir = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const std::string command = Program() + " " + arguments + " 2>&1";
#ifdef _WIN32
  // cmd.exe /c drops the first and the last quote of the line: the outer pair is for it.
  FILE* pipe = _popen(("\"" + command + "\"").c_str(), "r");
#else
  FILE* pipe = popen(command.c_str(), "r");
#endif
  std::filesystem::current_path(old_dir);
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
#ifdef _WIN32
  return _pclose(pipe);  // the exit status of cmd.exe, which is the compiler's
#else
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(CfgcProgram, EveryHelpShowsAnExampleThatWorksAsShown) {
  for (const char* help : {"--help", "compile --help", "decompile --help", "check --help"}) {
    SCOPED_TRACE(help);
    parvex_test::ScopedTempDir dir;
    std::string text;
    ASSERT_EQ(RunProgram(help, dir.path(), &text), 0) << text;
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
      EXPECT_EQ(RunProgram(arguments, dir.path(), &output), 0) << arguments << "\n" << output;
      EXPECT_EQ(output.find("error:"), std::string::npos) << output;
      EXPECT_EQ(output.find("warning:"), std::string::npos) << output;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "DEV" / "ai"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "DEV-xml" / "ai.xml"));
  }
}

}  // namespace
