#include "scanner/serial_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "counter_test_util.h"
#include "platform/error_number.h"
#include "platform/own_process.h"
#include "platform/pseudo_terminal.h"
#include "runtime/driver_link.h"
#include "test_util.h"

namespace parvex {
namespace {

// Port names of this file: above COM32, which wine points back at /dev/ttyS* when it starts,
// and used by no other test file.
constexpr char kPort[] = "COM50";
constexpr uint16_t kDefaultPortDevice = 51;  // a device number whose default port name is COM51

// A wait for bytes that records what it was asked, runs the test's script and reports either
// the whole wait (nothing arrived) or none of it (bytes came); `elapsed` overrides that.
struct Steps {
  static int& count() {
    static int n = 0;
    return n;
  }
  static std::vector<int>& asked() {
    static std::vector<int> v;
    return v;
  }
  static std::function<void(int)>& script() {
    static std::function<void(int)> f;
    return f;
  }
  static std::function<int(int, int)>& elapsed() {
    static std::function<int(int, int)> f;
    return f;
  }
  static int Wait(const kestrum::SerialPort& port, int ms) {
    ++count();
    asked().push_back(ms);
    if (script()) script()(count());
    if (elapsed()) return elapsed()(count(), ms);
    // Lets bytes written by the script arrive; a silent line returns at once, as the wait's
    // length is what is under test, not the clock.
    int ready = port.Poll(-1, script() ? ms : 0);
    return ready > 0 ? 0 : ms;
  }
  static void Reset() {
    count() = 0;
    asked().clear();
  }
};

class SerialLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    Steps::Reset();
    Steps::script() = nullptr;
    Steps::elapsed() = nullptr;
    ASSERT_EQ(pty_.Create(/*raw=*/false), 0);
    ASSERT_EQ(kestrum::PublishPortAlias(kPort, pty_.slave_path()), 0);
    ASSERT_EQ(link_.Open(&device_), 0);
  }

