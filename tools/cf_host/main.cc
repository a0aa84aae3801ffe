// parvex_cf_host: the configuration tool's stand-in. Loads libparvex_cf.so, shows its dialogs
// for a device folder and stores accepted changes, or prints the device's configuration.
#include <QApplication>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>

#include "tools/cf_host/host_commands.h"
#include "tools/cf_host/module_link.h"

int main(int argc, char** argv) {
  CLI::App app{"Configuration module host: dialogs and print-out of a device folder"};
  parvex::HostOptions options;
  parvex::PrintOptions print;
  std::string module_file;
  std::string kind;
  int number = 0;
  app.add_option("folder", options.folder, "device folder (config, saveconfig, ai, di, ...)")
      ->required();
  app.add_option("--module", module_file,
                 "the configuration module to load (default: " PARVEX_CF_MODULE_NAME
                 " in this program's folder, else the one built with it)");
  app.add_option("--number", options.device_number, "device number");
  app.add_option("--name", options.device_name, "device name");
  app.add_option("--default-port", options.default_port, "default COM port number");
  app.require_subcommand(1);
  CLI::App* advanced = app.add_subcommand("advanced", "edit the device's port settings");
  CLI::App* channel = app.add_subcommand("channel", "edit where a channel's value comes from");
  channel->add_option("kind", kind, "channel kind: ai, di, ao, do or ci")->required();
  channel->add_option("number", number, "channel number, from 1")->required();
  for (CLI::App* dialog : {advanced, channel}) {
    dialog->add_option("--screenshot", options.screenshot, "save the dialog as PNG and close it");
    dialog->add_flag("--accept", options.accept, "close the dialog with OK (scripted runs)");
  }
  CLI::App* printing = app.add_subcommand("print", "print the device's configuration");
  auto* pdf = printing->add_option("--pdf", print.pdf, "PDF file to write");
  printing->add_option("--text", print.text, "text file to write (- for standard output)")
      ->excludes(pdf);
  printing->add_option("--server", print.server, "server name for the header");
  printing->add_option("--lines-per-page", print.lines_per_page, "text page length")
      ->check(CLI::Range(2, 10000));
  printing->add_flag("--stored", print.stored, "let the module read the stored configuration");
  CLI11_PARSE(app, argc, argv);

  // Without a display the dialogs still run (and can be pictured) on the offscreen platform.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  }
  QApplication qt(argc, argv);
  const QString module_path =
      module_file.empty()
          ? parvex::DefaultModuleFile(PARVEX_CF_MODULE_NAME, PARVEX_CF_DEFAULT_MODULE)
          : QString::fromStdString(module_file);
  parvex::ModuleLink module;
  QString error;
  if (!module.Load(module_path, &error)) {
    std::cerr << "parvex_cf_host: " << error.toStdString() << "\n";
    return 1;
  }
  if (*advanced) return parvex::RunAdvanced(module, options, parvex::RunQtDialog);
  if (*channel) return parvex::RunChannel(module, options, parvex::RunQtDialog, kind, number);
  return parvex::RunPrint(module, options, print);
}
