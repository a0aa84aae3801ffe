#include "runtime/shared_area.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "area_test_util.h"
#include "platform/error_number.h"
#include "platform/shared_file.h"
#include "runtime/process_identity.h"
#include "test_child.h"
#include "test_util.h"
#include "tools/dm/area_builder.h"

namespace kestrum {
namespace {

using area_test::Header;
using area_test::Listener;

// How long a child may take: a child under wine starts in seconds.
constexpr int kChildMs = 30000;

// The children below are other processes: they open the areas by name, as every process does.

// Another process: writes the file args[1] (when given) once the area is open, then locks the
// area args[0] once; succeeds when the header shows it as the holder at depth 1 and the lock is
// released again.
PARVEX_TEST_CHILD(LockAreaOnce) {
  void* area = OpenSharedArea(args.at(0));
  if (!area) return 1;
  if (args.size() > 1) std::ofstream(args[1]) << "waiting";
  if (LockArea(area) != 0) return 2;
  const bool mine =
      Header(area)->lock_holder == (CurrentProcessId() & 0xFFFF) && Header(area)->lock_depth == 1;
  return UnlockArea(area) == 0 && mine ? 0 : 3;
}

// Another process: locks the area args[0] twice and ends holding the lock.
PARVEX_TEST_CHILD(LockAreaTwiceAndEnd) {
  void* area = OpenSharedArea(args.at(0));
  return area && LockArea(area) == 0 && LockArea(area) == 0 ? 0 : 1;
}

// Another process: writes the file args[2] and then marks and notifies the area args[0] for
// subscriber 1, args[1] times.
PARVEX_TEST_CHILD(NotifyAreaRounds) {
  void* area = OpenSharedArea(args.at(0));
  if (!area) return 1;
  std::ofstream(args.at(2)) << "started";
  for (int i = std::stoi(args.at(1)); i > 0; --i) {
    if (MarkAreaUpdating(area) != 0 || NotifyArea(area, 1) != 0) return 2;
  }
  return 0;
}

// Waits until `path` exists, at most as long as a child may take to start.
bool AwaitFile(const std::filesystem::path& path) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildMs);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class SharedAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetSharedAreas();
    std::filesystem::create_directories(instance_.rundir() / "shm/Global/Global");
  }

  // Creates the area `name` with a data part of `data_size` bytes and opens it.
  void* Make(const std::string& name, uint32_t data_size = 16, dm::AreaShape shape = {}) {
    std::vector<std::byte> data(data_size);
    if (dm::CreateArea(name, data, shape) != 0) return nullptr;
    return OpenSharedArea(name);
  }

  parvex_test::ScopedInstance instance_;
};

TEST_F(SharedAreaTest, OpeningNeverCreatesAndRefusesLongNames) {
  SetErrorNumber(5);
  EXPECT_EQ(OpenSharedArea("dm_device"), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);
  std::byte head[4];
  EXPECT_EQ(ReadSharedFileHead(SharedAreaPath("dm_device"), head), -1) << "left an object behind";
  EXPECT_EQ(GetErrorNumber(), 0);

  const std::string name31(31, 'a'), name32(32, 'a');
  void* area = Make(name31);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(OpenSharedArea(name31), area) << "cached by name";
  std::vector<std::byte> data(4);
  ASSERT_EQ(dm::CreateArea(name32.substr(0, 31) + "b", data, {}), 0);
  SetErrorNumber(5);
  EXPECT_EQ(OpenSharedArea(name32), nullptr);
  EXPECT_EQ(GetErrorNumber(), 0);

  for (const char* unsafe : {"../dm_device", "a/b", ".."}) {
    EXPECT_EQ(OpenSharedArea(unsafe), nullptr) << unsafe;
  }
}

TEST_F(SharedAreaTest, AreaShorterThanItsHeaderClaimsIsRefused) {
  std::vector<std::byte> data(5000);
  const std::vector<std::byte> bytes = dm::LayOutArea("dm_short", data, {});
  struct Cut {
    const char* name;
    size_t length;
  };
  std::vector<Cut> cuts = {{"dm_page", 4096}, {"dm_tiny", 6}};
#ifndef _WIN32
  // A Windows view is whole pages, the bytes past the object's end reading as zeros: there an
  // area is short only when its header claims more than its pages hold.
  cuts.push_back({"dm_short", bytes.size() - 1});
#endif
  for (const Cut& cut : cuts) {
    ASSERT_EQ(PublishSharedFile(SharedAreaPath(cut.name), std::span(bytes).first(cut.length)), 0);
    SetErrorNumber(5);
    EXPECT_EQ(OpenSharedArea(cut.name), nullptr) << cut.name;
    EXPECT_EQ(GetErrorNumber(), 0) << cut.name;
  }
}