  // Writes `bytes` and waits until the port has all of them, so one refill takes them at once.
  void Send(const std::string& bytes) {
    ASSERT_EQ(pty_.Write(bytes), 0);
    for (int i = 0; i < 200 && link_.BytesWaiting() < static_cast<int>(bytes.size()); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  std::string Read(int capacity = 300, int timeout_ms = 1000) {
    std::string dest(static_cast<std::size_t>(capacity), 'Z');
    int got = link_.ReadUntil(dest.data(), '\a', capacity, timeout_ms);
    for (std::size_t i = static_cast<std::size_t>(got); i < dest.size(); ++i) {
      EXPECT_EQ(dest[i], '\0') << "zeroed up to the capacity";
    }
    return dest.substr(0, static_cast<std::size_t>(got));
  }

  parvex_test::ScopedInstance instance_;
  kestrum::PseudoTerminal pty_;
  kestrum::DeviceRecord device_ = parvex_test::CounterDeviceRecord(kPort);
  SerialLink link_{Steps::Wait};
};

TEST_F(SerialLinkTest, BytesAfterTheTerminatorComeBeforeNewOnes) {
  Send("one\atwo\athr");
  EXPECT_EQ(Read(), "one\a");
  EXPECT_EQ(link_.buffered(), 7);
  EXPECT_EQ(Read(), "two\a");
  Steps::script() = [&](int step) {
    if (step == 1) {
      ASSERT_EQ(pty_.Write("ee\a"), 0);
    }
  };
  EXPECT_EQ(Read(), "three\a");
}

TEST_F(SerialLinkTest, ReadsAcrossRefillsOfAHundredBytes) {
  std::string report = counter_sim::FormatReport(parvex_test::CannedSample());
  ASSERT_GT(report.size(), 200u);
  Send(report + "next");
  EXPECT_EQ(Read(1000), report);
  EXPECT_EQ(Read(1000, 10), "next") << "a time-out ends the read with what came";
}

TEST_F(SerialLinkTest, ANulHidesATerminatorLaterInTheSameChunk) {
  Send(std::string("ab\0c\ad", 6));
  Steps::script() = [&](int step) {
    if (step == 1) {
      ASSERT_EQ(pty_.Write("xy\az"), 0);
    }
  };
  EXPECT_EQ(Read(), std::string("ab\0c\adxy\a", 9));
  EXPECT_EQ(link_.buffered(), 1);
}

TEST_F(SerialLinkTest, CapacityEndsTheReadAndKeepsTheRest) {
  Send("0123456789");
  EXPECT_EQ(Read(4), "0123");
  EXPECT_EQ(Read(0), "") << "capacity 0 consumes nothing";
  EXPECT_EQ(link_.buffered(), 6);
  EXPECT_EQ(Steps::count(), 0);
  EXPECT_EQ(Read(300, 10), "456789");
}

TEST_F(SerialLinkTest, TimeOutCountsPollingStepsOfTwoMilliseconds) {
  using Asked = std::vector<int>;
  // A silent line is waited for in one sleep of all the steps.
  EXPECT_EQ(Read(300, 1000), "");
  EXPECT_EQ(Steps::asked(), Asked{1000});
  Steps::Reset();
  EXPECT_EQ(Read(300, 3), "");
  EXPECT_EQ(Steps::asked(), Asked{4}) << "3 ms is two steps";
  Steps::Reset();
  EXPECT_EQ(Read(300, 0), "");
  EXPECT_EQ(Steps::count(), 0);
  // Capacity 0 with an empty buffer still waits for a refill first.
  Steps::Reset();
  EXPECT_EQ(Read(0, 20), "");
  EXPECT_EQ(Steps::asked(), Asked{20});

  // Waits cut short by requests are charged every step they began, at least one.
  Steps::Reset();
  Steps::elapsed() = [](int call, int ms) { return call == 1 ? 3 : call == 2 ? 0 : ms; };
  EXPECT_EQ(Read(300, 20), "");
  EXPECT_EQ(Steps::asked(), (Asked{20, 16, 14}));
  // A request every wait still ends the time-out after as many waits as there are steps.
  Steps::Reset();
  Steps::elapsed() = [](int, int) { return 0; };
  EXPECT_EQ(Read(300, 1000), "");
  EXPECT_EQ(Steps::count(), 500);
  // A time-out near the largest int neither overflows nor waits for ever in one piece.
  Steps::Reset();
  Steps::elapsed() = [](int, int ms) { return ms; };
  EXPECT_EQ(Read(300, std::numeric_limits<int>::max()), "");
  ASSERT_EQ(Steps::count(), 2);
  EXPECT_EQ(Steps::asked()[0], 1 << 30);
  EXPECT_EQ(Steps::asked()[1], 1 << 30);
}

TEST_F(SerialLinkTest, HangUpEndsTheReadWithoutWaiting) {
  Send("10:20");
  Steps::script() = [&](int step) {
    if (step == 1) pty_.HangUp();
  };
  EXPECT_EQ(Read(300, 1000), "10:20");
  EXPECT_EQ(Steps::count(), 1);
  EXPECT_TRUE(link_.hung_up());
  Steps::count() = 0;
  EXPECT_EQ(Read(300, 1000), "");
  EXPECT_EQ(Steps::count(), 0) << "no polling of a dead line";
}

TEST(SerialLinkOpen, EmptyPortNameBecomesTheDefaultsInTheRecord) {
  parvex_test::ScopedInstance instance;
  kestrum::PseudoTerminal pty;
  ASSERT_EQ(pty.Create(false), 0);
  ASSERT_EQ(kestrum::PublishPortAlias("COM51", pty.slave_path()), 0);
  kestrum::DeviceRecord device = parvex_test::CounterDeviceRecord("", kDefaultPortDevice);
  device.config.comm.BaudRate = 1;
  device.config.comm.Parity = 7;
  device.config.comm.DataBits = 2;
  SerialLink link(Steps::Wait);
  ASSERT_EQ(link.Open(&device), 0);
  EXPECT_STREQ(device.config.comm.PortName, "COM51");
  EXPECT_EQ(device.config.comm.BaudRate, 9600);
  EXPECT_EQ(device.config.comm.Parity, 0u);
  EXPECT_EQ(device.config.comm.DataBits, 8);

  // Settings the line cannot take close the port again.
  device.config.comm.DataBits = 9;
  EXPECT_EQ(link.Open(&device), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), EINVAL);
  EXPECT_FALSE(link.is_open());

  // A device number whose default name does not fit the record is refused.
  kestrum::DeviceRecord big = parvex_test::CounterDeviceRecord("", 65535);
  EXPECT_EQ(link.Open(&big), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), ENAMETOOLONG);
  EXPECT_STREQ(big.config.comm.PortName, "");

  // A name filling all eight bytes without a NUL is too long, not read past.
  kestrum::DeviceRecord full = parvex_test::CounterDeviceRecord("");
  std::memcpy(full.config.comm.PortName, "COM12345", 8);
  EXPECT_EQ(link.Open(&full), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), ENAMETOOLONG);
}

}  // namespace
}  // namespace parvex

namespace parvex {
namespace {

std::atomic<long long> g_dispatched_at{0};

long long NowNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

TEST(SerialLinkWait, OpensTheDriverLinkGateWhileWaitingForBytes) {
  parvex_test::ScopedInstance instance;
  std::filesystem::create_directories(instance.rundir() / "mailslot");
  kestrum::PseudoTerminal pty;
  ASSERT_EQ(pty.Create(false), 0);
  ASSERT_EQ(kestrum::PublishPortAlias(kPort, pty.slave_path()), 0);
  kestrum::DeviceRecord device = parvex_test::CounterDeviceRecord(kPort);
  SerialLink link;  // the real wait
  ASSERT_EQ(link.Open(&device), 0);
  g_dispatched_at = 0;
  kestrum::StartDriverLink([](int32_t) { g_dispatched_at = NowNs(); });
  ASSERT_EQ(kestrum::HoldDriverMessages(1), 0);

  // A request posted while the gate is closed can only be served inside the link's waits.
  std::thread poster([] { kestrum::PostToProcess(kestrum::OwnProcessId(), 300); });
  char dest[16];
  EXPECT_EQ(link.ReadUntil(dest, '\a', sizeof dest, 200), 0);
  long long read_ended = NowNs();
  kestrum::HoldDriverMessages(0);
  poster.join();
  kestrum::StopDriverLink();
  ASSERT_NE(g_dispatched_at.load(), 0);
  EXPECT_LT(g_dispatched_at.load(), read_ended);
}

}  // namespace
}  // namespace parvex
