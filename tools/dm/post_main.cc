// kestrum_post: posts one message code to a process's mailslot or to a named mailslot.
//
//   kestrum_post [--instance DIR (Linux)] PID CODE
//   kestrum_post [--instance DIR (Linux)] --slot NAME CODE
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "runtime/driver_link.h"

int main(int argc, char** argv) {
  CLI::App app{"Posts a 4-byte message code to a process or a mailslot"};
  std::string instance_dir, slot;
  std::vector<long long> values;
#ifndef _WIN32
  // Windows has one instance, the machine's objects: no option moves them.
  app.add_option("--instance", instance_dir, "instance directory (default: KESTRUM_RUNDIR)");
#endif
  app.add_option("--slot", slot, "mailslot name (for example xalarms) instead of a process id");
  app.add_option("values", values, "PID CODE, or CODE with --slot")->required();
  CLI11_PARSE(app, argc, argv);

#ifndef _WIN32
  if (!instance_dir.empty()) kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", instance_dir);
#endif
  if (values.size() != (slot.empty() ? 2u : 1u)) {
    std::cerr << "kestrum_post: expected " << (slot.empty() ? "PID CODE" : "CODE") << "\n";
    return 2;
  }
  const auto code = static_cast<int32_t>(values.back());
  int result;
  if (slot.empty()) {
    result = kestrum::PostToProcess(static_cast<uint32_t>(values[0]), code);
  } else {
    int handle = kestrum::OpenMailslotForWriting(slot);
    result = handle < 0 ? -1 : (kestrum::WriteExactly(handle, &code, sizeof(code)) < 0 ? -1 : 0);
    kestrum::CloseMailslotHandle(handle);
  }
  if (result != 0) {
    std::cerr << "kestrum_post: not delivered: " << std::strerror(kestrum::GetErrorNumber())
              << "\n";
    return 1;
  }
  return 0;
}
