// The trace settings from the directory registry: switching on and off, targets, the file, the
// assembly of debugger lines and the re-reading after a change of the key.
#include "scanner/diagnostics.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "runtime/install_roots.h"
#include "test_util.h"

namespace parvex {
namespace {

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}
void Collect(const char* line) { Lines().emplace_back(line); }

class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    // Values that others may rewrite in place are trusted less: write them for their owner only.
    old_umask_ = umask(022);
#endif
    kestrum::ForgetProcessSettings();
    Lines().clear();
    ASSERT_EQ(kestrum::RegCreateKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine),
                                    "SOFTWARE\\Veltrane\\Kestrum", 0, kestrum::kKeyAllAccess,
                                    nullptr, &key_, nullptr),
              0);
  }
  void TearDown() override {
    kestrum::RegCloseKey(key_);
    kestrum::ForgetProcessSettings();
#ifndef _WIN32
    umask(old_umask_);
#endif
  }
  void Set(const std::string& name, const std::string& value) {
    ASSERT_EQ(kestrum::RegSetString(key_, name, value), 0);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);  // the bytes as written, CR included
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  parvex_test::ScopedInstance instance_;
  kestrum::RegKey key_ = nullptr;
#ifndef _WIN32
  mode_t old_umask_ = 022;
#endif
};

TEST_F(DiagnosticsTest, DebugValueBeginningWithOnSwitchesTracingOn) {
  for (const char* on : {"ON", "on", "On", "ONLINE"}) {
    Set("CNT1_Debug", on);
    TraceSettings trace("CNT1", Collect);
    EXPECT_TRUE(trace.tracing()) << on;
    EXPECT_EQ(trace.targets(), kTraceDebugger) << on;
  }
  for (const char* off : {"OFF", "1", "", " ON", "O"}) {
    Set("CNT1_Debug", off);
    TraceSettings trace("CNT1", Collect);
    EXPECT_FALSE(trace.tracing()) << off;
    trace.Trace("lost\n");
  }
  EXPECT_TRUE(Lines().empty());
}

TEST_F(DiagnosticsTest, MissingValuesLeaveTracingOff) {
  TraceSettings trace("CNT1", Collect);
  EXPECT_FALSE(trace.tracing());
  EXPECT_EQ(trace.targets(), 0);
}

TEST_F(DiagnosticsTest, PiecesAreAssembledIntoOneDebuggerLineEndedByLf) {
  Set("CNT1_Debug", "on");
  TraceSettings trace("CNT1", Collect);
  trace.Trace("abc");
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(trace.line(), "CNT1 : abc");
  trace.Trace("def\n");
  EXPECT_EQ(Lines(), std::vector<std::string>{"CNT1 : abcdef\n"});
  EXPECT_EQ(trace.line(), "");
  trace.Trace("");
  trace.Trace("x\r\n");
  EXPECT_EQ(Lines().back(), "CNT1 : x\r\n");
}

TEST_F(DiagnosticsTest, AnOverlongLineKeepsTheEndOfTheTextAndAFullLineIsClosedWithCrLf) {
  Set("CNT1_Debug", "on");
  TraceSettings trace("CNT1", Collect);
  const std::string head(4000, 'a');
  std::string tail(2000, 'b');
  tail.back() = '\n';
  trace.Trace(head.c_str());
  trace.Trace(tail.c_str());
  ASSERT_EQ(Lines().size(), 1u);
  const std::string& line = Lines()[0];
  EXPECT_EQ(line.size(), kTraceLineLimit);
  EXPECT_EQ(line.substr(0, 7), "CNT1 : ");
  EXPECT_EQ(line.substr(line.size() - 3), "bb\n");  // the end of the text, its LF kept
  // Once the line is full, more text is dropped; a piece ending in LF then closes the line by
  // replacing its last two characters.
  trace.Trace(std::string(5000, 'c').c_str());
  EXPECT_EQ(trace.line().size(), kTraceLineLimit);
  trace.Trace("d\n");
  EXPECT_EQ(Lines().size(), 2u);
  EXPECT_EQ(Lines()[1].substr(Lines()[1].size() - 2), "\r\n");
}

TEST_F(DiagnosticsTest, FileTargetWritesEveryPieceUnchangedAndKeepsItsFileWhileOn) {
  const std::string first = (instance_.root() / "trace1.txt").string();
  const std::string second = (instance_.root() / "trace2.txt").string();
  Set("CNT1_Debug", "ON");
  Set("CNT1_DebugType", "CON+FILE");
  Set("CNT1_DebugFile", first);
  TraceSettings trace("CNT1", Collect);
  EXPECT_EQ(trace.targets(), kTraceConsole | kTraceFile | kTraceDebugger);
  trace.Trace("12:00:00 1 2 3\r\n");
  EXPECT_EQ(Read(first), "12:00:00 1 2 3\r\n");
  EXPECT_EQ(Lines().size(), 1u);

  // A new file name alone changes nothing: "_Debug" did not change.
  Set("CNT1_DebugFile", second);
  trace.Trace("more");
  EXPECT_EQ(Read(first), "12:00:00 1 2 3\r\nmore");
  EXPECT_FALSE(std::filesystem::exists(second));

  // Off and on again: the new file is created, anew.
  Set("CNT1_Debug", "OFF");
  trace.Trace("dropped");
  EXPECT_FALSE(trace.tracing());
  Set("CNT1_Debug", "ON");
  trace.Trace("fresh");
  EXPECT_EQ(Read(second), "fresh");
  EXPECT_EQ(Read(first), "12:00:00 1 2 3\r\nmore");
}