TEST_F(SharedAreaTest, NestedLocksKeepBookkeepingAndReleaseFully) {
  void* area = Make("dm_lock");
  ASSERT_NE(area, nullptr);
  const uint16_t me = static_cast<uint16_t>(CurrentProcessId() & 0xFFFF);
  ASSERT_EQ(LockArea(area), 0);
  ASSERT_EQ(LockArea(area), 0);
  EXPECT_EQ(Header(area)->lock_holder, me);
  EXPECT_EQ(Header(area)->lock_depth, 2u);
  ASSERT_EQ(UnlockArea(area), 0);
  EXPECT_EQ(Header(area)->lock_depth, 1u);
  // Another process waits while the lock is still held once, and takes it once released.
  const std::filesystem::path waiting = instance_.root() / "waiting";
  parvex_test::TestChild child("LockAreaOnce", {"dm_lock", waiting.string()});
  ASSERT_TRUE(AwaitFile(waiting));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(Header(area)->lock_holder, me) << "another process got a lock that is still held once";
  EXPECT_EQ(Header(area)->lock_depth, 1u);
  ASSERT_EQ(UnlockArea(area), 0);
  EXPECT_EQ(child.Wait(kChildMs), 0);
  EXPECT_EQ(Header(area)->lock_holder, 0);
  EXPECT_EQ(Header(area)->lock_depth, 0u);
}

TEST_F(SharedAreaTest, HolderThatDiedDoesNotBlockTheArea) {
  void* area = Make("dm_dead");
  ASSERT_NE(area, nullptr);
  // The child locks twice and ends holding the lock: a robust mutex's dead owner on Linux, an
  // abandoned mutex (WAIT_ABANDONED) on Windows.
  ASSERT_EQ(parvex_test::RunChild("LockAreaTwiceAndEnd", {"dm_dead"}, kChildMs), 0);
  EXPECT_EQ(Header(area)->lock_depth, 2u);
  EXPECT_EQ(parvex_test::RunChild("LockAreaOnce", {"dm_dead"}, kChildMs), 0)
      << "the abandoned lock must count as acquired, with fresh bookkeeping";
}

TEST_F(SharedAreaTest, LockRefusesUnknownBrokenOrMutexlessAreas) {
  void* area = Make("dm_broken");
  ASSERT_NE(area, nullptr);
  int local = 0;
  EXPECT_EQ(LockArea(&local), -1);
  EXPECT_EQ(LockArea(nullptr), -1);
  EXPECT_EQ(GetErrorNumber(), 0);

  Header(area)->magic = 0x1234;
  SetErrorNumber(5);
  EXPECT_EQ(LockArea(area), -1);
  EXPECT_EQ(GetErrorNumber(), 0);
  EXPECT_EQ(UnlockArea(area), -1);
  Header(area)->magic = kAreaMagic;

  const uint32_t size = Header(area)->size;
  Header(area)->size = size + 4096;  // claims more than is mapped
  EXPECT_EQ(LockArea(area), -1);
  Header(area)->size = size;
  Header(area)->data_size = size;  // data part past the end
  EXPECT_EQ(LockArea(area), -1);
  Header(area)->data_size = 16;
  Header(area)->mutex_name_offset = 1u << 30;
  EXPECT_EQ(LockArea(area), -1);
  EXPECT_EQ(Header(area)->lock_depth, 0u) << "a refused lock writes nothing";

  std::vector<std::byte> data(8);
  ASSERT_EQ(PublishSharedFile(SharedAreaPath("dm_nomutex"), dm::LayOutArea("dm_nomutex", data, {})),
            0);
  void* lonely = OpenSharedArea("dm_nomutex");
  ASSERT_NE(lonely, nullptr);
  SetErrorNumber(5);
  EXPECT_EQ(LockArea(lonely), -1);
  EXPECT_EQ(GetErrorNumber(), 0);
  EXPECT_EQ(UnlockArea(lonely), -1);
}

