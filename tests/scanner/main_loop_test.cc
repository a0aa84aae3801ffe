// The main loop's dispatch order, failure handling and save timer, over fake operations.
#include "scanner/main_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/xml_document.h"
#include "platform/error_number.h"
#include "runtime/time_stamps.h"
#include "scanner/save_timer.h"
#include "scanner_fakes.h"

namespace parvex {
namespace {

using parvex_test::FakeWorld;

// Records each operation, whether the gate was open when it started, and fails on request.
class FakeOperations : public DeviceOperations {
 public:
  int Reconfigure() override { return Run("reconfigure"); }
  int InitialiseValues() override { return Run("initialise values"); }
  int ResetCounters() override { return Run("reset counters"); }
  int Scan(bool first) override { return Run(first ? "first scan" : "scan"); }
  int InitialiseDevice(int error) override {
    calls.push_back("initialise device " + std::to_string(error));
    return 1;
  }
  void SaveOutputValues() override { calls.push_back("save"); }

  std::vector<std::string> calls;
  std::string fail;       // the operation that fails
  int fail_error = 0;     // its error number
  int fail_platform = 0;  // its platform error
  bool stop_on_failure = false;
  RequestWords* words = nullptr;  // cleared of running when stop_on_failure
  bool gate_closed_during_work = false;
  const FakeWorld* world = nullptr;  // whose gate is looked at

 private:
  int Run(const std::string& name) {
    calls.push_back(name);
    gate_closed_during_work |= world->gate_closed;
    if (name != fail) return 0;
    if (stop_on_failure) words->running = 0;
    kestrum::SetErrorNumber(fail_error);
    kestrum::SetLastPlatformError(fail_platform);
    return -1;
  }
};

class MainLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ops_.world = &world_;
    words_.Reset();
    // An idle pass waits; the test ends the loop there unless it says otherwise.
    world_.on_wait = [this] { words_.running = 0; };
  }

  FakeWorld world_;
  RequestWords words_;
  FakeOperations ops_;
  SaveTimer timer_;
};

TEST_F(MainLoopTest, ServesOneRequestPerPassInPriorityOrderWithTheGateOpen) {
  ApplyDriverRequest(&words_, 300);
  ApplyDriverRequest(&words_, 300);
  ApplyDriverRequest(&words_, 303);
  ApplyDriverRequest(&words_, 304);
  ApplyDriverRequest(&words_, 302);
  ApplyDriverRequest(&words_, 999);  // ignored
  RunMainLoop(&words_, &ops_, &timer_, world_);
  EXPECT_EQ(ops_.calls, (std::vector<std::string>{"reconfigure", "initialise values",
                                                  "reset counters", "scan", "scan"}));
  EXPECT_FALSE(ops_.gate_closed_during_work);
  EXPECT_EQ(world_.tick_waits, 1);
  // Every pass closes the gate while it looks at the words, then opens it.
  const std::vector<int>& holds = world_.holds;
  ASSERT_EQ(holds.size(), 12u);
  for (size_t i = 0; i < holds.size(); ++i) EXPECT_EQ(holds[i], i % 2 == 0 ? 1 : 0) << i;
}

TEST_F(MainLoopTest, RequestsArrivingDuringWorkAreServedAfterwards) {
  ApplyDriverRequest(&words_, 300);
  int waits = 0;
  world_.on_wait = [&] {
    if (++waits == 1) {
      ApplyDriverRequest(&words_, 304);
      ApplyDriverRequest(&words_, 300);
    } else {
      words_.running = 0;
    }
  };
  RunMainLoop(&words_, &ops_, &timer_, world_);
  EXPECT_EQ(ops_.calls, (std::vector<std::string>{"scan", "initialise values", "scan"}));
}

TEST_F(MainLoopTest, StopStillLetsThePassFinishButEndsTheLoop) {
  ApplyDriverRequest(&words_, 300);
  ApplyDriverRequest(&words_, 300);
  ApplyDriverRequest(&words_, 31);
  RunMainLoop(&words_, &ops_, &timer_, world_);
  EXPECT_TRUE(ops_.calls.empty());
  EXPECT_EQ(words_.pending_scans.load(), 2);
}

struct FailureCase {
  int code;
  std::string operation;
  int error;
  std::string message;
};

TEST_F(MainLoopTest, FailedRequestIsReportedWithItsMessageThenTheDeviceIsInitialised) {
  const FailureCase cases[] = {
      {300, "scan", 5, "CAN'T SCAN DEVICE -0005"},
      {302, "reconfigure", 0x1234, "CAN'T RECONFIGURE DEVICE -0564"},
      {304, "initialise values", 7, "CAN'T INITIALISE VALUES - 0007"},
      {303, "reset counters", 110, "CAN'T RESET COUNTERS -0110"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.operation);
    world_.Reset();
    ops_ = FakeOperations();
    ops_.world = &world_;
    ops_.fail = c.operation;
    ops_.fail_error = c.error;
    words_.Reset();
    ApplyDriverRequest(&words_, c.code);
    EXPECT_TRUE(MainLoopPass(&words_, &ops_, &timer_, world_));
    EXPECT_EQ(world_.reports, std::vector<std::string>{c.message});
    EXPECT_EQ(ops_.calls, (std::vector<std::string>{
                              c.operation, "initialise device " + std::to_string(c.error)}));
  }
}

