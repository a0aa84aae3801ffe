// How the real scanner refuses its command line, fails its start, and starts without its
// mailslot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/failure_text.h"
#include "platform/process.h"
#include "platform/shared_object.h"
#include "runtime/error_reporting.h"
#include "scanner_rig.h"
#ifndef _WIN32
#include "syslog_capture.h"
#endif

namespace parvex_test {
namespace {

namespace fs = std::filesystem;

// Runs the scanner program under the name `name` in the instance's "bin" folder with `args`
// (a link to it; on Windows a copy named `name`.exe, as the driver-manager stand-in makes one
// where no hard link can be made). Returns its exit status, or -1 when it did not end within
// 10 s.
int RunAs(ScannerRig& rig, const std::string& name, const std::vector<std::string>& args) {
  const fs::path bin = rig.instance().rundir() / "bin";
  std::error_code ec;
  fs::create_directories(bin, ec);
#ifdef _WIN32
  const fs::path link = bin / (name + ".exe");
  fs::copy_file(PARVEX_SC_PROGRAM, link, fs::copy_options::skip_existing, ec);
#else
  const fs::path link = bin / name;
  fs::create_symlink(PARVEX_SC_PROGRAM, link, ec);
#endif
  std::vector<std::string> argv = {link.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  kestrum::ProcessId pid = 0;
  if (kestrum::SpawnProcess(argv, nullptr, &pid) != 0) return -1;
  int status = -1;
  if (kestrum::WaitProcess(pid, 10000, &status) != 0) {
    kestrum::EndProcess(pid);
    kestrum::WaitProcess(pid, 5000, nullptr);
    return -1;
  }
  return status;
}

TEST(ScannerStart, RefusedCommandLinesEndWithStatusZeroWithoutAttaching) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  const struct {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"parvex_sc", {}},          // no device number
      {"parvex_sc", {"1", "2"}},  // two arguments
      {"parvex_sc", {"0"}},       // device 0
      {"parvex_sc", {"65536"}},   // low 16 bits 0
      {"parvex_sc", {"abc"}},     // not a number
      {"parvex_sc", {"7"}},       // no such device
      {"parvexsc", {"1"}},        // no underscore: no driver name
      {"other_sc", {"1"}},        // another driver
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunAs(rig, c.name, c.args), 0) << c.name << " " << c.args.size();
    EXPECT_EQ(rig.device()->scanner_attached, 0);
    EXPECT_EQ(rig.device()->scanner_pid, 0u);
  }
  EXPECT_EQ(rig.error_message(), "");
}

TEST(ScannerStart, AMissingDeviceFolderIsReportedAndEndsWithItsErrorNumber) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  fs::remove_all(rig.device_folder());
  EXPECT_EQ(RunAs(rig, "parvex_sc", {"1"}), 2);  // ENOENT
  EXPECT_EQ(rig.error_message(), "CAN'T ACCESS CONFIG DIR -0002");
  EXPECT_EQ(rig.device()->scanner_attached, 0);
}

// A folder name that climbs out of the configuration folder is refused before anything is read
// or saved there, even when the folder it names exists.
TEST(ScannerStart, ADeviceFolderNameLeadingOutOfTheConfigurationFolderIsRefused) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  const fs::path outside = fs::path(rig.device_folder()).parent_path().parent_path() / "OUT";
  fs::create_directories(outside);
  char* name = rig.device()->folder_name;
  std::memset(name, 0, sizeof rig.device()->folder_name);
  std::memcpy(name, "../OUT", 6);
  EXPECT_EQ(RunAs(rig, "parvex_sc", {"1"}), 13);  // EACCES
  EXPECT_EQ(rig.error_message(), "CAN'T ACCESS CONFIG DIR -0013");
  EXPECT_EQ(rig.device()->scanner_attached, 0);
}

TEST(ScannerStart, AMissingChannelFileFailsTheStartUpAndLeavesTheChannelsFailed) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  fs::remove(rig.device_folder() + "/ai");
  EXPECT_EQ(RunAs(rig, "parvex_sc", {"1"}), 2);
  EXPECT_EQ(rig.error_message(), "CAN'T READ CONFIGURATION -0002");
  EXPECT_EQ(rig.device()->scanner_attached, 0);
  EXPECT_EQ(rig.device()->scanner_ready, 0);
  const kestrum::ChannelTableView t = rig.table();
  EXPECT_EQ(t.header->error_code, 2);
  EXPECT_TRUE(t.status[0] & kestrum::kStatusNoValue);
}

