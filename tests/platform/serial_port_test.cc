#include "platform/serial_port.h"

#ifndef _WIN32
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error_number.h"
#include "platform/pseudo_terminal.h"
#include "platform/wake_descriptor.h"
#ifndef _WIN32
#include "test_util.h"
#endif

// Under wine the pseudo-terminals come from scripts/serial-bridge.py (started by
// scripts/wine-run.sh) and port aliases are links in the prefix's dosdevices folder, so the
// port names here are above COM32, which wine re-points at /dev/ttyS* when it starts.

namespace kestrum {

// Failure messages show the settings by name.
void PrintTo(const PtyLineSettings& s, std::ostream* os) {
  *os << s.baud_rate << " baud, " << s.stop_bits << " stop bits, flow control " << s.flow_control
      << ", canonical " << s.canonical;
}

namespace {

#ifndef _WIN32

// A canonical, echoing terminal as a fresh pseudo-terminal slave starts out.
termios CookedTerminal() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IMAXBEL | INPCK;
  t.c_oflag = OPOST | ONLCR;
  t.c_cflag = CS7 | CREAD | CSTOPB | HUPCL | CRTSCTS;
  t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  return t;
}

TEST(SerialTermios, DataBitsParityAndStopBitsAsLinuxExpectsThem) {
  struct Case {
    int parity;
    int data_bits;
    tcflag_t size;
    tcflag_t parity_bits;
  } cases[] = {
      {kSerialParityNone, 8, CS8, 0},
      {kSerialParityOdd, 7, CS7, PARENB | PARODD},
      {kSerialParityEven, 6, CS6, PARENB},
      {kSerialParityMark, 5, CS5, PARENB | PARODD | CMSPAR},
      {kSerialParitySpace, 8, CS8, PARENB | CMSPAR},
      {kSerialParityMark, 7, CS7, PARENB | PARODD | CMSPAR},
      // Only the low byte of each setting counts.
      {0x100 | kSerialParitySpace, 0x300 | 7, CS7, PARENB | CMSPAR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "parity " << c.parity << " bits " << c.data_bits);
    termios t{};
    ASSERT_EQ(ComputeSerialTermios(CookedTerminal(), {9600, c.parity, c.data_bits}, &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parity_bits);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | HUPCL), 0u);
  }
}

TEST(SerialTermios, RawNonBlockingAndAtTheConfiguredSpeed) {
  termios t{};
  ASSERT_EQ(ComputeSerialTermios(CookedTerminal(), {19200, kSerialParityNone, 8}, &t), 0);
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | INPCK | ISTRIP | PARMRK), 0u);
  EXPECT_NE(t.c_iflag & IGNBRK, 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(SerialPortPath, AliasFirstThenComNumberThenDevFolder) {
  parvex_test::ScopedInstance instance;
  EXPECT_EQ(SerialPortPath("COM3"), "/dev/ttyS2");
  EXPECT_EQ(SerialPortPath("COM12"), "/dev/ttyS11");
  EXPECT_EQ(SerialPortPath("COM0"), "/dev/COM0");
  EXPECT_EQ(SerialPortPath("COM3x"), "/dev/COM3x");
  EXPECT_EQ(SerialPortPath("ttyUSB0"), "/dev/ttyUSB0");
  // A dangling alias still wins: opening it fails instead of reaching another device.
  ASSERT_EQ(PublishPortAlias("COM3", "/nonexistent/pts"), 0);
  EXPECT_EQ(SerialPortPath("COM3"), (instance.rundir() / "dev" / "COM3").string());
  ASSERT_EQ(PublishPortAlias("COM3", "/nonexistent/pts2"), 0);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(instance.rundir() / "dev")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"COM3"}) << "republishing leaves no temporary";
  EXPECT_EQ(std::filesystem::read_symlink(instance.rundir() / "dev" / "COM3"), "/nonexistent/pts2");
}

#endif  // _WIN32

