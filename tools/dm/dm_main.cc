// kestrum_dm: a stand-in for the SCADA's driver manager.
//
//   kestrum_dm --system system.json [--instance DIR] [--scanner PROGRAM] [--keep]
//
// Builds the instance described by the JSON file, starts each device's scanner, sends scan
// requests at the boundaries the scanners publish, and reads commands from standard input:
//   scan N | reconfigure N | reset N | init N | stop N | send N CODE | status | quit
// On "quit", SIGINT or SIGTERM it stops the scanners (31), waits for them and
// removes the instance (unless --keep).
#include <poll.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Driver-manager stand-in: builds an instance and runs its scanners"};
  std::string system_file, instance_dir, scanner;
  bool keep = false;
  app.add_option("--system", system_file, "JSON description of the system")->required();
  app.add_option("--instance", instance_dir, "instance directory (default: KESTRUM_RUNDIR)");
  app.add_option("--scanner", scanner, "scanner program (default: the description's)");
  app.add_flag("--keep", keep, "keep the instance directory on exit");
  CLI11_PARSE(app, argc, argv);

  if (!instance_dir.empty()) kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", instance_dir);
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
  std::cout << "ready " << kestrum::InstanceDir() << std::endl;

  bool input_open = true;
  std::string pending;
  while (!g_stop) {
    dm.Tick();
    pollfd in = {STDIN_FILENO, POLLIN, 0};
    if (!input_open || poll(&in, 1, 5) != 1) {
      if (!input_open) usleep(5000);
      continue;
    }
    char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
    if (n <= 0) {
      input_open = false;  // without input, run until a signal
      continue;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    bool quit = false;
    while (!quit && (end = pending.find('\n')) != std::string::npos) {
      quit = !Command(pending.substr(0, end), dm, system);
      pending.erase(0, end + 1);
    }
    if (quit) break;
  }
  dm.StopScanners(5000);
  if (!keep) kestrum::dm::RemoveInstance(kestrum::InstanceDir());
  return 0;
}
