#include "platform/security_attributes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/error_number.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder()
      : path_(fs::temp_directory_path() /
              ("parvex-folders-" + std::to_string(std::random_device{}()))) {
    fs::create_directory(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string str(const char* below) const { return (path_ / below).string(); }

 private:
  fs::path path_;
};

TEST(SecurityAttributes, FoldersAreCreatedWithTheirParentsAndFailuresAreNamed) {
  TempFolder temp;
  std::ofstream(temp.str("file")) << "x";
  const SecurityAttributes shared;
  struct Case {
    const char* path;
    bool tree;
    const SecurityAttributes* attributes;
    int result;
    int error;
  };
  for (const Case& c :
       {Case{"a/b/c", true, &shared, 0, 0}, Case{"a/b/c", true, nullptr, 0, 0},  // exists: fine
        Case{"a/b/c", false, nullptr, -1, EEXIST},
        Case{"n/o", false, &shared, -1, ENOENT},  // the parent must exist
        Case{"d", false, nullptr, 0, 0}, Case{"file", true, nullptr, -1, ENOTDIR}}) {
    SetErrorNumber(0);
    const std::string path = temp.str(c.path);
    EXPECT_EQ(c.tree ? CreateFolderTree(path, c.attributes) : CreateFolder(path, c.attributes),
              c.result)
        << c.path;
    EXPECT_EQ(GetErrorNumber(), c.error) << c.path;
    if (c.result == 0) {
      EXPECT_TRUE(fs::is_directory(path)) << c.path;
    }
  }
}

}  // namespace
}  // namespace kestrum