#ifndef _WIN32
// Linux only: a file planted where the mailslot's socket goes (a Windows mailslot is no file),
// and the system log captured by a preloaded library (the event log on Windows).
TEST(ScannerStart, ANamePlantedAtTheScannersMailslotIsReportedAndTheScannerGoesOn) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.StartCounter({"--interval", "200"}));
  const fs::path program = rig.instance().rundir() / "bin" / "parvex_sc";
  fs::create_symlink(PARVEX_SC_PROGRAM, program);
  const std::string slots = (rig.instance().rundir() / "mailslot").string();
  ScopedSyslogCapture syslog;
  // The child plants a plain file under its own mailslot name, then becomes the scanner.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    char planted[512];
    std::snprintf(planted, sizeof planted, "%s/dm_%d.slt", slots.c_str(), getpid());
    const int fd = open(planted, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) close(fd);
    execl(program.c_str(), program.c_str(), "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  syslog.Release();
  const bool reported = ScannerRig::WaitFor(
      [&] { return rig.error_message() == "CAN'T OPEN MAILSLOT -0098"; }, 15000);
  EXPECT_TRUE(reported) << rig.error_message();
  EXPECT_TRUE(ScannerRig::WaitFor(
      [&] { return syslog.Text().find("runs without requests") != std::string::npos; }, 5000))
      << syslog.Text();
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

#endif  // _WIN32

// A malformed channel file: the device message keeps the file's name and what follows it within
// the length an error entry shows, and the system log has the whole text with the whole path.
TEST(ScannerStart, AMalformedChannelFileIsShownFittedAndLoggedWhole) {
  ScannerRig rig({{ChannelXml(1, "VOLUME", "VOLUME")}});
  ASSERT_EQ(rig.error(), "");
  // The device's extension module switches the XML form on (named after the folder "CNT1").
  const fs::path bin = rig.instance().root() / "bin";
  fs::create_directories(bin);
#ifdef _WIN32
  fs::copy_file(PARVEX_TEST_XML_MODULE,
                bin / (std::string("cnt1_ex") + kestrum::kSharedObjectSuffix));
#else
  fs::create_symlink(PARVEX_TEST_XML_MODULE,
                     bin / (std::string("cnt1_ex") + kestrum::kSharedObjectSuffix));
#endif
  ScopedEnv program_folder("KSM_BIN", bin.string().c_str());
  const std::string ai = rig.device_folder() + "/ai.xml";
  std::ofstream(ai) << "<Channels>\n<Channel id='1'><Tag>VOLUME</Channel>\n</Channels>\n";

#ifdef _WIN32
  // The whole text goes to the event log, which the test does not read: only the message.
  EXPECT_NE(RunAs(rig, "parvex_sc", {"1"}), 0);
  const std::string message = rig.error_message();
  const std::string logged;
#else
  ScopedSyslogCapture syslog;
  EXPECT_NE(RunAs(rig, "parvex_sc", {"1"}), 0);
  syslog.Release();
  std::string logged;
  std::istringstream lines(syslog.Text());
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Xml Load Failed (" + ai + ")") != std::string::npos) logged = line;
  }
  ASSERT_NE(logged, "") << syslog.Text();
  ASSERT_GT(logged.size(), kestrum::kLongErrorMessageLength) << logged;
  const std::string message = rig.error_message();
  EXPECT_EQ(message, kestrum::FitFailureText(logged, kestrum::kLongErrorMessageLength));
#endif
  // The file name with the line:column where the parser found the mismatched closing tag (plain
  // substrings: GoogleTest's regular expressions on Windows know no groups or brackets).
  EXPECT_THAT(message, testing::AnyOf(testing::HasSubstr("(ai.xml) 2:38: Opening and ending"),
                                      testing::HasSubstr("(CNT1/ai.xml) 2:38: Opening and ending")))
      << logged;
}

}  // namespace
}  // namespace parvex_test
