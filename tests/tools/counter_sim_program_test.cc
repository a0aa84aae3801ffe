// Runs the counter_sim program on a pseudo-terminal of its own instance and reads what it sends.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "test_util.h"

namespace {

using Clock = std::chrono::steady_clock;

class CounterSimProgram : public testing::Test {
 protected:
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  void Start(std::vector<std::string> args) {
    args.insert(args.begin(), COUNTER_SIM_PROGRAM);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }

  // Waits up to five seconds for `path` to exist (or, with `gone`, to disappear).
  static bool WaitForPath(const std::filesystem::path& path, bool gone = false) {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      std::error_code ec;
      if (std::filesystem::is_symlink(path, ec) != gone ||
          std::filesystem::exists(path, ec) != gone) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Collects bytes from the port until `count` BELs came, for at most five seconds.
  std::string ReadReports(kestrum::SerialPort& port, int count) {
    std::string got;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (std::count(got.begin(), got.end(), '\a') < count && Clock::now() < deadline) {
      port.Poll(-1, 50);
      char buf[256];
      long n = port.Read(buf, sizeof buf);
      if (n < 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

  parvex_test::ScopedInstance instance_;
  pid_t pid_ = -1;
};

TEST_F(CounterSimProgram, TakesFaultsFromItsFifoAndCleansUpOnSigterm) {
  Start({"--port", "COM5", "--interval", "150", "--ports", "3,4", "--no-stdin"});
  auto alias = instance_.rundir() / "dev" / "COM5";
  auto fifo = instance_.rundir() / "counter_sim" / "COM5.ctl";
  ASSERT_TRUE(WaitForPath(alias));
  ASSERT_TRUE(WaitForPath(fifo));
  kestrum::SerialPort port;
  ASSERT_EQ(port.Open("COM5", {9600, kestrum::kSerialParityNone, 8}), 0);

  int control = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(control, 0);
  ASSERT_EQ(write(control, "badheader\n", 10), 10);
  close(control);
  std::string got = ReadReports(port, 3);
  EXPECT_NE(got.find("ID: PORT"), std::string::npos) << got;
  EXPECT_NE(got.find("ID= PORT 3"), std::string::npos) << "ports are printed in turn";
  EXPECT_NE(got.find("ID= PORT 4"), std::string::npos);

  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  int status = -1;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (waitpid(pid_, &status, WNOHANG) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::error_code ec;
  EXPECT_FALSE(std::filesystem::is_symlink(alias, ec));
  EXPECT_FALSE(std::filesystem::exists(fifo, ec));
}

TEST_F(CounterSimProgram, HangsUpAndComesBackOnANewTerminal) {
  Start({"--port", "COM6", "--interval", "100", "--fault", "hangup", "--hangup", "0.3",
         "--no-stdin", "--no-fifo"});
  auto alias = instance_.rundir() / "dev" / "COM6";
  ASSERT_TRUE(WaitForPath(alias));
  kestrum::SerialPort port;
  ASSERT_EQ(port.Open("COM6", {9600, kestrum::kSerialParityNone, 8}), 0);
  ASSERT_EQ(port.Poll(-1, 5000), kestrum::SerialPort::kPortReady);
  EXPECT_EQ(port.BytesWaiting(), -1);
  EXPECT_TRUE(port.hung_up());

  // Reopen by name until the alias leads to the new terminal.
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (port.Open("COM6", {9600, kestrum::kSerialParityNone, 8}) != 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(port.is_open());
  std::string got = ReadReports(port, 1);
  EXPECT_NE(got.find("SAMPLE VOL="), std::string::npos) << got;
}

}  // namespace
