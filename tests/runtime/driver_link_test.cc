#include "runtime/driver_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/error_number.h"
#include "platform/mailslot.h"
#include "platform/wake_descriptor.h"
#include "runtime/post_delivery.h"
#include "runtime/process_identity.h"
#include "test_child.h"
#include "test_util.h"

namespace kestrum {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the handlers saw. Handlers are plain functions, so their record is global.
struct Seen {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int32_t> codes;
  std::vector<std::thread::id> threads;
  std::atomic<int> slow_started{0};
  std::atomic<int> slow_finished{0};
};
Seen* g_seen = nullptr;

void Record(int32_t code) {
  std::lock_guard<std::mutex> lock(g_seen->mutex);
  g_seen->codes.push_back(code);
  g_seen->threads.push_back(std::this_thread::get_id());
  g_seen->changed.notify_all();
}

void RecordNegated(int32_t code) { Record(-code); }

void RecordSlowly(int32_t code) {
  g_seen->slow_started = 1;
  std::this_thread::sleep_for(milliseconds(150));
  g_seen->slow_finished = 1;
  Record(code);
}

class DriverLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { g_seen = &seen_; }
  void TearDown() override {
    StopDriverLink();
    g_seen = nullptr;
  }

  std::vector<int32_t> Codes() {
    std::lock_guard<std::mutex> lock(seen_.mutex);
    return seen_.codes;
  }
  // Waits at most two seconds until `n` codes were seen.
  bool AwaitCodes(std::size_t n) {
    std::unique_lock<std::mutex> lock(seen_.mutex);
    return seen_.changed.wait_for(lock, std::chrono::seconds(2),
                                  [&] { return seen_.codes.size() >= n; });
  }
  // Writes `code` into this process's mailslot as another process would.
  static void PostFromOutside(int32_t code) {
    int handle = OpenMailslotForWriting(ProcessMailslotName(CurrentProcessId(), kLinuxPlatformId));
    ASSERT_GE(handle, 0);
    EXPECT_EQ(WriteExactly(handle, &code, sizeof(code)), 4);
    CloseMailslotHandle(handle);
  }

  parvex_test::ScopedInstance instance_;
  Seen seen_;
};

TEST(ProcessMailslotName, DependsOnThePlatform) {
  EXPECT_EQ(ProcessMailslotName(812, 2), "dm_812.slt");
  EXPECT_EQ(ProcessMailslotName(0x32C, 1), "process\\32C");
  EXPECT_EQ(ProcessMailslotName(4000000000u, 2), "dm_4000000000.slt");
}

TEST_F(DriverLinkTest, StartsOnceThenExchangesTheHandler) {
  SetErrorNumber(9);
  EXPECT_EQ(StartDriverLink(Record), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::exists(instance_.rundir() / "mailslot" /
                                      ProcessMailslotName(CurrentProcessId(), kLinuxPlatformId)));
#endif
  EXPECT_EQ(StartDriverLink(RecordNegated), Record);
  PostFromOutside(300);
  ASSERT_TRUE(AwaitCodes(1));
  EXPECT_EQ(Codes(), std::vector<int32_t>{-300});
}

// Another process: posts the code args[1] to the process args[0].
PARVEX_TEST_CHILD(PostCode) {
  const uint32_t pid = static_cast<uint32_t>(std::stoul(args.at(0)));
  return PostToProcess(pid, std::stoi(args.at(1))) == 0 ? 0 : 1;
}

TEST_F(DriverLinkTest, MessageWaitsForTheGateAndTheNextWaitReturnsAtOnce) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  ASSERT_EQ(HoldDriverMessages(1), 0);
  // Posted by another process while the gate is closed.
  ASSERT_EQ(parvex_test::RunChild("PostCode", {std::to_string(CurrentProcessId()), "302"}), 0);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_TRUE(Codes().empty()) << "dispatched through a closed gate";

  auto start = Clock::now();
  EXPECT_EQ(WaitForDriverMessage(0), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Codes(), std::vector<int32_t>{302});
}

TEST_F(DriverLinkTest, MessagesOfOneClosedPeriodArriveInOrder) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  ASSERT_EQ(HoldDriverMessages(1), 0);
  PostFromOutside(302);
  PostFromOutside(303);
  PostFromOutside(300);
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(WaitForDriverMessage(2000), 0);
  ASSERT_TRUE(AwaitCodes(3));
  EXPECT_EQ(Codes(), (std::vector<int32_t>{302, 303, 300}));
}

TEST_F(DriverLinkTest, WaitTicksTimesOutWithoutAMessage) {
  for (bool linked : {false, true}) {
    if (linked) {
      ASSERT_EQ(StartDriverLink(Record), nullptr);
    }
    auto start = Clock::now();
    EXPECT_EQ(WaitTicks(5), 0);
    auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(45)) << "linked " << linked;
    EXPECT_LT(elapsed, milliseconds(2000)) << "linked " << linked;
  }
  EXPECT_TRUE(Codes().empty());
}

TEST_F(DriverLinkTest, WaitWithoutLimitEndsWithTheFirstDispatch) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  std::thread poster([] {
    std::this_thread::sleep_for(milliseconds(50));
    PostFromOutside(304);
  });
  auto start = Clock::now();
  EXPECT_EQ(WaitTicks(0), 0);
  poster.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(Codes(), std::vector<int32_t>{304});
}