TEST_F(SharedAreaTest, HeaderGarbledWhileLockedStillReleasesTheLock) {
  void* area = Make("dm_garbled");
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(LockArea(area), 0);
  Header(area)->magic = 0x1234;  // garbled by another process for an instant
  SetErrorNumber(5);
  EXPECT_EQ(UnlockArea(area), -1) << "the damaged header is reported";
  EXPECT_EQ(GetErrorNumber(), 0);
  Header(area)->magic = kAreaMagic;
  EXPECT_EQ(parvex_test::RunChild("LockAreaOnce", {"dm_garbled"}, kChildMs), 0)
      << "the lock stayed held after the unlock";
}

#ifndef _WIN32
// A Windows mapping cannot be cut short (its size is fixed and a view holds the whole object):
// only the Linux carrier, a file, can be truncated under its readers.
constexpr uint32_t kCutData = 3 * 4096;  // the data part spans pages past the first

// The reader, another process, so that a SIGBUS fails the test instead of ending the test
// program: maps the areas args[0] (kCutData bytes of data) and args[1] (one page), cuts both
// files short under its own mappings, and makes the first whole again.
PARVEX_TEST_CHILD(CutAreaUnderItsReader) {
  void* area = OpenSharedArea(args.at(0));
  void* small = OpenSharedArea(args.at(1));
  if (!area || !small) return 10;
  const std::string path = SharedAreaPath(args.at(0));
  const std::string small_path = SharedAreaPath(args.at(1));
  const off_t full = static_cast<off_t>(SharedAreaMappedSize(area));
  const uint64_t last = kAreaHeaderSize + kCutData - 1;
  if (truncate(path.c_str(), 200) != 0 || truncate(small_path.c_str(), 200) != 0) return 1;
  volatile std::byte* far = area_test::At(area, last);
  if (*far != std::byte{0}) return 2;  // the cut part reads as zeros
  *far = std::byte{7};                 // and takes writes that go nowhere
  SetErrorNumber(5);
  if (LockArea(area) != -1 || GetErrorNumber() != 0) return 3;
  if (LockArea(small) != -1 || GetErrorNumber() != 0) return 4;
  // Whole again, with new contents written through the file: the mapping shows the file.
  if (truncate(path.c_str(), full) != 0) return 5;
  const int fd = open(path.c_str(), O_WRONLY);
  const char marker = 42;
  if (fd < 0 || pwrite(fd, &marker, 1, static_cast<off_t>(last)) != 1) return 6;
  close(fd);
  if (LockArea(area) != 0) return 7;
  if (*area_test::At(area, last) != std::byte{42}) return 8;
  return UnlockArea(area) == 0 ? 0 : 9;
}

TEST_F(SharedAreaTest, AreaCutShortUnderItsReaderIsRefusedUntilWholeAgain) {
  ASSERT_NE(Make("dm_cut", kCutData), nullptr);
  ASSERT_NE(Make("dm_cut_small"), nullptr);  // one page: a cut leaves every byte readable
  EXPECT_EQ(parvex_test::RunChild("CutAreaUnderItsReader", {"dm_cut", "dm_cut_small"}, kChildMs), 0)
      << "-1: the reader died";
}
#endif  // _WIN32

TEST_F(SharedAreaTest, UpdatePendingCounterNeverGoesBelowZero) {
  void* area = Make("dm_pending");
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(MarkAreaUpdating(area), 0);
  ASSERT_EQ(MarkAreaUpdating(area), 0);
  EXPECT_EQ(Header(area)->update_pending, 2);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(NotifyArea(area, 0), 0);
  EXPECT_EQ(Header(area)->update_pending, 0);
  EXPECT_EQ(Header(area)->lock_depth, 0u);
}

TEST_F(SharedAreaTest, SubscriberAboveTenIsRefusedWithoutChange) {
  void* area = Make("dm_eleven");
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(MarkAreaUpdating(area), 0);
  std::vector<std::byte> before(static_cast<std::byte*>(area),
                                static_cast<std::byte*>(area) + Header(area)->size + 108);
  SetErrorNumber(0);
  EXPECT_EQ(NotifyArea(area, 11), -1);
  EXPECT_EQ(GetErrorNumber(), 67);
  EXPECT_EQ(NotifyArea(area, -1), -1);
  EXPECT_EQ(0, std::memcmp(before.data(), area, before.size()));
}

