// The real scanner through faults of the processes and links around it: a counter that dies in
// the middle of a report, a scanner killed while it holds a channel table's lock, a driver
// manager that disappears, and garbage on the scanner's mailslot. Each test names what must
// hold.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fault_util.h"
#include "platform/error_number.h"
#include "platform/process.h"
#include "records/area_layout.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/driver_link.h"
#include "scanner_rig.h"
#include "started_rig.h"
#include "tools/dm/driver_manager.h"

namespace parvex_test {
namespace {

namespace fs = std::filesystem;

TEST(ScannerFaults, ACounterDeadInMidReportFailsTheChannelsAndANewOneBehindTheAliasIsRead) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  // Every report crawls out in four pieces 300 ms apart, so the counter dies inside one.
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5", "--interval", "200", "--fragments", "4",
                             "--fragment-pause", "300"}));
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] { return ChannelValid(rig, 0) && rig.table().values[0] == 2.5f; }, 15000));

  for (int i = 0; i < 8; ++i) rig.CounterCommand("slow");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // somewhere inside a report
  rig.KillCounter();
  // No crash, no published partial report: the channels fail and initialise device retries.
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] {
        return StartsWith(rig.error_message(), "CAN'T INITIALISE DEVICE -") &&
               !ChannelValid(rig, 0);
      },
      10000))
      << "message '" << rig.error_message() << "'";
  EXPECT_NE(rig.scanner_pid(), 0);

  // A new counter on another terminal re-points the alias; the scanner opens it and reads it.
  ASSERT_TRUE(rig.StartCounter({"--volume", "3.5", "--interval", "200"}));
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] {
        return rig.error_message().empty() && ChannelValid(rig, 0) && rig.table().values[0] == 3.5f;
      },
      15000))
      << "message '" << rig.error_message() << "' value " << rig.table().values[0];
  EXPECT_EQ(rig.table().header->error_code, 0);
}

// Locks `area` on another thread. Returns true when the lock was taken (and released) within
// `timeout_ms`; a thread that hangs is left behind, the test fails instead of hanging.
bool LocksWithin(void* area, int timeout_ms) {
  auto done = std::make_shared<std::atomic<int>>(0);
  std::thread([area, done] {
    const bool taken = kestrum::AreaLock(area).held();
    *done = taken ? 1 : -1;
  }).detach();
  ScannerRig::WaitFor([&] { return *done != 0; }, timeout_ms);
  return *done == 1;
}

uint16_t LockHolder(void* area) {
  return static_cast<const kestrum::AreaHeader*>(area)->lock_holder;
}

TEST(ScannerFaults, AScannerKilledHoldingTheTableLockLeavesItToTheNextProcess) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--volume", "2.5", "--interval", "200"}));
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
  void* table = rig.table_area();
  void* events = kestrum::GetChannelEventArea("P1");
  ASSERT_NE(table, nullptr);
  ASSERT_NE(events, nullptr);
  ASSERT_TRUE(ScanReplacesMarker(rig, 0, [&] { rig.Post(kestrum::kMessageScan); }));

  // A scan locks the table and then the event area; with the event area held here, the
  // scanner stops inside the table's lock and is killed there.
  const kestrum::ProcessId scanner = rig.scanner_pid();
  kestrum::AreaLock events_lock(events);
  ASSERT_TRUE(events_lock.held());
  const auto holder = static_cast<uint16_t>(scanner & 0xFFFF);
  int polls = 0;
  const bool caught = ScannerRig::WaitFor(
      [&] {
        if (polls++ % 40 == 0) rig.Post(kestrum::kMessageScan);
        return LockHolder(table) == holder;
      },
      10000);
  ASSERT_EQ(kestrum::EndProcess(scanner), 0);
  events_lock.Unlock();
  ASSERT_TRUE(caught) << "the scanner never held the table's lock";
  EXPECT_EQ(rig.WaitExit(10000), kestrum::kEndedProcessStatus);

  // The next process to lock gets the lock, and so does a new scanner, which publishes again.
  EXPECT_TRUE(LocksWithin(table, 5000));
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
  rig.StartPump();
  EXPECT_TRUE(ScanReplacesMarker(rig, 0, nullptr));
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] { return ChannelValid(rig, 0) && rig.table().values[0] == 2.5f; }, 10000));
  EXPECT_EQ(rig.error_message(), "");
}

