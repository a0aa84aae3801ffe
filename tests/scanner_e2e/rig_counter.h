// The rig's particle counter: the test process itself writes the counter's reports into a
// pseudo-terminal published as the rig's port alias, so the same rig runs on Linux and under
// wine (where the pair is held by scripts/serial-bridge.py) without a simulator process.
// Reports, faults and commands are those of tools/counter_sim (see simulator.h there).
#ifndef PARVEX_TESTS_SCANNER_E2E_RIG_COUNTER_H_
#define PARVEX_TESTS_SCANNER_E2E_RIG_COUNTER_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "tools/counter_sim/counter_report.h"
#include "tools/counter_sim/sample_source.h"

namespace parvex_test {

struct CounterOptions {
  std::string port;
  int interval_ms = 250;
  std::vector<int> ports = {1};
  double volume = 1.0;
  int fragments = 4;
  int fragment_pause_ms = 300;
  double silence_s = 5;
  double hangup_s = 3;
};

/// Reads the simulator's options "--interval N", "--ports A,B", "--volume V", "--fragments N",
/// "--fragment-pause N" from `args` into `*options`. Returns false for anything else.
bool ParseCounterArgs(const std::vector<std::string>& args, CounterOptions* options);

class RigCounter {
 public:
  explicit RigCounter(CounterOptions options);
  /// Stops the counter as a clean exit does: the alias is removed and the line hung up.
  ~RigCounter();
  RigCounter(const RigCounter&) = delete;
  RigCounter& operator=(const RigCounter&) = delete;

  /// Creates the pseudo-terminal, publishes the alias and starts reporting. Returns 0, or -1
  /// with the error number of the failed call.
  int Start();

  /// Queues one control command line ("badheader", "silence 30", "hangup 2", "now", ...).
  /// Returns false for an unknown command.
  bool Command(const std::string& line);

  /// Ends the counter at once, wherever it is (also inside a report sent in fragments), as a
  /// killed simulator ends: the line hangs up and the alias is left pointing at it.
  void Die();

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  int Publish();
  void TakeCommands(Clock::time_point now);
  void SendNext(Clock::time_point now);
  bool Pause(int ms);

  CounterOptions options_;
  counter_sim::SampleSource source_;
  kestrum::PseudoTerminal pty_;
  std::mutex mutex_;
  std::vector<std::string> commands_;  // under mutex_
  std::deque<counter_sim::Fault> queued_;
  std::deque<double> fault_seconds_;  // the seconds of each queued fault (0: the default)
  std::atomic<bool> stop_{false};
  std::thread thread_;
  bool dead_ = false;
  Clock::time_point start_;
  Clock::time_point next_report_;
  Clock::time_point silent_until_;
  Clock::time_point back_at_;
  bool hung_up_ = false;
  bool total_count_ = false;
  int sent_ = 0;
  std::uint32_t noise_seed_ = 1;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_E2E_RIG_COUNTER_H_
