// The Windows halves of the process's own services, checked against what Windows puts in the
// environment of every process and against files the test makes itself.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "platform/file_access.h"
#include "platform/file_system.h"
#include "platform/user_info.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(Win32Services, EnvironmentNamesAndNamesOfComputerAndUser) {
  for (const char* name : {"PATH", "path", "Path"}) {
    EXPECT_NE(FindEnvironmentVariable(name), nullptr) << name;
  }
  struct Case {
    const char* variable;
    int (*get)(std::string*);
  };
  for (const Case& c : {Case{"COMPUTERNAME", GetComputerName}, Case{"USERNAME", GetUserName}}) {
    std::string name;
    ASSERT_EQ(c.get(&name), 0) << c.variable;
    const char* expected = std::getenv(c.variable);
    ASSERT_NE(expected, nullptr) << c.variable;
    EXPECT_STRCASEEQ(name.c_str(), expected) << c.variable;
    EXPECT_EQ(name.size(), std::string(expected).size()) << c.variable;  // no trailing zero
  }
}

TEST(Win32Services, FileAccessFollowsExistenceAndTheReadOnlyAttribute) {
  const fs::path dir = fs::temp_directory_path() / ("parvex-access-" + std::to_string(std::rand()));
  ASSERT_TRUE(fs::create_directories(dir));
  const fs::path writable = dir / "writable.txt";
  const fs::path read_only = dir / "read_only.txt";
  for (const fs::path& file : {writable, read_only}) std::ofstream(file) << "x";
  fs::permissions(read_only,
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  struct Case {
    fs::path path;
    int access;
    bool allowed;
  } cases[] = {
      {writable, 0, true},
      {writable, kAccessRead | kAccessWrite, true},
      {writable, kAccessExecute, true},
      {read_only, kAccessRead, true},
      {read_only, kAccessWrite, false},
      {read_only, kAccessRead | kAccessWrite, false},
      {dir / "missing.txt", 0, false},
      {dir / "missing.txt", kAccessRead, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasFileAccess(c.path.string(), c.access), c.allowed)
        << c.path.filename() << " access " << c.access;
  }
  fs::permissions(read_only, fs::perms::owner_write, fs::perm_options::add);
  fs::remove_all(dir);
}

TEST(Win32Services, RenameReplacesAndFileInfoTellsMissingApart) {
  const fs::path dir = fs::temp_directory_path() / ("parvex-rename-" + std::to_string(std::rand()));
  ASSERT_TRUE(fs::create_directories(dir));
  const std::string from = (dir / "new.txt").string();
  const std::string to = (dir / "old.txt").string();
  std::ofstream(from) << "12345";
  std::ofstream(to) << "1";
  ASSERT_EQ(RenameFile(from, to), 0) << GetErrorNumber();
  FileInfo info;
  ASSERT_EQ(GetFileInfo(to, &info), 0);
  EXPECT_EQ(info.size, 5u);
  EXPECT_TRUE(info.regular);
  EXPECT_GT(info.modified_seconds, 1600000000);  // seconds since 1970, not since 1601
  EXPECT_EQ(GetFileInfo(from, &info), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(GetFileInfo((dir / "no" / "such.txt").string(), &info), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);

  // A stream not inherited by child programs ("N") opens, appends and reads back.
  for (const char* line : {"one\n", "two\n"}) {
    std::FILE* stream = OpenStream(to, "a");
    ASSERT_NE(stream, nullptr) << GetErrorNumber();
    std::fputs(line, stream);
    std::fclose(stream);
  }
  std::FILE* stream = OpenStream(to, "rb");
  ASSERT_NE(stream, nullptr) << GetErrorNumber();
  char content[32] = {};
  EXPECT_EQ(std::fread(content, 1, sizeof content - 1, stream), 15u);
  std::fclose(stream);
  EXPECT_STREQ(content, "12345one\r\ntwo\r\n");  // "a" is text mode on Windows
  EXPECT_EQ(OpenStream((dir / "no" / "such.txt").string(), "r"), nullptr);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrum
