// kestrum_cfgc: compiles the XML configuration of a device folder into the binary files that
// the SCADA reads, or writes the XML forms of existing binary files.
//
//   kestrum_cfgc compile FOLDER [--channels N]
//                                   config.xml, ai.xml, ... -> config, saveconfig, ai, ...
//                                   (N records per channel file; without it the highest id)
//   kestrum_cfgc decompile FOLDER   config, saveconfig, ai, ... -> config.xml, ai.xml, ...
//
// The folder's extension module (found as the scanner finds it, KSM_BIN included) describes
// its device block and hardware parts; without one the particle counter's description is used.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "config/channel_id.h"
#include "config/config_compiler.h"

int main(int argc, char** argv) {
  CLI::App app{"Compiles a device folder's XML configuration into binary files, or back."};
  app.require_subcommand(1);
  std::string folder;
  CLI::App* compile = app.add_subcommand("compile", "XML files -> binary files");
  compile->add_option("folder", folder, "device folder")->required()->check(CLI::ExistingDirectory);
  int channels = 0;
  compile
      ->add_option("--channels", channels,
                   "the channel table's channel count: records per channel file (default: the "
                   "highest id)")
      ->check(CLI::Range(1, kestrum::kMaxChannelId));
  CLI::App* decompile = app.add_subcommand("decompile", "binary files -> XML files");
  decompile->add_option("folder", folder, "device folder")
      ->required()
      ->check(CLI::ExistingDirectory);
  CLI11_PARSE(app, argc, argv);

  std::vector<std::string> written;
  std::string error;
  int result = compile->parsed() ? kestrum::CompileConfigFolder(folder, &written, &error, channels)
                                 : kestrum::DecompileConfigFolder(folder, &written, &error);
  if (result != 0) {
    std::fprintf(stderr, "kestrum_cfgc: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& name : written)
    std::printf("wrote %s/%s\n", folder.c_str(), name.c_str());
  return 0;
}
