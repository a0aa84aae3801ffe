// Many devices in one instance: N scanners started by the driver-manager stand-in, each with
// its own counter reporting every second (the end-to-end rig's RigCounter: a thread of this
// program writing the counter's reports into a pseudo-terminal, the serial bridge's under wine),
// each scanned at every one-second boundary (see `run` below). Measures the CPU time of all
// scanners together over a fixed wall time and the resident memory of each.
//
//   devices_bench [--devices N] [--channels N] [--seconds S]
//
// Prints one "name value" line per result.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_usage.h"
#include "config/config_compiler.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "records/channel_config.h"
#include "records/device_record.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "scanner_e2e/rig_counter.h"
#include "scanner_e2e/scanner_rig.h"
#include "test_util.h"
#include "tools/dm/driver_manager.h"
#include "tools/dm/instance.h"
#include "tools/dm/system_description.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Folder(int d) { return "CNT" + std::to_string(d); }
// Ports above the test programs' (COM41 to COM54) and above COM32, which under wine lead to
// /dev/ttyS*.
constexpr int kFirstPort = 61;
constexpr int kMaxDevices = 256 - kFirstPort + 1;
std::string Port(int d) { return "COM" + std::to_string(kFirstPort - 1 + d); }
// Two-character prefixes A0, A1, ... Z9.
std::string Prefix(int d) {
  return {static_cast<char>('A' + (d - 1) / 10), static_cast<char>('0' + (d - 1) % 10)};
}

std::string Description(int devices, int channels) {
  std::string json = R"({"subscriber_entries": 2, "devices": [)";
  for (int d = 1; d <= devices; ++d) {
    if (d > 1) json += ",";
    json += R"({"driver": "parvex", "number": )" + std::to_string(d) + R"(, "name": "COUNTER )" +
            std::to_string(d) + R"(", "folder": ")" + Folder(d) +
            R"(", "scan_rate": 1000, "port": ")" + Port(d) +
            R"(", "prefixes": {"ai": {"prefix": ")" + Prefix(d) + R"(", "channels": )" +
            std::to_string(channels) + "}}}";
  }
  return json + "]}";
}

