// Fakes of the scanner's outside world: a clock the test moves, the link's gate and waits, and
// the device's error message. One set per process; Reset() before each test.
#ifndef PARVEX_TESTS_SCANNER_SCANNER_FAKES_H_
#define PARVEX_TESTS_SCANNER_SCANNER_FAKES_H_

#include <functional>
#include <string>
#include <vector>

#include "records/time_stamp.h"
#include "scanner/scanner_hooks.h"

namespace parvex_test {

struct FakeWorld {
  kestrum::TimeStamp now{1000000, 0, 0};
  bool gate_closed = false;
  std::vector<int> holds;               ///< every HoldDriverMessages flag
  std::vector<uint32_t> message_waits;  ///< every WaitForDriverMessage time
  int tick_waits = 0;
  std::vector<std::string> reports;
  int clears = 0;
  std::vector<std::string> events;  ///< system-log texts
  /// Runs inside every wait (message or ticks): a test lets requests arrive there.
  std::function<void()> on_wait;

  static FakeWorld& Get() {
    static FakeWorld world;
    return world;
  }
  static void Reset() { Get() = FakeWorld(); }

  static parvex::ScannerHooks Hooks() {
    parvex::ScannerHooks hooks;
    hooks.now = [] { return Get().now; };
    hooks.hold_messages = [](int flag) {
      Get().holds.push_back(flag);
      Get().gate_closed = flag != 0;
      return 0;
    };
    hooks.wait_for_message = [](uint32_t ms) {
      Get().gate_closed = false;
      Get().message_waits.push_back(ms);
      if (Get().on_wait) Get().on_wait();
      return 0;
    };
    hooks.wait_ticks = [](uint32_t) {
      Get().gate_closed = false;
      ++Get().tick_waits;
      if (Get().on_wait) Get().on_wait();
      return 0;
    };
    hooks.report_error = [](const char* m) { Get().reports.emplace_back(m); };
    hooks.clear_error = [] { ++Get().clears; };
    hooks.report_event = [](int, const char* text) { Get().events.emplace_back(text); };
    return hooks;
  }
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_SCANNER_FAKES_H_
