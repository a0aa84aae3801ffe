// parvex_cf_host.exe with the print command alone: loads parvex_cf.dll and prints a device
// folder's configuration on a printer, or into a file through the printer's driver.
#include <windows.h>

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "tools/cf_host/device_folder.h"
#include "tools/cf_host/print_command_win32.h"

int main(int argc, char** argv) {
  CLI::App app{"Configuration module host: print-out of a device folder"};
  std::string folder_path;
  std::string module_file = PARVEX_CF_DEFAULT_MODULE;
  uint16_t device_number = 1;
  std::string device_name = "COUNTER";
  parvex::WindowsPrintOptions print;
  app.add_option("folder", folder_path, "device folder (config, saveconfig, ai, di, ...)")
      ->required();
  app.add_option("--module", module_file, "the configuration module to load");
  app.add_option("--number", device_number, "device number");
  app.add_option("--name", device_name, "device name");
  app.require_subcommand(1);
  CLI::App* printing = app.add_subcommand("print", "print the device's configuration");
  printing->add_option("--printer", print.printer, "printer name (default: the default printer)");
  printing->add_option("--output", print.output, "file that receives the printer's output");
  printing->add_option("--server", print.server, "server name for the header");
  printing->add_option("--point-size", print.point_size, "size of the printer font")
      ->check(CLI::Range(4, 72));
  printing->add_flag("--stored", print.stored, "let the module read the stored configuration");
  CLI11_PARSE(app, argc, argv);

  HMODULE module = LoadLibraryA(module_file.c_str());
  if (module == nullptr) {
    std::cerr << "parvex_cf_host: cannot load " << module_file << " (error " << GetLastError()
              << ")\n";
    return 1;
  }
  // Through the generic function type, which every function pointer may be cast to and back.
  auto print_all = reinterpret_cast<decltype(&PrintAllConfig)>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "PrintAllConfig")));
  if (print_all == nullptr) {
    std::cerr << "parvex_cf_host: " << module_file << " has no PrintAllConfig\n";
    return 1;
  }
  parvex::DeviceFolder folder;
  std::string error;
  if (parvex::ReadDeviceFolder(folder_path, &folder, &error) != 0) {
    std::cerr << "parvex_cf_host: " << error << "\n";
    return 1;
  }
  ParvexDeviceEntry entry = parvex::MakeDeviceEntry(folder, device_number, device_name);
  return parvex::RunWindowsPrint(print_all, folder, entry, print);
}
