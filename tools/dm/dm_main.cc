// kestrum_dm: a stand-in for the SCADA's driver manager.
//
//   kestrum_dm --system system.json [--scanner PROGRAM] [--instance DIR] [--keep]
//
// Builds the instance described by the JSON file, starts each device's scanner, sends scan
// requests at the boundaries the scanners publish, and reads commands from standard input:
//   scan N | reconfigure N | reset N | init N | stop N | send N CODE | status | quit
// On "quit" or a stop request (SIGINT, SIGTERM; Ctrl+C on Windows) it stops the scanners (31),
// waits for them and removes the instance directory (unless --keep). On Windows the instance
// is the machine's objects, which live until this program ends: there is no --instance and no
// directory to remove.
#include <CLI/CLI.hpp>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "platform/environment.h"
#include "platform/instance_paths.h"
#include "platform/stop_request.h"
#include "runtime/driver_link.h"
#include "tools/dm/driver_manager.h"
#include "tools/dm/instance.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

// Handles one command line; returns false for "quit".
bool Command(const std::string& line, kestrum::dm::DriverManager& dm,
             const kestrum::dm::SystemDescription& system) {
  static const std::map<std::string, int32_t> kCodes = {
      {"scan", kestrum::kMessageScan},
      {"reconfigure", kestrum::kMessageReconfigure},
      {"reset", kestrum::kMessageResetCounters},
      {"init", kestrum::kMessageInitialiseValues},
      {"stop", kestrum::kMessageStop}};
  std::istringstream in(line);
  std::string word;
  if (!(in >> word)) return true;
  if (word == "quit") return false;
  if (word == "status") {
    for (const auto& device : system.devices) {
      std::cout << device.driver << " " << device.number << " pid " << dm.ScannerPid(device.number)
                << " scans " << dm.ScansSent(device.number) << " exit "
                << dm.ExitStatus(device.number) << std::endl;
    }
    return true;
  }
  unsigned number = 0;
  int32_t code = 0;
  auto known = kCodes.find(word);
  if (known != kCodes.end() && (in >> number)) {
    code = known->second;
  } else if (!(word == "send" && (in >> number >> code))) {
    std::cerr << "unknown command: " << line << std::endl;
    return true;
  }
  if (dm.Send(static_cast<uint16_t>(number), code) != 0) {
    std::cerr << "device " << number << ": code " << code << " not delivered" << std::endl;
  }
  return true;
}

// Standard input, read line by line by a thread of its own, so that the main loop never
// blocks on it. The thread is detached (it may sit in a read until the process ends) and
// shares the queue, which outlives this object while the thread needs it. At the end of the
// input no more lines come: the program runs on until a stop request.
class InputLines {
 public:
  InputLines() : queue_(std::make_shared<Queue>()) {
    std::thread([queue = queue_] {
      std::string line;
      while (std::getline(std::cin, line)) {
        std::lock_guard<std::mutex> lock(queue->mutex);
        queue->lines.push_back(line);
      }
    }).detach();
  }

  // Takes the next complete line into `*line`; false when there is none yet.
  bool Next(std::string* line) {
    std::lock_guard<std::mutex> lock(queue_->mutex);
    if (queue_->lines.empty()) return false;
    *line = std::move(queue_->lines.front());
    queue_->lines.pop_front();
    return true;
  }

 private:
  struct Queue {
    std::mutex mutex;
    std::deque<std::string> lines;
  };
  std::shared_ptr<Queue> queue_;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Driver-manager stand-in: builds an instance and runs its scanners"};
  std::string system_file, scanner;
  app.add_option("--system", system_file, "JSON description of the system")->required();
  app.add_option("--scanner", scanner, "scanner program (default: the description's)");
#ifndef _WIN32
  std::string instance_dir;
  bool keep = false;
  app.add_option("--instance", instance_dir, "instance directory (default: KESTRUM_RUNDIR)");
  app.add_flag("--keep", keep, "keep the instance directory on exit");
#endif
  CLI11_PARSE(app, argc, argv);

#ifndef _WIN32
  if (!instance_dir.empty()) kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", instance_dir);
#endif
  std::ifstream file(system_file);
  std::stringstream text;
  text << file.rdbuf();
  kestrum::dm::SystemDescription system;
  std::string error;
  if (!file || kestrum::dm::ParseSystemDescription(text.str(), &system, &error) != 0) {
    std::cerr << "kestrum_dm: " << system_file << ": " << (file ? error : "cannot read") << "\n";
    return 2;
  }
  if (kestrum::dm::CreateInstance(system, &error) != 0) {
    std::cerr << "kestrum_dm: " << error << "\n";
    return 1;
  }
  kestrum::WatchStopRequests(&g_stop);
  kestrum::IgnoreBrokenPipes();

  kestrum::dm::DriverManager dm(system,
                                [](const std::string& line) { std::cout << line << std::endl; });
  if (scanner.empty()) scanner = system.scanner;
  if (!scanner.empty()) dm.StartScanners(scanner);
#ifdef _WIN32
  std::cout << "ready" << std::endl;
#else
  std::cout << "ready " << kestrum::InstanceDir() << std::endl;
#endif

  InputLines input;
  bool quit = false;
  while (!g_stop && !quit) {
    dm.Tick();
    std::string line;
    while (!quit && input.Next(&line)) quit = !Command(line, dm, system);
    if (!quit) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  dm.StopScanners(5000);
#ifndef _WIN32
  if (!keep) kestrum::dm::RemoveInstance(kestrum::InstanceDir());
#endif
  return 0;
}
