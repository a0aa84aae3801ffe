#include "platform/mailslot.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>

#include "platform/error_number.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"
#endif

namespace kestrum {
namespace {

// Posts one message of `length` bytes to the slot `name`; the send's result or -1.
long Post(std::string_view name, const void* data, std::size_t length) {
  int writer = OpenMailslotWriter(name);
  if (writer < 0) return -1;
  long n = SendToMailslot(writer, data, length);
  CloseMailslotWriter(writer);
  return n;
}

long PostInt(std::string_view name, int32_t value) { return Post(name, &value, sizeof(value)); }

#ifdef _WIN32
TEST(MailslotPath, IsTheNameBelowTheMailslotRoot) {
  EXPECT_EQ(MailslotPath("\\\\.\\mailslot\\dm_812.slt"), "\\\\.\\mailslot\\dm_812.slt");
  EXPECT_EQ(MailslotPath("\\\\.\\MAILSLOT\\process\\32C"), "\\\\.\\mailslot\\process\\32C");
  EXPECT_EQ(MailslotPath("process\\32C"), "\\\\.\\mailslot\\process\\32C");
  EXPECT_EQ(MailslotPath("xalarms"), "\\\\.\\mailslot\\xalarms");
}

// Each process has its own mailslots under wine's prefix: the names need no instance.
class MailslotTest : public ::testing::Test {};
#else
TEST(MailslotPath, DropsTheRootAndTurnsBackslashesIntoSlashes) {
  parvex_test::ScopedInstance instance;
  std::string root = instance.rundir().string() + "/mailslot/";
  EXPECT_EQ(MailslotPath("\\\\.\\mailslot\\dm_812.slt"), root + "dm_812.slt");
  EXPECT_EQ(MailslotPath("\\\\.\\MAILSLOT\\process\\32C"), root + "process/32C");
  EXPECT_EQ(MailslotPath("xalarms"), root + "xalarms");
  EXPECT_EQ(MailslotPath("derived"), root + "derived");
}

class MailslotTest : public ::testing::Test {
 protected:
  parvex_test::ScopedInstance instance_;
};
#endif

TEST_F(MailslotTest, MessagesOfTheWrongSizeAreDiscarded) {
  Mailslot* slot = CreateMailslot("dm_1.slt", 4);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(Post("dm_1.slt", "abc", 3), 3);
  EXPECT_EQ(Post("dm_1.slt", "abcde", 5), 5);
  EXPECT_EQ(PostInt("dm_1.slt", 300), 4);
  EXPECT_EQ(Post("dm_1.slt", "", 0), 0);
  EXPECT_EQ(PostInt("dm_1.slt", -7), 4);
  int32_t value = 0;
  ASSERT_EQ(ReadMailslotFor(slot, &value, 2000), 4);
  EXPECT_EQ(value, 300);
  ASSERT_EQ(ReadMailslot(slot, &value), 4) << GetErrorNumber();
  EXPECT_EQ(value, -7);
  EXPECT_EQ(ReadMailslotFor(slot, &value, 0), -1);
  EXPECT_EQ(GetErrorNumber(), ETIMEDOUT);
  CloseMailslot(slot);
}

TEST_F(MailslotTest, PostToMissingOrClosedSlotFailsAtOnce) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PostInt("dm_999999.slt", 300), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  Mailslot* slot = CreateMailslot("\\\\.\\mailslot\\process\\32C", 4);
  ASSERT_NE(slot, nullptr);
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::exists(instance_.rundir() / "mailslot/process/32C"));
#endif
  CloseMailslot(slot);
#ifndef _WIN32
  EXPECT_FALSE(std::filesystem::exists(instance_.rundir() / "mailslot/process/32C"));
#endif
  EXPECT_EQ(PostInt("process\\32C", 300), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(MailslotTest, FullReceiverDoesNotBlockTheSender) {
  Mailslot* slot = CreateMailslot("dm_2.slt", 4);
  ASSERT_NE(slot, nullptr);
  int writer = OpenMailslotWriter("dm_2.slt");
  ASSERT_GE(writer, 0);
  int32_t value = 300;
  int sent = 0;
  long result = 0;
  while (sent < 1000000 && (result = SendToMailslot(writer, &value, 4)) == 4) ++sent;
  EXPECT_EQ(result, -1) << "the queue never filled";
  EXPECT_EQ(GetErrorNumber(), EAGAIN);
  EXPECT_GT(sent, 0);
  ASSERT_EQ(ReadMailslot(slot, &value), 4);
  EXPECT_EQ(SendToMailslot(writer, &value, 4), 4) << "room again after one read";
  CloseMailslotWriter(writer);
  CloseMailslot(slot);
}

TEST_F(MailslotTest, StaleSocketIsTakenOverAndLiveOneRefused) {
#ifndef _WIN32
  // A child creates the slot and dies without closing it: its socket file stays behind.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(CreateMailslot("dm_3.slt", 4) ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(std::filesystem::exists(instance_.rundir() / "mailslot/dm_3.slt"));
  EXPECT_EQ(PostInt("dm_3.slt", 1), -1);
  EXPECT_EQ(GetErrorNumber(), ECONNREFUSED);
#endif

  Mailslot* slot = CreateMailslot("dm_3.slt", 4);
  ASSERT_NE(slot, nullptr) << "stale socket not taken over: " << GetErrorNumber();
  EXPECT_EQ(CreateMailslot("dm_3.slt", 4), nullptr);
  EXPECT_EQ(GetErrorNumber(), EADDRINUSE);

  // The refused attempt left the live owner working; a message from another process arrives.
#ifdef _WIN32
  ASSERT_EQ(PostInt("dm_3.slt", 304), 4);
#else
  child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(PostInt("dm_3.slt", 304) == 4 ? 0 : 1);
  ASSERT_EQ(waitpid(child, &status, 0), child);
#endif
  int32_t value = 0;
  ASSERT_EQ(ReadMailslotFor(slot, &value, 2000), 4);
  EXPECT_EQ(value, 304);
  CloseMailslot(slot);
}

#ifndef _WIN32
TEST_F(MailslotTest, RegularFileInTheWayIsNeverRemoved) {
  std::filesystem::create_directories(instance_.rundir() / "mailslot");
  std::filesystem::path in_the_way = instance_.rundir() / "mailslot/dm_4.slt";
  {
    std::FILE* f = std::fopen(in_the_way.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  EXPECT_EQ(CreateMailslot("dm_4.slt", 4), nullptr);
  EXPECT_EQ(GetErrorNumber(), EADDRINUSE);
  EXPECT_TRUE(std::filesystem::is_regular_file(in_the_way));
}
#endif

}  // namespace
}  // namespace kestrum
