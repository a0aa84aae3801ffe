// kestrum_cfgc: compiles the XML configuration of a device folder into the binary files that
// the SCADA reads, writes the XML forms of existing binary files, or checks the XML forms.
//
//   kestrum_cfgc compile FOLDER [--channels N]
//                                   config.xml, ai.xml, ... -> config, saveconfig, ai, ...
//                                   (N records per channel file; without it the highest id)
//   kestrum_cfgc decompile FOLDER --to OUT [--force]
//                                   config, saveconfig, ai, ... -> OUT/config.xml, OUT/ai.xml, ...
//   kestrum_cfgc check FOLDER [--channels N]
//                                   reads the XML files as the scanner would, plus the schemas
//
// The folder's extension module (found as the scanner finds it, KSM_BIN included) describes
// its device block and hardware parts; without one the particle counter's description is used.
// Every finding is printed, warnings and errors; the exit status is 1 when one is an error.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <CLI/CLI.hpp>

#include "config/channel_config.h"
#include "config/channel_id.h"
#include "config/config_compiler.h"
#include "config/device_config.h"
#include "config/extension_module.h"
#include "config/schema_check.h"
#include "embedded_schemas.h"
#include "platform/file_system.h"
#include "platform/shared_object.h"

namespace {

// A complete, working folder in two files and the commands around it.
constexpr const char kExample[] = R"(Example (a counter on COM1 with one channel):
  DEV/config.xml:
    <Configs><Config>
      <AutoEnable>On</AutoEnable> <SaveOutputs>Off</SaveOutputs> <SaveByTag>Off</SaveByTag>
      <SaveRate>60000</SaveRate> <ScanRate>1000</ScanRate> <PortName>COM1</PortName>
      <BaudRate>9600</BaudRate> <Parity>None</Parity> <DataBits>8</DataBits>
    </Config></Configs>
  DEV/ai.xml:
    <Channels><Channel id="1">
      <Enable>On</Enable> <Tag>COUNT</Tag> <Description>particles 0.5 um</Description>
      <Type>AI</Type> <ErrorAlarmEnable>Off</ErrorAlarmEnable> <EventEnable>Off</EventEnable>
      <Units>cnt</Units> <MaximumUnits>100000</MaximumUnits> <MinimumUnits>0</MinimumUnits>
      <ReferenceEnable>Off</ReferenceEnable> <SigChangeEnable>Off</SigChangeEnable>
      <ScalingEnable>Off</ScalingEnable> <LowAlarmEnable>Off</LowAlarmEnable>
      <HighAlarmEnable>Off</HighAlarmEnable> <Analogue>00010000000000000000000000000000</Analogue>
    </Channel></Channels>
  kestrum_cfgc check DEV                      # every error at once, changes nothing
  kestrum_cfgc compile DEV --channels 1       # -> DEV/config, DEV/saveconfig, DEV/ai
  kestrum_cfgc decompile DEV --to DEV-xml     # -> DEV-xml/config.xml, DEV-xml/ai.xml
)";

void Print(const kestrum::FolderFindings& findings) {
  for (const kestrum::FolderFinding& f : findings) {
    std::fprintf(stderr, "%s: %s\n", f.error ? "error" : "warning", f.text.c_str());
  }
}

void PrintWritten(const std::string& folder, const std::vector<std::string>& written) {
  for (const std::string& name : written)
    std::printf("wrote %s/%s\n", folder.c_str(), name.c_str());
}

bool HasExtensionModule(const std::string& folder) {
  kestrum::ModuleHandle module = kestrum::LoadExtensionModule(folder.c_str());
  if (module == nullptr) return false;
  kestrum::FreeModule(module);
  return true;
}

// The loaders' reading and the compiler's checks, then the schemas of the files that exist (a
// folder with an extension module has fields of its own, which the schemas do not describe).
int Check(const std::string& folder, int channels) {
  kestrum::FolderFindings findings;
  int result = kestrum::CheckConfigFolder(folder, channels, &findings);
  if (HasExtensionModule(folder)) {
    findings.push_back({false, folder + ": has an extension module; its fields are not checked "
                                        "against the schemas"});
  } else {
    auto validate = [&](const std::string& name, std::string_view schema) {
      const std::string path = folder + "/" + name;
      if (kestrum::PathExists(path) && kestrum::CheckAgainstSchema(path, schema, &findings) != 0) {
        result = -1;
      }
    };
    validate(kestrum::kDeviceConfigXmlFile, kConfigSchema);
    for (int kind = 0; kind < kestrum::kChannelKindCount; ++kind) {
      validate(kestrum::ChannelFileName(kind, true), kChannelsSchema);
    }
  }
  Print(findings);
  if (result == 0) std::printf("%s: no errors\n", folder.c_str());
  return result == 0 ? 0 : 1;
}

int Run(int argc, char** argv) {
  CLI::App app{"Compiles a device folder's XML configuration into binary files, or back."};
  app.require_subcommand(1);
  app.footer(kExample);
  std::string folder;
  int channels = 0;
  auto add_folder = [&](CLI::App* command) {
    command->add_option("folder", folder, "device folder")
        ->required()
        ->check(CLI::ExistingDirectory);
    command->footer(kExample);
  };
  auto add_channels = [&](CLI::App* command) {
    command
        ->add_option("--channels", channels,
                     "the channel table's channel count: records per channel file (default: the "
                     "highest id)")
        ->check(CLI::Range(1, kestrum::kMaxChannelId));
  };
  CLI::App* compile = app.add_subcommand("compile", "XML files -> binary files in the folder");
  add_folder(compile);
  add_channels(compile);
  CLI::App* decompile =
      app.add_subcommand("decompile", "binary files -> XML files in another folder");
  add_folder(decompile);
  std::string to;
  bool force = false;
  decompile->add_option("--to", to, "folder the XML files go to (created when missing)")
      ->required();
  decompile->add_flag("--force", force, "replace XML files that exist in that folder");
  CLI::App* check = app.add_subcommand(
      "check", "reads the XML files as the scanner would and against the schemas; writes nothing");
  add_folder(check);
  add_channels(check);
  CLI11_PARSE(app, argc, argv);

  if (check->parsed()) return Check(folder, channels);
  std::vector<std::string> written;
  kestrum::FolderFindings findings;
  int result;
  if (compile->parsed()) {
    std::string error;
    result = kestrum::CompileConfigFolder(folder, &written, &error, channels, &findings);
    PrintWritten(folder, written);
  } else {
    std::error_code ec;
    std::filesystem::create_directories(to, ec);
    if (ec) {
      std::fprintf(stderr, "error: %s: %s\n", to.c_str(), ec.message().c_str());
      return 1;
    }
    result = kestrum::DecompileConfigFolderTo(folder, to, force, &written, &findings);
    PrintWritten(to, written);
    for (const kestrum::FolderFinding& f : findings) {
      if (f.error && f.text.ends_with(": File exists")) {
        findings.push_back({false, "existing files are replaced only with --force"});
        break;
      }
    }
  }
  Print(findings);
  return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing may end the program with an uncaught exception: a failure is a message and status 1.
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "error: unexpected failure\n");
  }
  return 1;
}
