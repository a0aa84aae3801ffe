// Latency and CPU use of the real scanner, started by the driver-manager stand-in in an instance
// of its own, reading a pseudo-terminal that this program writes directly (so the moment of the
// report's BEL is known exactly), with this process subscribed to the channel table by message.
//
//   latency_bench [--reports N] [--channels N] [--idle-seconds S] [--silent-seconds S]
//
// Phases, in order:
//   idle    no requests: the scanner's CPU share over S seconds;
//   silent  a scan request always pending and a counter that sends nothing;
//   latency N reports, each with a scan request pending: the time from writing the BEL to this
//           process receiving message 32 for the table.
// Prints one "name value" line per result, then the scanner's resident memory. The BEL's own
// write is timed too: on Linux a write into the pseudo-terminal, under wine a request to the
// serial bridge (scripts/serial-bridge.py), which writes it on the Linux side.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_usage.h"
#include "platform/pseudo_terminal.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "scanner_e2e/scanner_rig.h"
#include "tools/counter_sim/counter_report.h"

namespace {

using Clock = std::chrono::steady_clock;
using parvex_test::ScannerRig;

std::atomic<int> g_changed{0};
std::atomic<int64_t> g_changed_at_ns{0};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// The subscriber: stamps every area-changed message the moment the link dispatches it.
void OnMessage(int32_t code) {
  if (code != kestrum::kMessageAreaChanged) return;
  g_changed_at_ns.store(NowNs());
  g_changed.fetch_add(1);
}

// Waits up to `timeout_ms` for a message 32 after `before` of them. Returns true when it came.
bool WaitForChange(int before, int timeout_ms) {
  return ScannerRig::WaitFor([&] { return g_changed.load() > before; }, timeout_ms);
}

// Channels 1..n read the six counts and RH, TEMP, FLOW of port 1 in turn.
std::vector<parvex_test::ChannelXml> Channels(int n) {
  std::vector<parvex_test::ChannelXml> channels;
  for (int i = 1; i <= n; ++i) {
    channels.emplace_back(i, "C" + std::to_string(i), "VALUE", 1,
                          kestrum::kValueTypeNames[(i - 1) % kestrum::kValueTypeCount]);
  }
  return channels;
}

counter_sim::Sample SampleNumber(int i) {
  counter_sim::Sample s;
  s.hour = 10;
  s.minute = (i / 60) % 60;
  s.second = i % 60;
  s.values = {3000.0 + i, 1100, 400, 60, 12, 2, 45.1, 21.3, 1.0};
  s.month = 12;
  s.day = 8;
  s.year = 26;
  s.header_port = 1;
  return s;
}

double Percentile(std::vector<double> sorted, double p) {
  if (sorted.empty()) return 0;
  const std::size_t i = std::min(sorted.size() - 1, static_cast<std::size_t>(p * sorted.size()));
  return sorted[i];
}

struct CpuShare {
  double ticks = 0;
  double precise = 0;
};

// The scanner's share of a core while `run` runs.
template <typename Run>
CpuShare MeasureCpu(kestrum::ProcessId pid, const std::string& phase, Run run) {
  parvex_bench::PrintMark((phase + "_begin").c_str());
  const parvex_bench::CpuTime before = parvex_bench::ReadCpuTime(pid);
  const Clock::time_point start = Clock::now();
  run();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const parvex_bench::CpuTime after = parvex_bench::ReadCpuTime(pid);
  parvex_bench::PrintMark((phase + "_end").c_str());
  return {parvex_bench::CorePercent(before.ticks, after.ticks, wall),
          parvex_bench::CorePercent(before.precise, after.precise, wall)};
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Latency and CPU use of the scanner against a pseudo-terminal counter"};
  int reports = 1000, channels = 1000;
  double idle_s = 10, silent_s = 10;
  app.add_option("--reports", reports, "reports timed")->check(CLI::Range(1, 100000));
  app.add_option("--channels", channels, "enabled analog-input channels")
      ->check(CLI::Range(1, 1000));
  app.add_option("--idle-seconds", idle_s, "length of the idle phase");
  app.add_option("--silent-seconds", silent_s, "length of the silent-counter phase");
  CLI11_PARSE(app, argc, argv);

  parvex_test::RigOptions options;
  options.channels = Channels(channels);
  options.table_channels = 1000;
  options.scan_rate_ms = 1000;
  // A port above COM32, which under wine lead to /dev/ttyS*; on Linux any name is an alias.
  options.port = "COM41";
  ScannerRig rig(options);
  if (!rig.error().empty()) {
    std::fprintf(stderr, "latency_bench: %s\n", rig.error().c_str());
    return 1;
  }
  kestrum::PseudoTerminal pty;
  if (pty.Create(true) != 0 || kestrum::PublishPortAlias(options.port, pty.slave_path()) != 0) {
    std::perror("latency_bench: pseudo-terminal");
    return 1;
  }
  kestrum::StartDriverLink(OnMessage);
  if (!ScannerRig::SubscribeByMessage(rig.table_area()) || !rig.StartScanner()) {
    std::fprintf(stderr, "latency_bench: scanner did not start: %s\n", rig.error().c_str());
    return 1;
  }
  const kestrum::ProcessId pid = rig.scanner_pid();
  // Let the start-up scan's read time out before anything is measured.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));

  const CpuShare idle = MeasureCpu(
      pid, "idle", [&] { std::this_thread::sleep_for(std::chrono::duration<double>(idle_s)); });

  // A scan against a silent counter ends when its read times out; the next request follows at
  // once, so a request is pending all the time.
  const CpuShare silent = MeasureCpu(pid, "silent", [&] {
    const auto end = Clock::now() + std::chrono::duration<double>(silent_s);
    while (Clock::now() < end) {
      const int before = g_changed.load();
      rig.Post(kestrum::kMessageScan);
      WaitForChange(before, 5000);
    }
  });

  std::vector<double> latencies_ms;
  std::vector<double> bel_writes_ms;
  int lost = 0;
  for (int i = 0; i < reports; ++i) {
    const int before = g_changed.load();
    rig.Post(kestrum::kMessageScan);
    // The scanner takes the request and waits in its read before the report starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    std::string report = counter_sim::FormatReport(SampleNumber(i));
    const char bel = report.back();
    report.pop_back();
    pty.Write(report);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    const int64_t written_ns = NowNs();
    pty.Write(std::string_view(&bel, 1));
    bel_writes_ms.push_back(static_cast<double>(NowNs() - written_ns) * 1e-6);
    if (!WaitForChange(before, 3000)) {
      ++lost;
      continue;
    }
    latencies_ms.push_back(static_cast<double>(g_changed_at_ns.load() - written_ns) * 1e-6);
  }
  std::sort(latencies_ms.begin(), latencies_ms.end());
  std::sort(bel_writes_ms.begin(), bel_writes_ms.end());
  const long rss_kb = parvex_bench::ReadResidentKb(pid);

  std::printf("reports %d\n", reports);
  std::printf("reports_lost %d\n", lost);
  std::printf("latency_median_ms %.3f\n", Percentile(latencies_ms, 0.5));
  std::printf("latency_p99_ms %.3f\n", Percentile(latencies_ms, 0.99));
  std::printf("latency_max_ms %.3f\n", latencies_ms.empty() ? 0.0 : latencies_ms.back());
  std::printf("bel_write_median_ms %.3f\n", Percentile(bel_writes_ms, 0.5));
  std::printf("cpu_idle_percent %.4f\n", idle.precise);
  std::printf("cpu_idle_ticks_percent %.3f\n", idle.ticks);
  std::printf("cpu_silent_percent %.4f\n", silent.precise);
  std::printf("cpu_silent_ticks_percent %.3f\n", silent.ticks);
  std::printf("scanner_rss_kb %ld\n", rss_kb);
  kestrum::StopDriverLink();
  return lost == 0 ? 0 : 1;
}