TEST_F(DriverLinkTest, StopEndsTheReaderWithoutDispatchingItsWakeUp) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  StopDriverLink();
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(HoldDriverMessages(1), -1);
  EXPECT_EQ(BeginDriverMessageWait(), -1);
  EXPECT_EQ(PostToProcess(CurrentProcessId(), 300), 0) << "self-post";
  EXPECT_TRUE(Codes().empty()) << "a stopped link dispatches nothing";
  StopDriverLink();  // a second stop does nothing

  // The name is free again: the link starts anew.
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  PostFromOutside(31);
  ASSERT_TRUE(AwaitCodes(1));
  EXPECT_EQ(Codes(), std::vector<int32_t>{31});
}

TEST_F(DriverLinkTest, StopWithClosedGateDropsPendingMessages) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  ASSERT_EQ(HoldDriverMessages(1), 0);
  PostFromOutside(300);
  std::this_thread::sleep_for(milliseconds(50));  // the reader now waits at the gate
  auto start = Clock::now();
  StopDriverLink();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(Codes().empty());
}

TEST_F(DriverLinkTest, PostToOwnProcessRunsOnTheCallingThread) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  ASSERT_EQ(PostToProcess(CurrentProcessId(), 305), 0);
  std::lock_guard<std::mutex> lock(seen_.mutex);
  ASSERT_EQ(seen_.codes, std::vector<int32_t>{305});
  EXPECT_EQ(seen_.threads[0], std::this_thread::get_id());
}

TEST_F(DriverLinkTest, PostToMissingProcessFailsAtOnce) {
  auto start = Clock::now();
  EXPECT_EQ(PostToProcess(999999999u, 300), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_EQ(OpenMailslotForWriting("\\\\.\\mailslot\\derived"), -1);
  EXPECT_EQ(WriteExactly(-1, "x", 1), -1);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST_F(DriverLinkTest, PostsWaitForRoomWithinOneBudgetAndNoticesNeverWait) {
  constexpr uint32_t kReceiver = 999999998u;
  Mailslot* slot = CreateMailslot(ProcessMailslotName(kReceiver, kLinuxPlatformId), 4);
  ASSERT_NE(slot, nullptr);
  // A burst far beyond the socket queue reaches a receiver that reads, whole and in order.
  constexpr int kBurst = 300;
  std::vector<int32_t> got;
  std::thread reader([&] {
    int32_t code;
    while (got.size() < kBurst && ReadMailslotFor(slot, &code, 2000) == 4) got.push_back(code);
  });
  int failed = 0;
  for (int32_t i = 0; i < kBurst; ++i) failed += PostToProcess(kReceiver, i) != 0;
  reader.join();
  EXPECT_EQ(failed, 0);
  std::vector<int32_t> expected(kBurst);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(got, expected);

  // A receiver that stops reading: the posts of one budget give up once it has run out, and
  // the sender goes on (a hang here would be the fault).
  const auto start = Clock::now();
  int delivered = 0;
  // (A Linux socket queue fills after a few hundred bytes; a mailslot under wine after 276
  // messages of 4 bytes.)
  constexpr int kPosts = 1000;
  {
    PostBudget budget(100);
    for (int i = 0; i < kPosts; ++i) delivered += PostToProcess(kReceiver, i) == 0;
  }
  EXPECT_LT(delivered, kPosts);
  EXPECT_EQ(GetErrorNumber(), EAGAIN);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  // A notice to it fails at once; once it reads again, the next post goes through.
  EXPECT_EQ(PostNoticeToProcess(kReceiver, kMessageAreaChanged), -1);
  int32_t code;
  while (ReadMailslotFor(slot, &code, 0) == 4) {
  }
  EXPECT_EQ(PostToProcess(kReceiver, 7), 0);
  CloseMailslot(slot);
}

TEST_F(DriverLinkTest, ClosingTheGateWaitsForARunningHandler) {
  ASSERT_EQ(StartDriverLink(RecordSlowly), nullptr);
  PostFromOutside(300);
  auto deadline = Clock::now() + std::chrono::seconds(2);
  while (!seen_.slow_started && Clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(seen_.slow_started);
  ASSERT_EQ(HoldDriverMessages(1), 0);
  EXPECT_TRUE(seen_.slow_finished) << "the gate closed while the handler still ran";
}

TEST_F(DriverLinkTest, WakeDescriptorCanBePolledWithOtherDescriptors) {
  ASSERT_EQ(StartDriverLink(Record), nullptr);
  const int other = CreateWakeDescriptor();  // a device's descriptor that stays quiet
  ASSERT_GE(other, 0);
  ASSERT_EQ(HoldDriverMessages(1), 0);
  PostFromOutside(300);
  int wake = BeginDriverMessageWait();  // opens the gate
  ASSERT_GE(wake, 0);
  EXPECT_EQ(WaitReadable(other, &wake, 1, 2000), 1);
  EXPECT_EQ(WaitReadable(other, nullptr, 0, 0), 0);
  EXPECT_EQ(EndDriverMessageWait(), 0);
  EXPECT_EQ(WaitReadable(wake, nullptr, 0, 0), 0)
      << "the wake-up is cleared by the end of the wait";
  EXPECT_EQ(Codes(), std::vector<int32_t>{300});
  CloseWakeDescriptor(other);
}

}  // namespace
}  // namespace kestrum
