// counter_sim: a simulated particle counter on a pseudo-terminal, published as a port alias of
// the instance in $KESTRUM_RUNDIR. See simulator.h for the control commands.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <iostream>
#include <map>

#include "tools/counter_sim/simulator.h"

namespace {

// Lock-free, so the signal handler may set it.
std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int) { g_stop.store(1); }

}  // namespace

int main(int argc, char** argv) {
  counter_sim::Options options;
  std::vector<std::string> faults;
  bool no_stdin = false;
  bool no_fifo = false;
  CLI::App app{"Simulated particle counter on a pseudo-terminal published as a port alias"};
  app.add_option("--port", options.port, "port alias to publish in $KESTRUM_RUNDIR/dev")
      ->check([](const std::string& s) {
        return s.empty() || s.size() > 7 || s.find('/') != std::string::npos
                   ? std::string("1 to 7 characters, no slash")
                   : std::string();
      })
      ->capture_default_str();
  app.add_option("--interval", options.interval_ms, "milliseconds between reports")
      ->check(CLI::Range(10, 3600000))
      ->capture_default_str();
  app.add_option("--ports", options.ports, "sampler port ids printed in turn")
      ->delimiter(',')
      ->check(CLI::Range(0, 255));
  app.add_option("--seed", options.seed, "seed of the noise")->capture_default_str();
  app.add_option("--period", options.period_s, "seconds of one slow sine period")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--level", options.level, "particle count multiplier")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_flag("--total", options.total_count, "print TOTAL COUNT headers (default DIFF COUNT)");
  app.add_option("--volume", options.volume, "sample volume")->capture_default_str();
  app.add_option("--reports", options.reports, "stop after this many reports (0: never)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--fault", faults,
                 "fault for the next report, in order: silence eleven nocrlf badheader nobel "
                 "noise slow hangup")
      ->check([](const std::string& s) {
        return counter_sim::ParseFault(s) ? std::string() : "unknown fault " + s;
      });
  app.add_option("--silence", options.silence_s, "seconds of a silence fault")
      ->capture_default_str();
  app.add_option("--hangup", options.hangup_s, "seconds before a hung-up line returns")
      ->capture_default_str();
  app.add_option("--fragments", options.fragments, "fragments of a slow report")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  app.add_option("--fragment-pause", options.fragment_pause_ms, "milliseconds between fragments")
      ->check(CLI::Range(0, 60000))
      ->capture_default_str();
  app.add_flag("--no-stdin", no_stdin, "do not read control commands from standard input");
  app.add_flag("--no-fifo", no_fifo, "do not create the control FIFO");
  CLI11_PARSE(app, argc, argv);

  for (const std::string& name : faults) options.faults.push_back(*counter_sim::ParseFault(name));
  options.read_stdin = !no_stdin;
  options.control_fifo = !no_fifo;

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  counter_sim::Simulator simulator(std::move(options), std::cout);
  return simulator.Run(&g_stop);
}
