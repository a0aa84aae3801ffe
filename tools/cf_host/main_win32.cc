// parvex_cf_host.exe: the configuration tool's stand-in on Windows. Loads parvex_cf.dll and
// shows its dialogs for a device folder, storing accepted changes, or prints the folder's
// configuration on a printer (or into a file through the printer's driver).
#include <windows.h>

#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/cf_host/host_dialogs.h"
#include "tools/cf_host/host_dialogs_win32.h"
#include "tools/cf_host/module_link_win32.h"
#include "tools/cf_host/print_command_win32.h"

int main(int argc, char** argv) {
  CLI::App app{"Configuration module host: dialogs and print-out of a device folder"};
  parvex::HostOptions options;
  std::string module_file = "parvex_cf.dll";
  std::string kind;
  int number = 0;
  app.add_option("folder", options.folder, "device folder (config, saveconfig, ai, di, ...)")
      ->required();
  app.add_option("--module", module_file,
                 "the configuration module to load (default: parvex_cf.dll beside the host)");
  app.add_option("--number", options.device_number, "device number");
  app.add_option("--name", options.device_name, "device name");
  app.add_option("--default-port", options.default_port, "default COM port number");
  app.require_subcommand(1);
  CLI::App* advanced = app.add_subcommand("advanced", "edit the device's port settings");
  CLI::App* channel = app.add_subcommand("channel", "edit where a channel's value comes from");
  channel->add_option("kind", kind, "channel kind: ai, di, ao, do or ci")->required();
  channel->add_option("number", number, "channel number, from 1")->required();
  for (CLI::App* dialog : {advanced, channel}) {
    dialog->add_option("--screenshot", options.screenshot, "save the dialog as BMP and close it");
    dialog->add_flag("--accept", options.accept, "close the dialog with OK (scripted runs)");
  }
  parvex::WindowsPrintOptions print;
  CLI::App* printing = app.add_subcommand("print", "print the device's configuration");
  printing->add_option("--printer", print.printer, "printer name (default: the default printer)");
  printing->add_option("--output", print.output, "file that receives the printer's output");
  printing->add_option("--server", print.server, "server name for the header");
  printing->add_option("--point-size", print.point_size, "size of the printer font")
      ->check(CLI::Range(4, 72));
  printing->add_flag("--stored", print.stored, "let the module read the stored configuration");
  CLI11_PARSE(app, argc, argv);

  parvex::ModuleLink module;
  std::string error;
  if (!module.Load(module_file, &error)) {
    std::cerr << "parvex_cf_host: " << error << "\n";
    return 1;
  }
  if (*advanced) return parvex::RunAdvanced(module, options, parvex::RunWin32Dialog);
  if (*printing) {
    parvex::DeviceFolder folder;
    ParvexDeviceEntry entry;
    if (!parvex::LoadDevice(options, &folder, &entry)) return 1;
    return parvex::RunWindowsPrint(module.print_all, folder, entry, print);
  }
  return parvex::RunChannel(module, options, parvex::RunWin32Dialog, kind, number);
}
