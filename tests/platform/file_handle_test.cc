// The one file handle: the short-read rule shared by every reader, and the open for a path
// that someone with less right may have named.
#include "platform/file_handle.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/error_number.h"
#include "test_util.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FileHandle, ReadAtStopsOnlyAtTheEndAndTheExactReadsFailThereWithNoData) {
  parvex_test::ScopedTempDir dir;
  const std::string path = dir.str() + "/f";
  FileHandle file;
  ASSERT_EQ(file.Open(path, kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate), 0);
  ASSERT_EQ(file.WriteExactly("0123456789", 10), 0);
  char buffer[8] = {};
  EXPECT_EQ(file.ReadAt(buffer, 8, 6), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file.ReadExactlyAt(buffer, 4, 6), 0);
  EXPECT_EQ(file.ReadExactlyAt(buffer, 5, 6), -1);
  EXPECT_EQ(GetErrorNumber(), ENODATA);
  EXPECT_EQ(file.ReadExactly(buffer, 1), -1);  // the position is at the end after the write
  EXPECT_EQ(GetErrorNumber(), ENODATA);
  FileHandle reader;
  ASSERT_EQ(reader.Open(path, kOpenRead), 0);
  EXPECT_EQ(reader.ReadAt(buffer, 8, 6), 4);
  ASSERT_EQ(reader.ReadExactly(buffer, 2), 0);
  EXPECT_EQ(std::string(buffer, 2), "01") << "ReadAt moved the position";
  EXPECT_EQ(file.Open(path, 0), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
}

// Every way a path may lead somewhere its writer could not write is refused without touching
// the file at the end; the process's own single regular file is opened and emptied.
TEST(FileHandle, OpenOwnFileRefusesWhatItsNamerCouldNotHaveWritten) {
  parvex_test::ScopedTempDir dir;
  const fs::path root = dir.path();
  const fs::path secret = root / "secret";
  fs::create_directory(root / "real");
  // Each case lays out root / "named" (and what it leads to) and says whether the platform let
  // it: making a link takes a right that Windows gives few accounts, and wine makes none.
  struct Case {
    const char* what;
    std::function<bool(std::error_code&)> make;
    const char* named;
    int error;
  } cases[] = {
      {"a symlink",
       [&](std::error_code& ec) {
         fs::create_symlink(secret, root / "link", ec);
         return fs::is_symlink(root / "link");
       },
       "link", ELOOP},
      {"a symlinked folder on the way",
       [&](std::error_code& ec) {
         fs::create_directory_symlink(root, root / "dirlink", ec);
         return fs::is_symlink(root / "dirlink");
       },
       "dirlink/secret", ELOOP},
      {"a dangling symlink",
       [&](std::error_code& ec) {
         fs::create_symlink(root / "none", root / "dangling", ec);
         return fs::is_symlink(root / "dangling");
       },
       "dangling", ELOOP},
      {"a second name of the file",
       [&](std::error_code& ec) {
         fs::create_hard_link(secret, root / "hard", ec);
         return !ec;
       },
       "hard", EPERM},
#ifdef _WIN32
      {"a device's name", [](std::error_code&) { return true; }, "nul.txt", EPERM},
      {"a stream of the file", [](std::error_code&) { return true; }, "secret:more", EINVAL},
#else
      {"a FIFO", [&](std::error_code&) { return mkfifo((root / "fifo").c_str(), 0600) == 0; },
       "fifo", EPERM},
#endif
      {"a folder", [](std::error_code&) { return true; }, "real", EPERM},
  };
  for (const Case& c : cases) {
    WriteText(secret, "keep");
    std::error_code ec;
    const bool made = c.make(ec);
#ifndef _WIN32
    ASSERT_TRUE(made) << c.what << ": " << ec.message();
#endif
    if (!made) continue;  // the platform cannot lay it out
    FileHandle file;
    EXPECT_EQ(file.OpenOwnFile((root / c.named).string(),
                               kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate),
              -1)
        << c.what;
    EXPECT_EQ(GetErrorNumber(), c.error) << c.what;
    EXPECT_FALSE(file.is_open()) << c.what;
    EXPECT_EQ(ReadText(secret), "keep") << c.what;
  }
#ifndef _WIN32
  if (geteuid() == 0) {
    ASSERT_EQ(chown(secret.c_str(), 65534, 65534), 0);
    FileHandle file;
    EXPECT_EQ(file.OpenOwnFile(secret.string(), kOpenWrite | kOpenTruncate), -1);
    EXPECT_EQ(GetErrorNumber(), EPERM);
    EXPECT_EQ(ReadText(secret), "keep");
  }
#endif
  FileHandle own;
  WriteText(root / "real" / "own", "old");
  ASSERT_EQ(own.OpenOwnFile((root / "real" / "own").string(), kOpenWrite | kOpenTruncate), 0);
  ASSERT_EQ(own.WriteExactly("new", 3), 0);
  ASSERT_EQ(own.OpenOwnFileIn((root / "real").string(), "made", kOpenWrite | kOpenCreate), 0);
  EXPECT_EQ(ReadText(root / "real" / "own"), "new");
  EXPECT_TRUE(fs::is_regular_file(root / "real" / "made"));
  EXPECT_EQ(own.OpenOwnFileIn(root.string(), "real/own", kOpenRead), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);

  // Named by another user, who has no more right than every user: what every user may do with
  // the file and its folder decides (folders and file readable by all, writable by the owner).
  const fs::perms readable = fs::perms::owner_read | fs::perms::owner_write |
                             fs::perms::group_read | fs::perms::others_read;
  const fs::perms searchable =
      readable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  fs::permissions(root, searchable);
  fs::permissions(root / "real", searchable);
  fs::permissions(root / "real" / "own", readable);
  struct Named {
    const char* name;
    int mode;
    int result;
  } named[] = {
      {"own", kOpenRead, 0},
      {"own", kOpenWrite, -1},
      {"other", kOpenWrite | kOpenCreate, -1},
  };
  for (const Named& n : named) {
    FileHandle file;
    EXPECT_EQ(file.OpenOwnFileFor(kOtherUserId, (root / "real" / n.name).string(), n.mode),
              n.result)
        << n.name << " mode " << n.mode;
    if (n.result != 0) {
      EXPECT_EQ(GetErrorNumber(), EACCES) << n.name << " mode " << n.mode;
    }
  }
  EXPECT_FALSE(fs::exists(root / "real" / "other"));
}

}  // namespace
}  // namespace kestrum
