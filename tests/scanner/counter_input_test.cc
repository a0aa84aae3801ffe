// The counter input over a pseudo-terminal: what a scan makes of good reports and of every fault
// the counter simulator can send.
#include "scanner/counter_input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "counter_test_util.h"
#include "platform/error_number.h"
#include "platform/pseudo_terminal.h"
#include "test_util.h"
#include "tools/counter_sim/counter_report.h"

namespace parvex {
namespace {

using counter_sim::Fault;
using parvex_test::CannedSample;
using parvex_test::CounterChannel;
using parvex_test::RecordedServices;

constexpr uint32_t kFreshStatus = 0x20 | 0x80;

// Port names of this file: above COM32, which wine points back at /dev/ttyS* when it starts,
// and used by no other test file.
constexpr char kPort[] = "COM52";
constexpr char kDevicePort[] = "COM53";

class CounterInputTest : public testing::Test {
 protected:
  void SetUp() override {
    input_.set_services(&services_);
    channels_ = {
        CounterChannel(kestrum::kFieldValue, 0, kestrum::kValue03To05),
        CounterChannel(kestrum::kFieldValue, 2, kestrum::kValueRH),
        CounterChannel(kestrum::kFieldPort),
        CounterChannel(kestrum::kFieldTime),
        CounterChannel(kestrum::kFieldDate),
        CounterChannel(kestrum::kFieldVolume),
        CounterChannel(kestrum::kFieldValue, 2, kestrum::kValueRH, /*enabled=*/false),
    };
    status_.assign(channels_.size(), kFreshStatus);
    values_.assign(channels_.size(), -1.0f);
    fresh_.assign(channels_.size(), 9);
    Connect();
  }

  // A new pseudo-terminal behind alias kPort, opened by the input.
  void Connect() {
    ASSERT_EQ(pty_.Create(/*raw=*/false), 0);
    ASSERT_EQ(kestrum::PublishPortAlias(kPort, pty_.slave_path()), 0);
    ASSERT_EQ(input_.OpenPort(&device_), 0);
  }

  int Scan() {
    return input_.Scan({static_cast<uint16_t>(channels_.size()), channels_.data(), status_.data(),
                        values_.data(), fresh_.data()});
  }

  void Send(const std::string& bytes) { ASSERT_EQ(pty_.Write(bytes), 0); }

  // Expects the channels to be as SetUp left them.
  void ExpectUntouched() {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
      EXPECT_EQ(status_[i], kFreshStatus) << i;
      EXPECT_FLOAT_EQ(values_[i], -1) << i;
      EXPECT_EQ(fresh_[i], 0) << i;
    }
  }

  // Expects one malformed report: -1, its message reported once and traced after the text.
  void ExpectRejected(const std::string& message) {
    services_ = RecordedServices();
    EXPECT_EQ(Scan(), -1);
    ASSERT_EQ(services_.errors, std::vector<std::string>{message});
    ASSERT_EQ(services_.traces.size(), 2u);
    EXPECT_EQ(services_.traces[1], message + "\r\n");
    EXPECT_EQ(services_.clears, 0);
    ExpectUntouched();
  }

