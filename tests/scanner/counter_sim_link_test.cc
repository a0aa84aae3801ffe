// The counter input against the running simulator: a scan loop that reopens the port after a
// failure, as the scanner's recovery does, follows the simulator through its faults.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "counter_test_util.h"
#include "platform/error_number.h"
#include "scanner/counter_input.h"
#include "test_util.h"
#include "tools/counter_sim/simulator.h"

namespace parvex {
namespace {

using Clock = std::chrono::steady_clock;
using parvex_test::RecordedServices;

TEST(CounterInputWithSimulator, FollowsABadReportAHangUpAndTheReturnOfTheLine) {
  parvex_test::ScopedInstance instance;
  counter_sim::Options options;
  options.port = "COM2";
  options.interval_ms = 100;
  options.faults = {counter_sim::Fault::kElevenNumbers, counter_sim::Fault::kHangUp};
  options.hangup_s = 0.3;
  options.control_fifo = false;
  options.read_stdin = false;
  std::ostringstream log;
  std::atomic<int> stop{0};  // read by the simulator thread
  counter_sim::Simulator simulator(options, log);
  std::thread sim([&] { simulator.Run(&stop); });

  RecordedServices services;
  CounterInput input;
  input.set_services(&services);
  kestrum::DeviceRecord device = parvex_test::CounterDeviceRecord("COM2");
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (input.OpenPort(&device) != 0 && Clock::now() < deadline) usleep(10000);

  kestrum::ChannelConfigRecord channel = parvex_test::CounterChannel(kestrum::kFieldVolume);
  bool bad_report = false, hung_up = false, good_after_return = false;
  while (!good_after_return && Clock::now() < deadline) {
    uint32_t status = 0x20;
    float value = 0;
    int result = input.Scan({1, &channel, &status, &value, nullptr});
    if (result == 0 && status == 0) {
      good_after_return = hung_up;
      EXPECT_FLOAT_EQ(value, 1.0f);
    } else if (result == -1 && kestrum::GetErrorNumber() == kestrum::kSerialHangUp) {
      hung_up = true;
      while (input.OpenPort(&device) != 0 && Clock::now() < deadline) usleep(20000);
    } else if (result == -1) {
      bad_report = !services.errors.empty() && services.errors.back() == "BAD FORMAT IN LINE 1";
    }
  }
  stop.store(1);
  sim.join();
  EXPECT_TRUE(bad_report) << log.str();
  EXPECT_TRUE(hung_up) << log.str();
  EXPECT_TRUE(good_after_return) << log.str();
  EXPECT_FALSE(std::filesystem::is_symlink(instance.rundir() / "dev" / "COM2"));
}

}  // namespace
}  // namespace parvex
