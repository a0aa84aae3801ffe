#include "platform/shared_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error_number.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "test_util.h"
#endif

namespace kestrum {
namespace {

std::vector<std::byte> Bytes(std::size_t n, int first) {
  std::vector<std::byte> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::byte>(first + i);
  return v;
}

#ifdef _WIN32
// A fresh object name for each test case: the test program's objects are its own (each program
// runs in a wine prefix or session of its own), the cases' differ by the case's name.
class CaseNames {
 public:
  std::string str() const {
    return std::string("Global\\parvex_test_") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
};
// A mapping's length: its whole pages.
constexpr std::size_t kPage = 4096;
#else
using CaseNames = parvex_test::ScopedTempDir;

std::size_t FilesIn(const std::filesystem::path& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}
#endif

TEST(SharedFile, MissingOrShortFileIsRefusedWithErrorZero) {
  CaseNames dir;
  std::string path = dir.str() + "/area";
  std::size_t length = 99;
  SetErrorNumber(5);
  EXPECT_EQ(MapSharedFile(path, 1, &length), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
  std::byte head[4];
  SetErrorNumber(5);
  EXPECT_EQ(ReadSharedFileHead(path, head), -1);
  EXPECT_EQ(GetErrorNumber(), 0);

  ASSERT_EQ(PublishSharedFile(path, Bytes(64, 0)), 0);
#ifdef _WIN32
  const std::size_t past_end = kPage + 1;  // the mapping is one whole page
#else
  const std::size_t past_end = 65;
#endif
  SetErrorNumber(5);
  EXPECT_EQ(MapSharedFile(path, past_end, &length), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);

#ifdef _WIN32
  EXPECT_EQ(PublishSharedFile(path + "-empty", {}), -1) << "a mapping of no bytes";
  SetErrorNumber(5);
  EXPECT_EQ(MapSharedFile(path + "-empty", 0, &length), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0) << "nothing was left behind";
#else
  ASSERT_EQ(PublishSharedFile(path, {}), 0);  // an empty file can never be mapped
  EXPECT_EQ(MapSharedFile(path, 0, &length), nullptr);
#endif
}

TEST(SharedFile, PublishedFileIsSharedBetweenProcesses) {
  CaseNames dir;
  std::string path = dir.str() + "/area";
  ASSERT_EQ(PublishSharedFile(path, Bytes(300, 1)), 0);
#ifndef _WIN32
  EXPECT_EQ(FilesIn(dir.path()), 1u) << "the temporary file must be gone";
#endif

  std::size_t length = 0;
  auto* bytes = static_cast<unsigned char*>(MapSharedFile(path, 300, &length));
  ASSERT_NE(bytes, nullptr);
#ifdef _WIN32
  EXPECT_EQ(length, kPage);
#else
  EXPECT_EQ(length, 300u);
#endif
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[299], static_cast<unsigned char>(300));

  // A second mapping shows the same bytes.
  std::size_t second_length = 0;
  auto* second = static_cast<unsigned char*>(MapSharedFile(path, 300, &second_length));
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, bytes);
  second[20] = 0xCD;
  EXPECT_EQ(bytes[20], 0xCD);
  EXPECT_EQ(UnmapSharedFile(second, second_length), 0);

#ifndef _WIN32
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::size_t n = 0;
    auto* mine = static_cast<unsigned char*>(MapSharedFile(path, 300, &n));
    if (!mine) _exit(1);
    mine[10] = 0xAB;
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(bytes[10], 0xAB);
#endif

