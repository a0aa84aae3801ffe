// kestrum_area_dump: shows shared areas of an instance, decoded, as text or JSON.
//
//   kestrum_area_dump [--instance DIR (Linux)] [--json] [--platform 1|2] [AREA...]
//
// Without area names it shows every area of the instance.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "runtime/shared_area.h"
#include "tools/dm/area_dump.h"

int main(int argc, char** argv) {
  CLI::App app{"Shows the shared areas of a SCADA instance"};
  std::string instance_dir;
  bool as_json = false;
  int platform_id = 2;
  std::vector<std::string> names;
#ifndef _WIN32
  // Windows has one instance, the machine's objects: no option moves them.
  app.add_option("--instance", instance_dir, "instance directory (default: KESTRUM_RUNDIR)");
#endif
  app.add_flag("--json", as_json, "print JSON instead of text");
  app.add_option("--platform", platform_id, "table layout: platform id 1 or 2")
      ->check(CLI::IsMember({1, 2}));
  app.add_option("areas", names, "area base names (default: all)");
  CLI11_PARSE(app, argc, argv);

#ifndef _WIN32
  if (!instance_dir.empty()) kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", instance_dir);
#endif
  if (names.empty()) names = kestrum::dm::ListAreas();
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  int status = 0;
  for (const std::string& name : names) {
    void* area = kestrum::OpenSharedArea(name);
    if (!area) {
      std::cerr << "kestrum_area_dump: " << name << ": cannot open (error "
                << kestrum::GetErrorNumber() << ")\n";
      status = 1;
      continue;
    }
    nlohmann::ordered_json decoded =
        kestrum::dm::DecodeArea(area, kestrum::SharedAreaMappedSize(area), name, platform_id);
    if (as_json) {
      all.push_back(decoded);
    } else {
      std::cout << kestrum::dm::RenderText(decoded) << "\n";
    }
  }
  if (as_json) {
    std::cout << all.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  }
  return status;
}