// Writes and compiles the device folder of device `d`: `channels` channels reading the values
// of port 1 in turn.
bool WriteFolder(const fs::path& config_root, int d, int channels, std::string* error) {
  const fs::path folder = config_root / Folder(d);
  fs::create_directories(folder);
  {
    std::ofstream config(folder / "config.xml");
    config << "<Configs><Config><AutoEnable>On</AutoEnable><SaveOutputs>Off</SaveOutputs>"
              "<SaveByTag>Off</SaveByTag><SaveRate>1000</SaveRate><ScanRate>1000</ScanRate>"
              "<BaudRate>9600</BaudRate><PortName>"
           << Port(d)
           << "</PortName><Parity>None</Parity><DataBits>8</DataBits></Config></Configs>";
    std::ofstream ai(folder / "ai.xml");
    ai << "<Channels>";
    for (int i = 1; i <= channels; ++i) {
      ai << parvex_test::ChannelXml(i, "C" + std::to_string(i), "VALUE", 1,
                                    kestrum::kValueTypeNames[(i - 1) % kestrum::kValueTypeCount])
                .Text();
    }
    ai << "</Channels>";
  }
  std::vector<std::string> written;
  if (kestrum::CompileConfigFolder(folder.string(), &written, error) != 0) return false;
  fs::remove(folder / "config.xml");
  fs::remove(folder / "ai.xml");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"CPU and memory of many scanners in one instance"};
  int devices = 50, channels = 100;
  double seconds = 30;
  app.add_option("--devices", devices, "scanners, each with its own counter")
      ->check(CLI::Range(1, kMaxDevices));
  app.add_option("--channels", channels, "enabled channels per device")->check(CLI::Range(1, 1000));
  app.add_option("--seconds", seconds, "measured wall time");
  CLI11_PARSE(app, argc, argv);

  parvex_test::ScopedInstance instance;
  parvex_test::RealLocalMachine local_machine;
  const fs::path config_root = instance.root() / "config";
  kestrum::SetEnvironmentValue("KSM_CURRENT_CONFIG", config_root.string());
  kestrum::SetEnvironmentValue("KSM_SAVED_VALUES", (instance.root() / "saved").string());
  fs::create_directories(instance.root() / "saved");
  kestrum::dm::SystemDescription system;
  std::string error;
  if (kestrum::dm::ParseSystemDescription(Description(devices, channels), &system, &error) != 0 ||
      kestrum::dm::CreateInstance(system, &error) != 0) {
    std::fprintf(stderr, "devices_bench: %s\n", error.c_str());
    return 1;
  }
  for (int d = 1; d <= devices; ++d) {
    if (!WriteFolder(config_root, d, channels, &error)) {
      std::fprintf(stderr, "devices_bench: %s\n", error.c_str());
      return 1;
    }
  }
  std::vector<std::unique_ptr<parvex_test::RigCounter>> counters;
  for (int d = 1; d <= devices; ++d) {
    parvex_test::CounterOptions options;
    options.port = Port(d);
    options.interval_ms = 1000;
    counters.push_back(std::make_unique<parvex_test::RigCounter>(options));
    if (counters.back()->Start() != 0) {
      std::perror(("devices_bench: counter on " + Port(d)).c_str());
      return 1;
    }
  }
  kestrum::dm::DriverManager dm(system, [](const std::string& line) {
    std::fprintf(stderr, "devices_bench: %s\n", line.c_str());
  });
  if (dm.StartScanners(PARVEX_SC_PROGRAM) != 0) {
    std::fprintf(stderr, "devices_bench: scanners did not start\n");
    return 1;
  }
  // Sends every scanner a scan request at each whole second for `s` seconds. The requests go
  // through the stand-in, but on a steady one-second clock of this program rather than the
  // boundaries the scanners publish, so the load does not depend on the stand-in's schedule.
  auto run = [&](double s) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(s));
    auto next = Clock::now();
    while (Clock::now() < end) {
      for (int d = 1; d <= devices; ++d) dm.Send(static_cast<uint16_t>(d), kestrum::kMessageScan);
      next += std::chrono::seconds(1);
      std::this_thread::sleep_until(std::min<Clock::time_point>(next, end));
    }
  };
  // Start-up and the first scans are not measured.
  run(5);
  for (int d = 1; d <= devices; ++d) {
    const kestrum::DeviceRecord* record =
        kestrum::FindDeviceRecord("parvex", static_cast<uint16_t>(d));
    if (record == nullptr || record->scanner_ready != 1 || record->operation_in_progress != 0) {
      std::fprintf(stderr, "devices_bench: device %d is not scanning\n", d);
    }
  }
  std::vector<kestrum::ProcessId> scanners;
  std::vector<int> scans_before;
  for (int d = 1; d <= devices; ++d) {
    scanners.push_back(dm.ScannerPid(static_cast<uint16_t>(d)));
    scans_before.push_back(dm.ScansSent(static_cast<uint16_t>(d)));
  }
  double ticks_before = 0, precise_before = 0;
  for (kestrum::ProcessId pid : scanners) {
    const parvex_bench::CpuTime t = parvex_bench::ReadCpuTime(pid);
    ticks_before += t.ticks;
    precise_before += t.precise;
  }
  parvex_bench::PrintMark("measure_begin");
  const Clock::time_point start = Clock::now();
  run(seconds);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  parvex_bench::PrintMark("measure_end");
  double ticks_after = 0, precise_after = 0;
  long rss_max = 0, rss_sum = 0;
  int running = 0, scans = 0;
  for (int d = 1; d <= devices; ++d) {
    const kestrum::ProcessId pid = scanners[d - 1];
    if (pid == 0 || dm.ScannerPid(static_cast<uint16_t>(d)) != pid) continue;
    const parvex_bench::CpuTime t = parvex_bench::ReadCpuTime(pid);
    ticks_after += t.ticks;
    precise_after += t.precise;
    const long rss = parvex_bench::ReadResidentKb(pid);
    rss_max = std::max(rss_max, rss);
    rss_sum += rss;
    ++running;
    scans += dm.ScansSent(static_cast<uint16_t>(d)) - scans_before[d - 1];
  }
  std::printf("devices %d\n", devices);
  std::printf("devices_running %d\n", running);
  std::printf("seconds %.1f\n", wall);
  std::printf("scans_per_device_per_second %.2f\n", running > 0 ? scans / (wall * running) : 0.0);
  std::printf("cpu_all_percent %.3f\n",
              parvex_bench::CorePercent(precise_before, precise_after, wall));
  std::printf("cpu_all_ticks_percent %.3f\n",
              parvex_bench::CorePercent(ticks_before, ticks_after, wall));
  std::printf("rss_max_kb %ld\n", rss_max);
  std::printf("rss_mean_kb %ld\n", running > 0 ? rss_sum / running : 0);
  dm.StopScanners(5000);
  counters.clear();
  kestrum::RemoveEnvironmentValue("KSM_CURRENT_CONFIG");
  kestrum::RemoveEnvironmentValue("KSM_SAVED_VALUES");
  return running == devices ? 0 : 1;
}