// Whoever may write the key may have less right than the scanner: a trace file reached through
// a symlink is neither emptied nor written, and the other targets go on.
TEST_F(DiagnosticsTest, ATraceFileBehindASymlinkIsLeftUntouched) {
  const std::filesystem::path secret = instance_.root() / "secret";
  std::ofstream(secret) << "root only";
  std::error_code ec;
  std::filesystem::create_symlink(secret, instance_.root() / "trace.txt", ec);
#ifdef _WIN32
  // Making a link takes a right that Windows gives few accounts, and wine makes none.
  if (!std::filesystem::is_symlink(instance_.root() / "trace.txt")) GTEST_SKIP() << "no link";
#endif
  ASSERT_FALSE(ec) << ec.message();
  Set("CNT1_Debug", "ON");
  Set("CNT1_DebugType", "FILE");
  Set("CNT1_DebugFile", (instance_.root() / "trace.txt").string());
  TraceSettings trace("CNT1", Collect);
  trace.Trace("12:00:00 1 2 3\n");
  EXPECT_EQ(Read(secret.string()), "root only");
  EXPECT_EQ(Lines(), std::vector<std::string>{"CNT1 : 12:00:00 1 2 3\n"});
}

#ifndef _WIN32
// A scanner with more right than the user who wrote the file value creates or writes the trace
// file only where that user could have done so itself (a file it could remove it could have
// made anew); the debugger output goes on regardless. A value file that others may write in
// place may come from anyone, whoever owns it.
TEST_F(DiagnosticsTest, TheTraceFileIsWrittenOnlyWhereTheFileValuesWriterCouldWriteIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the value to another user";
  constexpr uid_t kMember = 65534;
  namespace fs = std::filesystem;
  const fs::path root = instance_.root();
  fs::permissions(root, fs::perms(0755));
  fs::create_directory(root / "closed");
  fs::permissions(root / "closed", fs::perms(0755));
  fs::create_directory(root / "open");
  fs::permissions(root / "open", fs::perms(01777));
  fs::create_directory(root / "mine");
  ASSERT_EQ(chown((root / "mine").c_str(), kMember, kMember), 0);
  for (const char* file : {"open/kept", "mine/old"}) {
    std::ofstream(root / file) << "root's";
    fs::permissions(root / file, fs::perms(0644));
  }
  const struct {
    const char* named;
    uid_t value_owner;
    unsigned value_mode;
    const char* after;  // the file's content afterwards, null when it must not exist
  } cases[] = {
      {"closed/new.txt", kMember, 0644, nullptr},  // a new file in a folder only root may write
      {"open/kept", kMember, 0644, "root's"},      // root's file in a sticky folder
      {"closed/new.txt", 0, 0666, nullptr},        // root's value that anyone may rewrite
      {"open/new.txt", kMember, 0644, "12:00:00 1 2 3\n"},
      {"mine/old", kMember, 0644, "12:00:00 1 2 3\n"},  // in the member's own folder
  };
  for (const auto& c : cases) {
    Lines().clear();
    const std::string path = (root / c.named).string();
    Set("CNT1_Debug", "ON");
    Set("CNT1_DebugType", "FILE");
    Set("CNT1_DebugFile", path);
    const std::string value = kestrum::RegKeyFolder(key_) + "/CNT1_DebugFile";
    ASSERT_EQ(chown(value.c_str(), c.value_owner, c.value_owner), 0);
    ASSERT_EQ(chmod(value.c_str(), c.value_mode), 0);
    TraceSettings trace("CNT1", Collect);
    trace.Trace("12:00:00 1 2 3\n");
    if (c.after == nullptr) {
      EXPECT_FALSE(fs::exists(path)) << c.named;
    } else {
      EXPECT_EQ(Read(path), c.after) << c.named;
    }
    EXPECT_EQ(Lines(), std::vector<std::string>{"CNT1 : 12:00:00 1 2 3\n"}) << c.named;
  }
}
#endif  // Windows has no user ids to hand a value to (a value's writer is 0 or any user there)

TEST_F(DiagnosticsTest, ACaseMismatchInTheTypeNamesNoTarget) {
  Set("CNT1_Debug", "ON");
  Set("CNT1_DebugType", "con file");
  TraceSettings trace("CNT1", Collect);
  EXPECT_EQ(trace.targets(), kTraceDebugger);
}

TEST_F(DiagnosticsTest, SwitchingOnWhileRunningIsNoticedAtTheNextWrite) {
  TraceSettings trace("CNT1", Collect);
  trace.Trace("before\n");
  EXPECT_TRUE(Lines().empty());
  Set("CNT1_Debug", "ON");
  trace.Trace("after\n");
  EXPECT_EQ(Lines(), std::vector<std::string>{"CNT1 : after\n"});
}

TEST_F(DiagnosticsTest, ProcessTraceIsReplacedBySetUp) {
  Set("A_Debug", "ON");
  SetUpTrace("A", Collect);
  Trace("one\n");
  SetUpTrace("B", Collect);
  Trace("two\n");
  ShutTrace();
  Trace("three\n");
  EXPECT_EQ(Lines(), std::vector<std::string>{"A : one\n"});
}

}  // namespace
}  // namespace parvex