  std::byte head[8];
  EXPECT_EQ(ReadSharedFileHead(path, head), 8);
  EXPECT_EQ(static_cast<int>(head[0]), 1);
  EXPECT_EQ(UnmapSharedFile(bytes, length), 0);
}

#ifdef _WIN32
TEST(SharedFile, PublishingKeepsAnExistingMappingAndFailsCleanly) {
  CaseNames names;
  const std::string path = names.str();
  ASSERT_EQ(PublishSharedFile(path, Bytes(16, 0)), 0);
  EXPECT_EQ(PublishSharedFile(path, Bytes(32, 100)), -1) << "a mapping cannot be replaced";
  EXPECT_EQ(GetErrorNumber(), 183);  // ERROR_ALREADY_EXISTS
  std::byte head[2];
  ASSERT_EQ(ReadSharedFileHead(path, head), 2);
  EXPECT_EQ(static_cast<int>(head[1]), 1) << "the first contents stay";

  bool called = false;
  EXPECT_EQ(PublishSharedFileWith(path + "-failed", 8,
                                  [&](void*) {
                                    called = true;
                                    return EINVAL;
                                  }),
            -1);
  EXPECT_TRUE(called);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  SetErrorNumber(5);
  EXPECT_EQ(ReadSharedFileHead(path + "-failed", head), -1);
  EXPECT_EQ(GetErrorNumber(), 0) << "a failed publication leaves nothing behind";
}
#else
TEST(SharedFile, PublishingReplacesWholeAndFailsCleanly) {
  parvex_test::ScopedTempDir dir;
  std::string path = dir.str() + "/area";
  ASSERT_EQ(PublishSharedFile(path, Bytes(16, 0)), 0);
  std::size_t length = 0;
  auto* old_view = static_cast<unsigned char*>(MapSharedFile(path, 16, &length));
  ASSERT_NE(old_view, nullptr);

  // A reader that mapped the old file keeps a whole old file; new openers see the new one.
  ASSERT_EQ(PublishSharedFile(path, Bytes(32, 100)), 0);
  EXPECT_EQ(old_view[0], 0);
  auto* new_view = static_cast<unsigned char*>(MapSharedFile(path, 32, &length));
  ASSERT_NE(new_view, nullptr);
  EXPECT_EQ(new_view[0], 100);
  UnmapSharedFile(old_view, 16);
  UnmapSharedFile(new_view, 32);

  EXPECT_EQ(PublishSharedFile(dir.str() + "/missing/area", Bytes(4, 0)), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);

  bool called = false;
  EXPECT_EQ(PublishSharedFileWith(dir.str() + "/failed", 8,
                                  [&](void*) {
                                    called = true;
                                    return EINVAL;
                                  }),
            -1);
  EXPECT_TRUE(called);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  EXPECT_EQ(FilesIn(dir.path()), 1u) << "a failed publication leaves nothing behind";
}

#endif

#ifndef _WIN32
TEST(SharedFile, OnlyWatchedMappingsSurviveTheirFileBeingCut) {
  parvex_test::ScopedTempDir dir;
  const std::string watched = dir.str() + "/watched", plain = dir.str() + "/plain";
  ASSERT_EQ(PublishSharedFile(watched, Bytes(3 * 4096, 0)), 0);
  ASSERT_EQ(PublishSharedFile(plain, Bytes(3 * 4096, 0)), 0);
  std::size_t length = 0;
  auto* mapped = static_cast<volatile std::byte*>(MapSharedFile(watched, 1, &length));
  ASSERT_NE(mapped, nullptr);
  // A SIGBUS outside the watched mappings still ends the process as it would without the watch.
  for (const bool through_watch : {true, false}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(5);
      volatile std::byte* at = mapped;
      if (!through_watch) {
        const int fd = open(plain.c_str(), O_RDWR);
        at = static_cast<volatile std::byte*>(
            mmap(nullptr, 3 * 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
      }
      if (truncate(through_watch ? watched.c_str() : plain.c_str(), 100) != 0) _exit(1);
      at[2 * 4096] = std::byte{1};
      _exit(at[2 * 4096] == std::byte{1} ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (through_watch) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    } else {
      // Killed by the signal, or ended by a handler that was there before (a sanitizer's).
      const bool ended = (WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) ||
                         (WIFEXITED(status) && WEXITSTATUS(status) != 0);
      EXPECT_TRUE(ended) << "status " << status;
    }
  }
}

#endif

}  // namespace
}  // namespace kestrum