TEST_F(SharedAreaTest, PollingSubscribersCountNotifications) {
  void* area = Make("dm_poll");
  ASSERT_NE(area, nullptr);
  area_test::ShortSubscriber(area, 3)->process_id = 4321;
  ASSERT_EQ(NotifyArea(area, 3), 0);
  ASSERT_EQ(NotifyArea(area, 0), 0);
  EXPECT_EQ(area_test::ShortSubscriber(area, 3)->change_counter, 2);
  EXPECT_EQ(area_test::ShortSubscriber(area, 4)->change_counter, 1) << "free entries count too";

  // With long entries present, the short ones are left alone.
  void* wide = Make("dm_wide", 15, {.long_subscribers = 3, .long_messages = 2});
  ASSERT_NE(wide, nullptr);
  ASSERT_EQ(NotifyArea(wide, 2), 0);
  ASSERT_EQ(NotifyArea(wide, 5), 0) << "beyond N: nothing to treat, still a success";
  ASSERT_EQ(NotifyArea(wide, 0), 0);
  EXPECT_EQ(area_test::LongSubscriber(wide, 2)->change_counter, 2);
  EXPECT_EQ(area_test::LongSubscriber(wide, 3)->change_counter, 1);
  EXPECT_EQ(area_test::ShortSubscriber(wide, 2)->change_counter, 0);
}

TEST_F(SharedAreaTest, TwoProcessesNotifyingCountEveryNotification) {
  void* area = Make("dm_race");
  ASSERT_NE(area, nullptr);
  constexpr int kRounds = 300;
  // Both start together: the other process says when it begins.
  const std::filesystem::path started = instance_.root() / "started";
  parvex_test::TestChild child("NotifyAreaRounds",
                               {"dm_race", std::to_string(kRounds), started.string()});
  ASSERT_TRUE(AwaitFile(started));
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(MarkAreaUpdating(area), 0);
    ASSERT_EQ(NotifyArea(area, 1), 0);
  }
  EXPECT_EQ(child.Wait(kChildMs), 0);
  EXPECT_EQ(area_test::ShortSubscriber(area, 1)->change_counter, 2 * kRounds);
  EXPECT_EQ(Header(area)->update_pending, 0);
}

TEST_F(SharedAreaTest, SubscriberByMessageGetsOneMessagePerNotification) {
  void* area = Make("dm_msg");
  ASSERT_NE(area, nullptr);
  Listener listener;
  ASSERT_TRUE(listener.ok());
  auto* entry = area_test::ShortSubscriber(area, 2);
  entry->process_id = static_cast<uint16_t>(listener.pid());
  entry->by_message = 1;
  if (listener.pid() > 0xFFFF) GTEST_SKIP() << "process id does not fit a short entry";
  ASSERT_EQ(NotifyArea(area, 2), 0);
  ASSERT_EQ(NotifyArea(area, 0), 0);
  ASSERT_EQ(NotifyArea(area, 1), 0);
  EXPECT_EQ(listener.Received(), (std::vector<int32_t>{32, 32}));
  EXPECT_EQ(entry->change_counter, 0);
}

TEST_F(SharedAreaTest, QueuedMessagesReachTheirProcessOnceAndAreCleared) {
  Listener listener;
  ASSERT_TRUE(listener.ok());
  void* area = Make("dm_queue");
  void* wide = Make("dm_queue2", 16, {.long_subscribers = 0, .long_messages = 2});
  ASSERT_NE(area, nullptr);
  ASSERT_NE(wide, nullptr);
  if (listener.pid() > 0xFFFF) GTEST_SKIP() << "process id does not fit a short entry";
  const auto pid16 = static_cast<uint16_t>(listener.pid());
  *area_test::ShortMessage(area, 0) = {pid16, 305};
  *area_test::ShortMessage(area, 31) = {pid16, -2};
  // With M > 0 only the long entries are delivered.
  *area_test::ShortMessage(wide, 0) = {pid16, 999};
  *area_test::LongMessage(wide, 1) = {listener.pid(), 303, 0};

  ASSERT_EQ(NotifyArea(area, 1), 0) << "one subscriber only: the queue stays";
  EXPECT_EQ(area_test::ShortMessage(area, 0)->process_id, pid16);
  ASSERT_EQ(NotifyArea(area, 0), 0);
  ASSERT_EQ(NotifyArea(area, 0), 0);
  ASSERT_EQ(NotifyArea(wide, 0), 0);
  EXPECT_EQ(listener.Received(), (std::vector<int32_t>{305, -2, 303}));
  EXPECT_EQ(area_test::ShortMessage(area, 0)->process_id, 0);
  EXPECT_EQ(area_test::ShortMessage(area, 31)->process_id, 0);
  EXPECT_EQ(area_test::LongMessage(wide, 1)->process_id, 0u);
  EXPECT_EQ(area_test::ShortMessage(wide, 0)->process_id, pid16);
}

