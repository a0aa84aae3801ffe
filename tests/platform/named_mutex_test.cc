#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/error_number.h"
#include "platform/shared_file.h"

#ifdef _WIN32
#include <atomic>
#include <chrono>
#include <thread>
#else
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"
#endif

namespace kestrum {
namespace {

#ifdef _WIN32
// Another owner of the mutex for the length of one call: a thread of its own (Windows mutexes
// belong to threads). Its result is what `body` returned, -1 when it could not start.
class OtherOwner {
 public:
  template <typename Body>
  explicit OtherOwner(Body body) : thread_([this, body] { result_ = body(); }) {}
  ~OtherOwner() { Wait(); }
  OtherOwner(const OtherOwner&) = delete;
  OtherOwner& operator=(const OtherOwner&) = delete;

  int Wait() {
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  int result_ = -1;
  std::thread thread_;
};

// The object names of one test case: the test program's objects are its own (each program runs
// in a wine prefix or session of its own), the cases' differ by the case's name.
std::string CaseName(const char* suffix) {
  return std::string("Global\\Global\\parvex_test_") +
         ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
}
#else
// Another owner of the mutex for the length of one call: a child process. Its result is its exit
// status (what `body` returned), -1 when it did not exit.
class OtherOwner {
 public:
  template <typename Body>
  explicit OtherOwner(Body body) : child_(fork()) {
    if (child_ == 0) _exit(body());
  }
  ~OtherOwner() { Wait(); }
  OtherOwner(const OtherOwner&) = delete;
  OtherOwner& operator=(const OtherOwner&) = delete;

  int Wait() {
    if (child_ > 0) {
      int status = 0;
      result_ =
          waitpid(child_, &status, 0) == child_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      child_ = -1;
    }
    return result_;
  }

 private:
  pid_t child_;
  int result_ = -1;
};

// Waits at most two seconds for one byte from `fd`; true when it came.
bool AwaitByte(int fd) {
  pollfd p = {fd, POLLIN, 0};
  char c;
  return poll(&p, 1, 2000) == 1 && read(fd, &c, 1) == 1;
}
#endif

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = Name(".mut");
    ASSERT_EQ(CreateNamedMutex(path_), 0);
    mutex_ = OpenNamedMutex(path_);
    ASSERT_NE(mutex_, nullptr);
  }
  void TearDown() override { CloseNamedMutex(mutex_); }

  // The name of one of the case's objects.
  std::string Name(const char* suffix) {
#ifdef _WIN32
    return CaseName(suffix);
#else
    return dir_.str() + "/dm_test" + suffix;
#endif
  }

  // 0 when another owner could take the lock within `ms`, 1 on a time-out.
  int OtherOwnerLocks(int ms) {
    return OtherOwner([&] {
             NamedMutex* m = OpenNamedMutex(path_);
             if (!m) return 2;
             int result = 0;
             if (LockNamedMutexFor(m, ms) != 0) {
               result = GetErrorNumber() == ETIMEDOUT ? 1 : 3;
             } else if (UnlockNamedMutex(m) != 0) {
               result = 4;
             }
             CloseNamedMutex(m);
             return result;
           })
        .Wait();
  }

#ifndef _WIN32
  parvex_test::ScopedTempDir dir_;
#endif
  std::string path_;
  NamedMutex* mutex_ = nullptr;
};

TEST_F(NamedMutexTest, MissingOrShortFileIsNotAMutex) {
  SetErrorNumber(9);
  EXPECT_EQ(OpenNamedMutex(Name("none.mut")), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
#ifndef _WIN32
  std::byte one[1] = {};
  ASSERT_EQ(PublishSharedFile(dir_.str() + "/short.mut", one), 0);
  EXPECT_EQ(OpenNamedMutex(dir_.str() + "/short.mut"), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
#endif
}

TEST_F(NamedMutexTest, NestedLocksReleaseFully) {
  ASSERT_EQ(LockNamedMutex(mutex_), 0);
  ASSERT_EQ(LockNamedMutex(mutex_), 0);
  ASSERT_EQ(UnlockNamedMutex(mutex_), 0);
  EXPECT_EQ(OtherOwnerLocks(100), 1) << "one unlock of two must keep the mutex held";
  ASSERT_EQ(UnlockNamedMutex(mutex_), 0);
  EXPECT_EQ(OtherOwnerLocks(2000), 0);
#if !defined(__SANITIZE_THREAD__)  // the sanitizer reports the deliberate misuse itself
  EXPECT_EQ(UnlockNamedMutex(mutex_), -1) << "a thread cannot release what it does not hold";
  EXPECT_EQ(GetErrorNumber(), EPERM);
#endif
}

TEST_F(NamedMutexTest, HolderKilledWhileHoldingDoesNotBlockOthers) {
#ifdef _WIN32
  // A thread that ends holding a Windows mutex abandons it, as a process that dies does.
  std::atomic<bool> holds{false}, end{false};
  OtherOwner holder([&] {
    NamedMutex* m = OpenNamedMutex(path_);
    if (!m || LockNamedMutex(m) != 0) return 1;
    holds = true;
    while (!end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CloseNamedMutex(m);  // closing a handle does not release the mutex
    return 0;
  });
  for (int i = 0; i < 2000 && !holds; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const bool child_holds = holds;
  int early = child_holds ? LockNamedMutexFor(mutex_, 50) : 0;
  end = true;
  EXPECT_EQ(holder.Wait(), 0);
#else
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
#endif
  ASSERT_TRUE(child_holds);
  EXPECT_EQ(early, -1) << "the child held it";

  bool abandoned = false;
  ASSERT_EQ(LockNamedMutexFor(mutex_, 2000, &abandoned), 0) << "abandoned counts as acquired";
  EXPECT_TRUE(abandoned);
  ASSERT_EQ(UnlockNamedMutex(mutex_), 0);
  // Made consistent: the mutex keeps working for everyone.
  EXPECT_EQ(OtherOwnerLocks(2000), 0);
  EXPECT_EQ(LockNamedMutex(mutex_, &abandoned), 0);
  EXPECT_FALSE(abandoned);
  EXPECT_EQ(UnlockNamedMutex(mutex_), 0);
}

TEST_F(NamedMutexTest, SerialisesReadModifyWriteAcrossProcesses) {
  std::vector<std::byte> zero(sizeof(long));
  std::string counter_path = Name("counter");
  ASSERT_EQ(PublishSharedFile(counter_path, zero), 0);
  std::size_t length = 0;
  auto* counter = static_cast<volatile long*>(MapSharedFile(counter_path, sizeof(long), &length));
  ASSERT_NE(counter, nullptr);
#ifdef _WIN32
  constexpr int kRounds = 2000;  // each lock and unlock is a call to wine's server
#else
  constexpr int kRounds = 20000;
#endif
  auto work = [&] {
    for (int i = 0; i < kRounds; ++i) {
      if (LockNamedMutex(mutex_) != 0) return 1;
      long v = *counter;
      *counter = v + 1;
      UnlockNamedMutex(mutex_);
    }
    return 0;
  };
  OtherOwner other(work);
  EXPECT_EQ(work(), 0);
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_EQ(*counter, 2 * kRounds);
  UnmapSharedFile(const_cast<long*>(counter), length);
}

}  // namespace
}  // namespace kestrum
