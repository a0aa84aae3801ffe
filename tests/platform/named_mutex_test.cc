#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/error_number.h"
#include "platform/shared_file.h"
#include "test_util.h"

namespace kestrum {
namespace {

// Waits at most two seconds for one byte from `fd`; true when it came.
bool AwaitByte(int fd) {
  pollfd p = {fd, POLLIN, 0};
  char c;
  return poll(&p, 1, 2000) == 1 && read(fd, &c, 1) == 1;
}

// Runs `body` in a child process and returns its exit status (or -1 when it did not exit).
template <typename Body>
int RunInChild(Body body) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) _exit(body());
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.str() + "/dm_test.mut";
    ASSERT_EQ(CreateNamedMutex(path_), 0);
    mutex_ = OpenNamedMutex(path_);
    ASSERT_NE(mutex_, nullptr);
  }
  void TearDown() override { CloseNamedMutex(mutex_); }

  // Exit status 0 when another process could take the lock within `ms`, 1 on a time-out.
  int OtherProcessLocks(int ms) {
    return RunInChild([&] {
      NamedMutex* m = OpenNamedMutex(path_);
      if (!m) return 2;
      if (LockNamedMutexFor(m, ms) != 0) return GetErrorNumber() == ETIMEDOUT ? 1 : 3;
      return UnlockNamedMutex(m) == 0 ? 0 : 4;
    });
  }

  parvex_test::ScopedTempDir dir_;
  std::string path_;
  NamedMutex* mutex_ = nullptr;
};

TEST_F(NamedMutexTest, MissingOrShortFileIsNotAMutex) {
  SetErrorNumber(9);
  EXPECT_EQ(OpenNamedMutex(dir_.str() + "/none.mut"), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
  std::byte one[1] = {};
  ASSERT_EQ(PublishSharedFile(dir_.str() + "/short.mut", one), 0);
  EXPECT_EQ(OpenNamedMutex(dir_.str() + "/short.mut"), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
}

TEST_F(NamedMutexTest, NestedLocksReleaseFully) {
  ASSERT_EQ(LockNamedMutex(mutex_), 0);
  ASSERT_EQ(LockNamedMutex(mutex_), 0);
  ASSERT_EQ(UnlockNamedMutex(mutex_), 0);
  EXPECT_EQ(OtherProcessLocks(100), 1) << "one unlock of two must keep the mutex held";
  ASSERT_EQ(UnlockNamedMutex(mutex_), 0);
  EXPECT_EQ(OtherProcessLocks(2000), 0);
#if !defined(__SANITIZE_THREAD__)  // the sanitizer reports the deliberate misuse itself
  EXPECT_EQ(UnlockNamedMutex(mutex_), -1) << "a thread cannot release what it does not hold";
  EXPECT_EQ(GetErrorNumber(), EPERM);
#endif
}

TEST_F(NamedMutexTest, HolderKilledWhileHoldingDoesNotBlockOthers) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    NamedMutex* m = OpenNamedMutex(path_);
    if (!m || LockNamedMutex(m) != 0) _exit(1);
    (void)!write(ready[1], "x", 1);
    for (;;) pause();
  }
  bool child_holds = AwaitByte(ready[0]);
  int early = child_holds ? LockNamedMutexFor(mutex_, 50) : 0;
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  ASSERT_TRUE(child_holds);
  EXPECT_EQ(early, -1) << "the child held it";

  bool abandoned = false;
  ASSERT_EQ(LockNamedMutexFor(mutex_, 2000, &abandoned), 0) << "abandoned counts as acquired";
  EXPECT_TRUE(abandoned);
  ASSERT_EQ(UnlockNamedMutex(mutex_), 0);
  // Made consistent: the mutex keeps working for everyone.
  EXPECT_EQ(OtherProcessLocks(2000), 0);
  EXPECT_EQ(LockNamedMutex(mutex_, &abandoned), 0);
  EXPECT_FALSE(abandoned);
  EXPECT_EQ(UnlockNamedMutex(mutex_), 0);
}

TEST_F(NamedMutexTest, SerialisesReadModifyWriteAcrossProcesses) {
  std::vector<std::byte> zero(sizeof(long));
  std::string counter_path = dir_.str() + "/counter";
  ASSERT_EQ(PublishSharedFile(counter_path, zero), 0);
  std::size_t length = 0;
  auto* counter = static_cast<volatile long*>(MapSharedFile(counter_path, sizeof(long), &length));
  ASSERT_NE(counter, nullptr);
  constexpr int kRounds = 20000;
  auto work = [&] {
    for (int i = 0; i < kRounds; ++i) {
      if (LockNamedMutex(mutex_) != 0) return 1;
      long v = *counter;
      *counter = v + 1;
      UnlockNamedMutex(mutex_);
    }
    return 0;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(work());
  EXPECT_EQ(work(), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(*counter, 2 * kRounds);
  UnmapSharedFile(const_cast<long*>(counter), length);
}

}  // namespace
}  // namespace kestrum
