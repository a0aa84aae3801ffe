// The counter simulator: a pseudo-terminal published as a port alias of the instance
// ($KESTRUM_RUNDIR/dev/<PORT>) that prints a report on a schedule and sends faults on request.
//
// Control commands, one per line, come from standard input and from the FIFO
// $KESTRUM_RUNDIR/counter_sim/<PORT>.ctl (created by the simulator, removed at exit):
//   silence [S]   send nothing for S seconds (default --silence)
//   eleven | nocrlf | badheader | nobel | noise | slow
//                 send the next report with that fault
//   hangup [S]    hang the line up at the next report, come back after S seconds (--hangup)
//   now           send the next report at once
//   level X       multiply the particle counts by X
//   total | diff  print TOTAL COUNT or DIFF COUNT headers
//   quit          stop
// Faults given with --fault are queued in order before any command.
#ifndef PARVEX_TOOLS_COUNTER_SIM_SIMULATOR_H_
#define PARVEX_TOOLS_COUNTER_SIM_SIMULATOR_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "tools/counter_sim/counter_report.h"
#include "tools/counter_sim/sample_source.h"

namespace counter_sim {

struct Options {
  std::string port = "COM1";
  int interval_ms = 2000;        ///< between reports
  std::vector<int> ports = {1};  ///< sampler port ids printed in turn
  std::uint32_t seed = 1;
  double period_s = 300;  ///< of the slow sine
  double level = 1.0;     ///< particle count multiplier
  bool total_count = false;
  double volume = 1.0;
  int reports = 0;            ///< stop after this many reports were sent (0: never)
  std::vector<Fault> faults;  ///< queued before any command
  double silence_s = 5;
  double hangup_s = 3;
  int fragments = 4;  ///< of a slow report
  int fragment_pause_ms = 300;
  bool control_fifo = true;
  bool read_stdin = true;
};

/// Runs one simulated counter. Not thread-safe.
class Simulator {
 public:
  /// `log` receives one line per event (report sent, fault, hang-up); the caller owns it.
  Simulator(Options options, std::ostream& log);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  /// Creates the pseudo-terminal, publishes the alias and the control FIFO, then sends reports
  /// until `stop` becomes non-zero, "quit" is read, or --reports were sent. Removes the alias and
  /// the FIFO before returning. Returns 0, or 1 when the alias could not be set up. `stop` may
  /// be set from another thread or from a signal handler.
  int Run(const std::atomic<int>* stop);

  /// Applies one control command line. Returns false for an unknown command.
  bool Command(const std::string& line);

 private:
  using Clock = std::chrono::steady_clock;

  int Publish();
  void HangUp(Clock::time_point now, double seconds);
  void SendNext(Clock::time_point now);
  void WriteSlowly(const std::string& report, const std::atomic<int>* stop);
  void ReadCommands(int fd, std::string* pending, bool* open);
  Sample NextSample(Clock::time_point now);
  std::string FifoPath() const;

  Options options_;
  std::ostream& log_;
  SampleSource source_;
  kestrum::PseudoTerminal pty_;
  std::deque<Fault> queued_;
  Clock::time_point start_;
  Clock::time_point next_report_;
  Clock::time_point silent_until_;
  Clock::time_point back_at_;  ///< when a hung-up line returns
  bool hung_up_ = false;
  bool quit_ = false;
  double pending_hangup_s_ = 0;
  double pending_silence_s_ = 0;
  int sent_ = 0;
  std::uint32_t noise_seed_;
  const std::atomic<int>* stop_ = nullptr;
};

}  // namespace counter_sim

#endif  // PARVEX_TOOLS_COUNTER_SIM_SIMULATOR_H_