  parvex_test::ScopedInstance instance_;
  kestrum::PseudoTerminal pty_;
  kestrum::DeviceRecord device_ = parvex_test::CounterDeviceRecord(kPort);
  RecordedServices services_;
  CounterInput input_;
  std::vector<kestrum::ChannelConfigRecord> channels_;
  std::vector<uint32_t> status_;
  std::vector<float> values_;
  std::vector<uint8_t> fresh_;
};

TEST_F(CounterInputTest, TwoReportsInOneChunkAndTheAnnouncedPort) {
  counter_sim::Sample second = CannedSample(2);
  second.values[kestrum::kValueRH] = 33.5;
  Send(counter_sim::FormatReport(CannedSample(2)) + counter_sim::FormatReport(second));

  // First report after opening: port 0 listeners and the other fields, PORT shows 0.
  ASSERT_EQ(Scan(), 0);
  EXPECT_EQ(services_.clears, 1);
  ASSERT_EQ(services_.traces.size(), 1u);
  EXPECT_EQ(services_.traces[0] + "\a", counter_sim::FormatReport(CannedSample(2)));
  EXPECT_EQ(fresh_, (std::vector<uint8_t>{1, 0, 1, 1, 1, 1, 0}));
  EXPECT_FLOAT_EQ(values_[0], 1000);
  EXPECT_EQ(status_[0], 0x80u);
  EXPECT_EQ(status_[1], kFreshStatus);
  EXPECT_FLOAT_EQ(values_[2], 0);
  EXPECT_FLOAT_EQ(values_[3], 102030);
  EXPECT_FLOAT_EQ(values_[4], 123199);
  EXPECT_FLOAT_EQ(values_[5], 2.5f);
  EXPECT_EQ(input_.remembered_port(), 2);

  // The second report was already buffered: the header's port 2 now applies.
  ASSERT_EQ(Scan(), 0);
  EXPECT_EQ(fresh_, (std::vector<uint8_t>{0, 1, 1, 1, 1, 1, 0}));
  EXPECT_FLOAT_EQ(values_[1], 33.5f);
  EXPECT_FLOAT_EQ(values_[2], 2);
  EXPECT_FLOAT_EQ(values_[6], -1);

  // Opening the port again forgets the announced port.
  ASSERT_EQ(input_.OpenPort(&device_), 0);
  EXPECT_EQ(input_.remembered_port(), 0);
}

TEST_F(CounterInputTest, MalformedReportsFailWithTheirMessageAndAGoodOneClearsIt) {
  const counter_sim::Sample s = CannedSample();
  Send(counter_sim::FormatFaultyReport(s, Fault::kElevenNumbers));
  ExpectRejected("BAD FORMAT IN LINE 1");
  Send(counter_sim::FormatFaultyReport(s, Fault::kMissingCrLf));
  ExpectRejected("MISSING END OF LINE");
  Send(counter_sim::FormatFaultyReport(s, Fault::kBadHeader));
  ExpectRejected("BAD FORMAT IN LINE 2");
  EXPECT_EQ(input_.remembered_port(), 0) << "a rejected header announces nothing";

  // Noise: its NUL ends the text, so only the noise before it is traced.
  Send(counter_sim::FormatFaultyReport(s, Fault::kLineNoise, 7));
  ExpectRejected("BAD FORMAT IN LINE 1");
  EXPECT_EQ(services_.traces[0].size(), 5u);

  services_ = RecordedServices();
  Send(counter_sim::FormatReport(s));
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(services_.clears, 1);
  EXPECT_TRUE(services_.errors.empty());
  EXPECT_FLOAT_EQ(values_[0], 1000);
}

TEST_F(CounterInputTest, SilenceIsNotAFailureAndChangesNothing) {
  EXPECT_EQ(Scan(), 0);
  ExpectUntouched();
  EXPECT_TRUE(services_.traces.empty());
  EXPECT_TRUE(services_.errors.empty());
  EXPECT_EQ(services_.clears, 0);
}

TEST_F(CounterInputTest, AReportWithoutBelIsTakenAfterTheSecondReadLosingItsLastByte) {
  Send(counter_sim::FormatFaultyReport(CannedSample(), Fault::kNoBel));
  ASSERT_EQ(Scan(), 0);
  std::string sent = counter_sim::FormatFaultyReport(CannedSample(), Fault::kNoBel);
  ASSERT_EQ(services_.traces.size(), 1u);
  EXPECT_EQ(services_.traces[0], sent.substr(0, sent.size() - 1));
  EXPECT_FLOAT_EQ(values_[5], 2.5f) << "2.50 cut to 2.5";
}

TEST_F(CounterInputTest, AThousandBytesWithoutBelAreCutWithoutASecondRead) {
  std::string text = "10:20:30 1 2 3 4 5 6 7 8 9\r\n";
  text += std::string(1000 - text.size(), 'x');
  Send(text + "tail\a");
  ExpectRejected("MISSING END OF LINE");
  EXPECT_EQ(services_.traces[0], text.substr(0, 999));
  // The five bytes after the cut were not consumed by a second read.
  for (int i = 0; i < 100 && input_.link().BytesWaiting() + input_.link().buffered() < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(input_.link().BytesWaiting() + input_.link().buffered(), 5);
}

TEST_F(CounterInputTest, SlowFragmentsMakeOneReport) {
  const std::string report = counter_sim::FormatReport(CannedSample());
  std::thread sender([&] {
    for (const std::string& part : counter_sim::SplitIntoFragments(report, 4)) {
      pty_.Write(part);
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  });
  int result = Scan();
  sender.join();
  ASSERT_EQ(result, 0);
  ASSERT_EQ(services_.traces.size(), 1u);
  EXPECT_EQ(services_.traces[0] + "\a", report);
  EXPECT_FLOAT_EQ(values_[0], 1000);
}

TEST_F(CounterInputTest, HangUpInMidReportFailsUntilThePortIsOpenedAgain) {
  const std::string report = counter_sim::FormatReport(CannedSample());
  // The line goes away while the scan waits for the rest of the report.
  Send(report.substr(0, 120));
  std::thread line([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pty_.HangUp();
  });
  int result = Scan();
  line.join();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), kestrum::kSerialHangUp);
  EXPECT_TRUE(services_.errors.empty()) << "the caller reports the failed scan";
  ASSERT_EQ(services_.traces.size(), 2u);
  EXPECT_EQ(services_.traces[0], report.substr(0, 119));
  EXPECT_EQ(services_.traces[1], "LINE HUNG UP\r\n");
  ExpectUntouched();
  // A dead line fails at once instead of waiting out a time-out.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Scan(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  Connect();
  Send(report);
  EXPECT_EQ(Scan(), 0);
  EXPECT_FLOAT_EQ(values_[0], 1000);
}

TEST_F(CounterInputTest, ClosedPortFails) {
  input_.ClosePort();
  EXPECT_EQ(Scan(), -1);
  EXPECT_EQ(kestrum::GetErrorNumber(), EBADF);
  ExpectUntouched();
}

TEST(CounterDevice, ScansTheAnalogInputsFromItsInputWithoutFreshFlags) {
  parvex_test::ScopedInstance instance;
  kestrum::PseudoTerminal pty;
  ASSERT_EQ(pty.Create(false), 0);
  ASSERT_EQ(kestrum::PublishPortAlias(kDevicePort, pty.slave_path()), 0);
  kestrum::DeviceRecord device = parvex_test::CounterDeviceRecord(kDevicePort);
  CounterInput input;
  CounterDevice handlers(&input);
  ASSERT_EQ(handlers.OpenPort(&device), 0);
  ASSERT_EQ(pty.Write(counter_sim::FormatReport(CannedSample())), 0);
  kestrum::ChannelConfigRecord channel = CounterChannel(kestrum::kFieldVolume);
  uint32_t status = 0x20;
  float value = 0;
  EXPECT_EQ(handlers.Scan(kestrum::kKindAnalogInput, &device.config, 1, &channel, &status, &value),
            0);
  EXPECT_FLOAT_EQ(value, 2.5f);
  EXPECT_EQ(status, 0u);
  handlers.ClosePort();
}

}  // namespace
}  // namespace parvex