TEST_F(MainLoopTest, ReconfigureFailureShowsTheXmlTextOnlyForAnXmlParseError) {
  kestrum::xml_SetContext("CNT1", "ai Channel #3");
  kestrum::xml_SetStatus(-1, "<Units> Required");
  const std::string xml_text = kestrum::xml_GetErrorText();
  ops_.fail = "reconfigure";
  ops_.fail_error = kestrum::kXmlParseError;
  ops_.fail_platform = kestrum::kXmlParseError;
  ApplyDriverRequest(&words_, 302);
  MainLoopPass(&words_, &ops_, &timer_, world_);
  EXPECT_EQ(world_.reports, std::vector<std::string>{xml_text});

  // A scan failure never shows XML text, whatever the last error.
  world_.Reset();
  ops_ = FakeOperations();
  ops_.world = &world_;
  ops_.fail = "scan";
  ops_.fail_error = kestrum::kXmlParseError;
  ops_.fail_platform = kestrum::kXmlParseError;
  ApplyDriverRequest(&words_, 300);
  MainLoopPass(&words_, &ops_, &timer_, world_);
  EXPECT_EQ(world_.reports, std::vector<std::string>{"CAN'T SCAN DEVICE -1465"});
}

TEST_F(MainLoopTest, StopDuringAFailingRequestEndsTheLoopWithoutMessage) {
  ops_.fail = "scan";
  ops_.fail_error = 5;
  ops_.stop_on_failure = true;
  ops_.words = &words_;
  ApplyDriverRequest(&words_, 300);
  ApplyDriverRequest(&words_, 300);
  EXPECT_FALSE(MainLoopPass(&words_, &ops_, &timer_, world_));
  RunMainLoop(&words_, &ops_, &timer_, world_);
  EXPECT_TRUE(world_.reports.empty());
  EXPECT_EQ(ops_.calls, std::vector<std::string>{"scan"});
}

TEST_F(MainLoopTest, IdlePassSavesWhenDueWithoutWaitingAndWaitsOtherwise) {
  timer_.enabled = true;
  timer_.period_ms = 1000;
  StartSaveTimer(&timer_, world_.now);
  kestrum::AddMs(&world_.now, 1500);  // half a period late
  world_.on_wait = nullptr;
  EXPECT_TRUE(MainLoopPass(&words_, &ops_, &timer_, world_));
  EXPECT_EQ(ops_.calls, std::vector<std::string>{"save"});
  EXPECT_EQ(world_.tick_waits, 0);
  EXPECT_TRUE(MainLoopPass(&words_, &ops_, &timer_, world_));
  EXPECT_EQ(ops_.calls, std::vector<std::string>{"save"});
  EXPECT_EQ(world_.tick_waits, 1);
}

// --- Save timer --------------------------------------------------------------------------

kestrum::TimeStamp At(int64_t ms) {
  kestrum::TimeStamp t{1000000, 0, 0};
  kestrum::AddMs(&t, ms);
  return t;
}

TEST(SaveTimer, DisabledNeverSaves) {
  SaveTimer timer;
  timer.period_ms = 1000;
  EXPECT_FALSE(SaveTimerDue(&timer, At(5000000)));
}

TEST(SaveTimer, WaitsWithinOnePeriodBeforeTheSaveTime) {
  SaveTimer timer{true, 0, 1000, At(0)};
  for (int64_t now : {-1000, -500, 0}) {
    EXPECT_FALSE(SaveTimerDue(&timer, At(now))) << now;
    EXPECT_EQ(kestrum::DiffMs(timer.next, At(0)), 0);
  }
}

TEST(SaveTimer, MovesOnByWholePeriodsWhenLessThanTwoPeriodsLate) {
  struct Case {
    int64_t now;
    int64_t next;
  } cases[] = {{1, 1000}, {999, 1000}, {1000, 2000}, {1500, 2000}, {2000, 3000}};
  for (const Case& c : cases) {
    SaveTimer timer{true, 0, 1000, At(0)};
    EXPECT_TRUE(SaveTimerDue(&timer, At(c.now))) << c.now;
    EXPECT_EQ(kestrum::DiffMs(timer.next, At(0)), c.next) << c.now;
  }
}

TEST(SaveTimer, RestartsFromNowWhenFarLateOrFarEarly) {
  for (int64_t now : {2001, 50000, -1001, -90000}) {
    SaveTimer timer{true, 0, 1000, At(0)};
    EXPECT_TRUE(SaveTimerDue(&timer, At(now))) << now;
    EXPECT_EQ(kestrum::DiffMs(timer.next, At(now)), 1000) << now;
  }
}

TEST(SaveTimer, ZeroPeriodSavesAtEveryIdlePassThatIsNotExactlyOnTime) {
  SaveTimer timer{true, 0, 0, At(0)};
  EXPECT_FALSE(SaveTimerDue(&timer, At(0)));
  EXPECT_TRUE(SaveTimerDue(&timer, At(7)));
  EXPECT_EQ(kestrum::DiffMs(timer.next, At(7)), 0);
}

}  // namespace
}  // namespace parvex