#ifndef _WIN32
// Linux only: a table's carrier file cut short (a Windows mapping's size is fixed at its
// creation), and a driver manager that is a shell (/bin/sh) whose orphan this process reaps.
// Makes this process the reaper of orphans for the test's lifetime, so that a scanner left
// behind by a dead parent can be waited for here.
class ScopedSubreaper {
 public:
  ScopedSubreaper() { ok_ = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0; }
  ~ScopedSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

TEST(ScannerFaults, AChannelTableCutShortUnderTheScannerIsReportedAndRecovered) {
  RigOptions options{{ChannelXml(1, "VOLUME", "VOLUME")}};
  options.table_channels = 40;  // the table spans pages past the first
  ScannerRig rig(options);
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--volume", "2.5", "--interval", "200"}));
  ASSERT_TRUE(rig.StartScanner()) << rig.error();
  rig.StartPump();
  ASSERT_TRUE(ScanReplacesMarker(rig, 0, {}));

  // What `truncate -s 200` does to the table's file while the scanner runs.
  const fs::path file = kestrum::SharedAreaPath("dm_P1");
  const auto full = fs::file_size(file);
  fs::resize_file(file, 200);
  EXPECT_TRUE(ScannerRig::WaitFor([&] { return StartsWith(rig.error_message(), "CAN'T "); }, 10000))
      << "message '" << rig.error_message() << "'";
  EXPECT_EQ(rig.WaitExit(0), -1) << "the scanner died";

  fs::resize_file(file, full);
  EXPECT_TRUE(ScannerRig::WaitFor([&] { return rig.error_message().empty(); }, 15000))
      << "message '" << rig.error_message() << "'";
  EXPECT_TRUE(ScanReplacesMarker(rig, 0, {})) << "scans publish again";
}

TEST(ScannerFaults, AScannerOutlivesItsDriverManagerAndServesTheNextOne) {
  ScopedSubreaper reaper;
  ASSERT_TRUE(reaper.ok());
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--volume", "2.5", "--interval", "200"}));

  // The old driver manager: a shell that starts the scanner and is then killed.
  const fs::path link = kestrum::dm::ScannerLinkPath("parvex");
  fs::create_directories(link.parent_path());
  fs::create_symlink(PARVEX_SC_PROGRAM, link);
  const fs::path pid_file = rig.instance().root() / "scanner.pid";
  kestrum::ProcessId shell = 0;
  ASSERT_EQ(kestrum::SpawnProcess({"/bin/sh", "-c",
                                   "'" + link.string() + "' 1 & echo $! > '" + pid_file.string() +
                                       "'; exec sleep 60"},
                                  nullptr, &shell),
            0);
  kestrum::ProcessId scanner = 0;
  // Whatever fails below, neither the shell nor the orphaned scanner outlives the test.
  const std::shared_ptr<void> cleanup(nullptr, [&](void*) {
    for (kestrum::ProcessId pid : {shell, scanner}) {
      if (pid > 0 && kestrum::WaitProcess(pid, 0, nullptr) != 0) {
        kestrum::EndProcess(pid);
        kestrum::WaitProcess(pid, 5000, nullptr);
      }
    }
  });
  ASSERT_TRUE(ScannerRig::WaitFor(
      [&] {
        std::ifstream in(pid_file);
        return static_cast<bool>(in >> scanner) && scanner > 0;
      },
      10000));
  auto ready = [&] {
    return rig.device()->scanner_ready == 1 && rig.device()->operation_in_progress == 0;
  };
  ASSERT_TRUE(ScannerRig::WaitFor(ready, 15000)) << rig.error_message();
  auto post = [&](int32_t code) { kestrum::PostToProcess(static_cast<uint32_t>(scanner), code); };
  ASSERT_TRUE(ScanReplacesMarker(rig, 0, [&] { post(kestrum::kMessageScan); }));

  kestrum::EndProcess(shell);
  ASSERT_EQ(kestrum::WaitProcess(shell, 5000, nullptr), 0);
  shell = 0;

  // Nothing is lost: still attached, still ready, still publishing the same reading...
  EXPECT_EQ(kestrum::WaitProcess(scanner, 0, nullptr), -1) << "the scanner ended with its parent";
  EXPECT_EQ(rig.device()->scanner_attached, 1);
  EXPECT_EQ(rig.device()->scanner_pid, static_cast<uint32_t>(scanner));
  EXPECT_TRUE(ChannelValid(rig, 0));
  // ...and the requests of the next driver manager are served: scans, an operation, a stop.
  EXPECT_TRUE(ScanReplacesMarker(rig, 0, [&] { post(kestrum::kMessageScan); }));
  EXPECT_EQ(rig.table().values[0], 2.5f);
  post(kestrum::kMessageReconfigure);
  EXPECT_TRUE(ScanReplacesMarker(rig, 0, [&] { post(kestrum::kMessageScan); }));
  EXPECT_EQ(rig.error_message(), "");
  post(kestrum::kMessageStop);
  int status = -1;
  EXPECT_EQ(kestrum::WaitProcess(scanner, 10000, &status), 0);
  if (status != -1) scanner = 0;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rig.device()->scanner_attached, 0);
}
#endif  // _WIN32