TEST_F(SharedAreaTest, MessageToAVanishedProcessDoesNotStopTheRest) {
  Listener listener;
  ASSERT_TRUE(listener.ok());
  void* area = Make("dm_gone", 16, {.long_subscribers = 2, .long_messages = 0});
  ASSERT_NE(area, nullptr);
  *area_test::LongSubscriber(area, 1) = {999999999u, 1, 0};
  *area_test::LongSubscriber(area, 2) = {listener.pid(), 1, 0};
  EXPECT_EQ(NotifyArea(area, 0), 0);
  EXPECT_EQ(listener.Received(), std::vector<int32_t>{32});
}

TEST_F(SharedAreaTest, PlatformOneUsesTenAndThirtyTwoLongEntries) {
  Listener listener;
  ASSERT_TRUE(listener.ok());
  void* area = Make("dm_legacy", 7, {.platform_id = 1});
  ASSERT_NE(area, nullptr);
  std::byte* subs = area_test::At(area, Header(area)->subscriber_table_offset);
  auto* sub10 = reinterpret_cast<LongSubscriberEntry*>(subs + 8 * 9);
  auto* msg32 = reinterpret_cast<LongMessageEntry*>(
      area_test::At(area, Header(area)->message_table_offset + 8 * 31));
  *msg32 = {listener.pid(), 304, 0};
  ASSERT_EQ(NotifyAreaForPlatform(area, 10, 1), 0);
  ASSERT_EQ(NotifyAreaForPlatform(area, 0, 1), 0);
  EXPECT_EQ(sub10->change_counter, 2);
  EXPECT_EQ(listener.Received(), std::vector<int32_t>{304});
  EXPECT_EQ(msg32->process_id, 0u);
}

TEST_F(SharedAreaTest, CorruptedTableOffsetsAreRefusedNotFollowed) {
  void* area = Make("dm_corrupt", 16, {.long_subscribers = 1, .long_messages = 1});
  ASSERT_NE(area, nullptr);
  const AreaHeader good = *Header(area);
  const uint64_t total = good.size + 108;
  struct Damage {
    const char* what;
    void (*apply)(AreaHeader*);
  };
  const Damage damages[] = {
      {"message table past the end", [](AreaHeader* h) { h->message_table_offset += 4096; }},
      {"subscribers inside the data", [](AreaHeader* h) { h->subscriber_table_offset = 130; }},
      {"subscribers inside the header", [](AreaHeader* h) { h->subscriber_table_offset = 4; }},
      {"tables in reverse order", [](AreaHeader* h) { h->message_table_offset = 0; }},
      {"data part past the end", [](AreaHeader* h) { h->data_size = 1u << 31; }},
      {"size wraps the total", [](AreaHeader* h) { h->size = 0xFFFFFFFFu; }},
  };
  for (const Damage& damage : damages) {
    *Header(area) = good;
    damage.apply(Header(area));
    std::vector<std::byte> before(static_cast<std::byte*>(area),
                                  static_cast<std::byte*>(area) + total);
    SetErrorNumber(5);
    EXPECT_EQ(NotifyArea(area, 0), -1) << damage.what;
    EXPECT_EQ(GetErrorNumber(), 0) << damage.what;
    EXPECT_EQ(NotifyArea(area, 1), -1) << damage.what;
    EXPECT_EQ(0, std::memcmp(before.data(), area, total)) << damage.what;
  }
  *Header(area) = good;
  EXPECT_EQ(NotifyArea(area, 0), 0);
}

}  // namespace
}  // namespace kestrum
