// A fake of the scanner's outside world: a clock the test moves, the link's gate and waits, and
// the device's error message. Each test owns one and hands it to the code under test.
#ifndef PARVEX_TESTS_SCANNER_SCANNER_FAKES_H_
#define PARVEX_TESTS_SCANNER_SCANNER_FAKES_H_

#include <functional>
#include <string>
#include <vector>

#include "records/time_stamp.h"
#include "scanner/scanner_hooks.h"

namespace parvex_test {

class FakeWorld : public parvex::ScannerHooks {
 public:
  kestrum::TimeStamp now{1000000, 0, 0};
  bool gate_closed = false;
  std::vector<int> holds;               ///< every HoldMessages flag
  std::vector<uint32_t> message_waits;  ///< every WaitForMessage time
  int tick_waits = 0;
  std::vector<std::string> reports;
  int clears = 0;
  std::vector<std::string> events;  ///< system-log texts
  /// Runs inside every wait (message or ticks): a test lets requests arrive there.
  std::function<void()> on_wait;

  /// Forgets everything recorded and puts the clock back.
  void Reset() { *this = FakeWorld(); }

  kestrum::TimeStamp Now() override { return now; }
  int HoldMessages(int flag) override {
    holds.push_back(flag);
    gate_closed = flag != 0;
    return 0;
  }
  int WaitForMessage(uint32_t ms) override {
    gate_closed = false;
    message_waits.push_back(ms);
    if (on_wait) on_wait();
    return 0;
  }
  int WaitTicks(uint32_t) override {
    gate_closed = false;
    ++tick_waits;
    if (on_wait) on_wait();
    return 0;
  }
  void ReportError(const char* message) override { reports.emplace_back(message); }
  void ClearError() override { ++clears; }
  void ReportEvent(int, const char* text) override { events.emplace_back(text); }
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_SCANNER_FAKES_H_