TEST(SerialTermios, UnrepresentableSettingsAreRefused) {
  const SerialSettings bad[] = {
      {0, kSerialParityNone, 8},     {-9600, kSerialParityNone, 8}, {9600, 5, 8},
      {9600, kSerialParityNone, 4},  {9600, kSerialParityNone, 9},
#ifndef _WIN32
      {14400, kSerialParityNone, 8},  // not a rate of a Linux line
#endif
  };
  for (const SerialSettings& s : bad) {
    SCOPED_TRACE(testing::Message() << s.baud_rate << " " << s.parity << " " << s.data_bits);
    SetErrorNumber(0);
    EXPECT_EQ(CheckSerialSettings(s), -1);
    EXPECT_EQ(GetErrorNumber(), EINVAL);
  }
  // Only the low byte of parity and data bits counts.
  EXPECT_EQ(CheckSerialSettings({115200, 0x100 | kSerialParitySpace, 0x300 | 7}), 0);
}

class PtyPort : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pty_.Create(/*raw=*/false), 0);
    ASSERT_EQ(PublishPortAlias("COM47", pty_.slave_path()), 0);
  }

  // Reads until `count` bytes came or a hang-up, for at most two seconds.
  std::string ReadBytes(std::size_t count) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      port_.Poll(-1, 50);
      char buf[64];
      long n = port_.Read(buf, sizeof buf);
      if (n < 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

#ifndef _WIN32
  parvex_test::ScopedInstance instance_;
#endif
  PseudoTerminal pty_;
  SerialPort port_;
};

TEST_F(PtyPort, ReceivesBelTerminatedReportByteExact) {
  ASSERT_EQ(port_.Open("COM47", {9600, kSerialParityNone, 8}), 0);
  // CR LF pairs, a BEL and a byte with the high bit set must all arrive unchanged, without a
  // newline at the end that a canonical terminal would wait for.
  const std::string report =
      "\r\n10:15:00 12 5 3 0 0 0 45.5 21.3 1.00\r\nline2\r\nline3\r\n"
      "12/31/99     ID= PORT 1            DIFF COUNT     SAMPLE VOL= 1.00 \xb0\x07";
  ASSERT_EQ(pty_.Write(report), 0);
  EXPECT_EQ(ReadBytes(report.size()), report);
  // An idle line reads nothing without counting as a hang-up.
  EXPECT_EQ(port_.BytesWaiting(), 0);
  char rest[8];
  EXPECT_EQ(port_.Read(rest, sizeof rest), 0);
  EXPECT_FALSE(port_.hung_up());
}

TEST_F(PtyPort, CountsWaitingBytesAndRestoresSettingsOnClose) {
  PtyLineSettings before;
  ASSERT_EQ(pty_.ReadLineSettings(&before), 0);
  ASSERT_EQ(port_.Open("COM47", {19200, kSerialParityOdd, 7}), 0);
  ASSERT_EQ(pty_.Write("abc\x07"), 0);
  ASSERT_EQ(port_.Poll(-1, 2000), SerialPort::kPortReady);
  EXPECT_EQ(port_.BytesWaiting(), 4);
  port_.Close();
  EXPECT_FALSE(port_.is_open());

  PtyLineSettings after;
  ASSERT_EQ(pty_.ReadLineSettings(&after), 0);
#ifdef _WIN32
  // Windows restores the DCB; the line discipline's modes are wine's business.
  after.canonical = before.canonical;
#else
  EXPECT_TRUE(after.canonical) << "the canonical settings found at open come back";
#endif
  EXPECT_EQ(after, before) << "the settings found at open come back";
}

// A pseudo-terminal keeps eight data bits and no parity, so only the rest of the line settings
// shows; every parity and data size must still be accepted by the line.
TEST_F(PtyPort, LineTakesTheConfiguredSpeedAndOneStopBitWithoutFlowControl) {
  const SerialSettings cases[] = {
      {9600, kSerialParityNone, 8}, {19200, kSerialParityOdd, 7},    {4800, kSerialParityEven, 6},
      {1200, kSerialParityMark, 5}, {115200, kSerialParitySpace, 8},
  };
  for (const SerialSettings& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud_rate << " " << c.parity << " " << c.data_bits);
    ASSERT_EQ(port_.Open("COM47", c), 0);
    PtyLineSettings line;
    ASSERT_EQ(pty_.ReadLineSettings(&line), 0);
    EXPECT_EQ(line.baud_rate, c.baud_rate);
    EXPECT_EQ(line.stop_bits, 1);
    EXPECT_FALSE(line.flow_control);
    EXPECT_FALSE(line.canonical);
    port_.Close();
  }
}

