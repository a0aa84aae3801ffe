// The process readers behind the benchmarks' CPU and memory figures, checked on this process.
#include "bench/process_usage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/own_process.h"

namespace parvex_bench {
namespace {

pid_t Self() { return static_cast<pid_t>(kestrum::OwnProcessId()); }

// Spins on the calling thread for `ms` milliseconds of wall time.
void Spin(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::atomic<unsigned> sink{0};
  while (std::chrono::steady_clock::now() < end) sink.fetch_add(1, std::memory_order_relaxed);
}

TEST(ProcessUsage, CpuTimeCountsEveryThreadOfTheProcess) {
  const CpuTime before = ReadCpuTime(Self());
  ASSERT_TRUE(before.ok);
  // The work is done by a second thread only: a reader that looked at the main thread alone
  // would see nothing.
  std::thread worker([] { Spin(300); });
  worker.join();
  const CpuTime after = ReadCpuTime(Self());
  ASSERT_TRUE(after.ok);
  // The thread ran for 300 ms of wall time; on a busy machine it may have had far less of a
  // core, but never none.
  EXPECT_GT(after.precise - before.precise, 0.01);
  EXPECT_GE(after.ticks, before.ticks);
  EXPECT_LT(after.precise - before.precise, 5.0);
}

TEST(ProcessUsage, MissingProcessIsReportedNotInvented) {
  // Process ids above Linux's pid_max never exist; Windows hands out small multiples of 4.
  const pid_t missing = 0x3FFFFFFF;
  EXPECT_FALSE(ReadCpuTime(missing).ok);
  EXPECT_EQ(ReadResidentKb(missing), -1);
}

TEST(ProcessUsage, ResidentMemoryGrowsWithTouchedPages) {
  const long before = ReadResidentKb(Self());
  ASSERT_GT(before, 0);
  constexpr std::size_t kBytes = 32u << 20;
  std::unique_ptr<char[]> block(new char[kBytes]);
  std::memset(block.get(), 1, kBytes);
  const long after = ReadResidentKb(Self());
  EXPECT_GE(after - before, static_cast<long>(kBytes / 1024) * 3 / 4);
  EXPECT_EQ(block[kBytes - 1], 1);
}

TEST(ProcessUsage, CorePercentIsCpuSecondsOverWallSeconds) {
  EXPECT_DOUBLE_EQ(CorePercent(1.0, 1.5, 10.0), 5.0);
  EXPECT_DOUBLE_EQ(CorePercent(2.0, 2.0, 10.0), 0.0);
  // No wall time: no share rather than a division by zero.
  EXPECT_DOUBLE_EQ(CorePercent(1.0, 2.0, 0.0), 0.0);
}

}  // namespace
}  // namespace parvex_bench