// Sends `length` bytes as one datagram to `slot`, retrying while the mailslot is full.
bool SendDatagram(int slot, const std::vector<uint8_t>& bytes) {
  for (int tries = 0; tries < 2000; ++tries) {
    if (kestrum::WriteExactly(slot, bytes.data(), bytes.size()) ==
        static_cast<long>(bytes.size())) {
      return true;
    }
    if (kestrum::GetErrorNumber() != EAGAIN) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

bool IsKnownCode(int32_t code) {
  for (int32_t known : {0, 31, 32, 300, 302, 303, 304, 305}) {
    if (code == known) return true;
  }
  return false;
}

TEST(ScannerFaults, GarbageDatagramsOfEveryLengthAreIgnoredAndAStopStillWorks) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_TRUE(StartRig(rig, {"--volume", "2.5", "--interval", "200"}));
  ASSERT_TRUE(ScannerRig::WaitFor([&] { return ChannelValid(rig, 0); }, 10000));

  const kestrum::ProcessId scanner = rig.scanner_pid();
  const int slot = kestrum::OpenMailslotForWriting(
      kestrum::ProcessMailslotName(static_cast<uint32_t>(scanner), 2));
  ASSERT_GE(slot, 0);
  std::mt19937 random(7);
  // Every length up to 600 bytes, some large ones, and unknown 4-byte codes.
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 600; ++n) lengths.push_back(n);
  for (size_t n : {1023u, 1024u, 1025u, 4095u, 4096u, 4097u, 65000u}) lengths.push_back(n);
  for (int i = 0; i < 200; ++i) lengths.push_back(4);
  for (size_t n : lengths) {
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    if (n == 4) {
      int32_t code;
      do {
        code = static_cast<int32_t>(random());
      } while (IsKnownCode(code));
      std::memcpy(bytes.data(), &code, sizeof code);
    }
    ASSERT_TRUE(SendDatagram(slot, bytes)) << n << " bytes: errno " << kestrum::GetErrorNumber();
  }
  kestrum::CloseMailslotHandle(slot);

  EXPECT_EQ(kestrum::WaitProcess(rig.scanner_pid(), 0, nullptr), -1);
  EXPECT_EQ(rig.device()->scanner_attached, 1);
  EXPECT_TRUE(ScanReplacesMarker(rig, 0, nullptr));
  EXPECT_EQ(rig.error_message(), "");
  rig.StopPump();
  ASSERT_EQ(rig.Post(kestrum::kMessageStop), 0);
  EXPECT_EQ(rig.WaitExit(10000), 0);
}

}  // namespace
}  // namespace parvex_test