TEST_F(PtyPort, HangUpIsAFailureOfItsOwnAfterTheLastBytes) {
  ASSERT_EQ(port_.Open("COM47", {9600, kSerialParityNone, 8}), 0);
  ASSERT_EQ(pty_.Write("10:15"), 0);
  ASSERT_EQ(ReadBytes(5), "10:15");
  pty_.HangUp();

  // The hang-up wakes a poll at once instead of leaving the reader to time out.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Poll(-1, 5000), SerialPort::kPortReady);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(port_.BytesWaiting(), -1);
  EXPECT_EQ(GetErrorNumber(), kSerialHangUp);
  char buf[8];
  EXPECT_EQ(port_.Read(buf, sizeof buf), -1);
  EXPECT_EQ(GetErrorNumber(), kSerialHangUp);
  EXPECT_TRUE(port_.hung_up());

  // While the alias leads nowhere, opening by name fails; re-pointed, it is followed.
  ASSERT_EQ(PublishPortAlias("COM47", "/nonexistent/gone"), 0);
  EXPECT_EQ(port_.Open("COM47", {9600, kSerialParityNone, 8}), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  PseudoTerminal again;
  ASSERT_EQ(again.Create(false), 0);
  ASSERT_EQ(PublishPortAlias("COM47", again.slave_path()), 0);
  ASSERT_EQ(port_.Open("COM47", {9600, kSerialParityNone, 8}), 0);
  EXPECT_FALSE(port_.hung_up());
  ASSERT_EQ(again.Write("ok\x07"), 0);
  EXPECT_EQ(ReadBytes(3), "ok\x07");
}

TEST_F(PtyPort, PollWakesForTheOtherDescriptor) {
  ASSERT_EQ(port_.Open("COM47", {9600, kSerialParityNone, 8}), 0);
  EXPECT_EQ(port_.Poll(-1, 10), 0);
  const int wake = CreateWakeDescriptor();
  ASSERT_GE(wake, 0);
  RaiseWakeDescriptor(wake);
  EXPECT_EQ(port_.Poll(wake, 2000), SerialPort::kOtherReady);
  ASSERT_EQ(pty_.Write("y"), 0);
  EXPECT_EQ(port_.Poll(wake, 2000), SerialPort::kOtherReady | SerialPort::kPortReady);
  CloseWakeDescriptor(wake);
}

TEST_F(PtyPort, OpenFailuresLeaveNothingOpen) {
  SerialPort port;
  EXPECT_EQ(port.Open("COM12345", {}), -1);
  EXPECT_EQ(GetErrorNumber(), ENAMETOOLONG);
  for (const char* path : {"../tty", "..\\tty"}) {
    EXPECT_EQ(port.Open(path, {}), -1) << path;
    EXPECT_EQ(GetErrorNumber(), EINVAL) << path;
  }
  EXPECT_EQ(port.Open("COM47", {9600, kSerialParityNone, 9}), -1);
  EXPECT_EQ(GetErrorNumber(), EINVAL);
  EXPECT_FALSE(port.is_open());

  ASSERT_EQ(PublishPortAlias("COM48", "/nonexistent/pts"), 0);
  EXPECT_EQ(port.Open("COM48", {}), -1);
  EXPECT_EQ(GetErrorNumber(), ENOENT);

  // A device that is not a serial line.
  ASSERT_EQ(PublishPortAlias("COM49", "/dev/null"), 0);
  EXPECT_EQ(port.Open("COM49", {}), -1);
#ifndef _WIN32
  EXPECT_EQ(GetErrorNumber(), ENOTTY);
#endif
  EXPECT_FALSE(port.is_open());
  EXPECT_EQ(RemovePortAlias("COM49"), 0);
  EXPECT_EQ(RemovePortAlias("COM49"), 0);
}

}  // namespace
}  // namespace kestrum
