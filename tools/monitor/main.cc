// kestrum_monitor: a commissioning view of one device of a SCADA instance.
//
//   kestrum_monitor [--instance DIR] [--driver NAME] [--device N]          live terminal view
//   kestrum_monitor ... --once [--json] [--listen SECONDS]                  one-shot print-out
//
// It shows per channel the tag, value, units and decoded state, each table's scan duration and
// error code, the device's current error message from "dm_errors" and the latest alarm records.
// For the alarm records it binds the alarm service's mailslot "xalarms" itself; an instance
// whose alarm data processor owns that mailslot keeps it, and the monitor then shows no alarm
// records (--no-alarms skips the binding altogether).
#include <CLI/CLI.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "platform/own_process.h"
#include "platform/stop_request.h"
#include "tools/monitor/alarm_feed.h"
#include "tools/monitor/device_view.h"
#include "tools/monitor/monitor_screen.h"
#include "tools/monitor/view_render.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

using Clock = std::chrono::steady_clock;

// Waits until the device can be read or `deadline` passes, listening for alarms meanwhile.
int WaitForDevice(const kestrum::monitor::DeviceSelector& selector, Clock::time_point deadline,
                  kestrum::monitor::AlarmFeed* feed, kestrum::monitor::DeviceView* view,
                  std::string* problem) {
  for (;;) {
    if (ReadDeviceView(selector, view, problem) == 0) return 0;
    if (g_stop || Clock::now() >= deadline) return -1;
    if (feed->bound()) {
      feed->WaitAndDrain(100);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

int PrintOnce(const kestrum::monitor::DeviceSelector& selector, double listen_s, double wait_s,
              bool as_json, kestrum::monitor::AlarmFeed* feed) {
  const Clock::time_point start = Clock::now();
  kestrum::monitor::DeviceView view;
  std::string problem;
  if (WaitForDevice(selector,
                    start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(wait_s)),
                    feed, &view, &problem) != 0) {
    std::fprintf(stderr, "kestrum_monitor: %s\n", problem.c_str());
    return 1;
  }
  const Clock::time_point end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(listen_s));
  while (!g_stop && Clock::now() < end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    const int wait = static_cast<int>(std::min<long long>(left.count(), 200));
    if (feed->bound()) {
      feed->WaitAndDrain(wait);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
  }
  feed->Drain();
  if (ReadDeviceView(selector, &view, &problem) != 0) {
    std::fprintf(stderr, "kestrum_monitor: %s\n", problem.c_str());
    return 1;
  }
  if (as_json) {
    std::cout << RenderJson(view, feed->entries(), feed->bound())
                     .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else {
    std::cout << RenderText(view, feed->entries(), feed->bound());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Shows one device of a SCADA instance: channels, states, errors and alarms"};
  std::string instance_dir, ready_file;
  kestrum::monitor::DeviceSelector selector;
  bool once = false, as_json = false, no_alarms = false;
  double listen_s = 0, wait_s = 10;
  int refresh_ms = 500;
  std::size_t keep = 50;
  app.add_option("--instance", instance_dir, "instance directory (default: KESTRUM_RUNDIR)");
  app.add_option("--driver", selector.driver, "driver name of the device (default: any)");
  app.add_option("--device", selector.number, "device number (default: the first device)");
  app.add_flag("--once", once, "print the view once, as text, and exit");
  app.add_flag("--json", as_json, "with --once: print JSON instead of text");
  app.add_option("--listen", listen_s, "with --once: seconds to collect alarm records first")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--wait", wait_s, "with --once: seconds to wait for the device to appear")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--refresh", refresh_ms, "live view: milliseconds between reads")
      ->check(CLI::Range(50, 60000))
      ->capture_default_str();
  app.add_option("--keep", keep, "alarm records kept")->check(CLI::Range(1, 10000));
  app.add_flag("--no-alarms", no_alarms, "do not bind the \"xalarms\" mailslot");
  app.add_option("--ready-file", ready_file,
                 "file created once \"xalarms\" is bound (or given up), for scripts");
  CLI11_PARSE(app, argc, argv);
  if (as_json) once = true;

#ifdef _WIN32
  // The objects of an instance on Windows are the system's own ("Global\dm_device",
  // "\\.\mailslot\xalarms"): there is no instance directory to point at.
  if (!instance_dir.empty()) {
    std::fprintf(stderr,
                 "kestrum_monitor: --instance has no meaning on Windows, where the areas and "
                 "mailslots of an instance are the system's named objects; leave it out\n");
    return 2;
  }
#endif
  if (!instance_dir.empty()) kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", instance_dir);
  // The one-shot forms are the same bytes on every platform.
  kestrum::KeepStandardOutputBytes();
  kestrum::WatchStopRequests(&g_stop);

  kestrum::monitor::AlarmFeed feed(keep);
  if (!no_alarms && feed.Bind() != 0) {
    std::fprintf(stderr, "kestrum_monitor: not listening for alarm records: %s\n",
                 std::strerror(kestrum::GetErrorNumber()));
  }
  if (!ready_file.empty()) std::ofstream(ready_file) << (feed.bound() ? "bound\n" : "unbound\n");

  if (once) return PrintOnce(selector, listen_s, wait_s, as_json, &feed);
  kestrum::monitor::ScreenOptions options;
  options.selector = selector;
  options.refresh_ms = refresh_ms;
  return kestrum::monitor::RunScreen(options, &feed, &g_stop);
}
