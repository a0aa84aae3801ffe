#include "config/extension_module.h"

#include <cctype>
#include <cerrno>
#include <mutex>
#include <string_view>

#include "config/processor_file.h"
#include "config/runtime_services.h"
#include "platform/error_number.h"
#include "records/text_case.h"
#include "runtime/extension_names.h"

namespace kestrum {
namespace {

std::string_view TrimSeparators(std::string_view path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  return path;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool StartsWithNumbered(const std::string& name, std::string_view word) {
  return name.size() > word.size() &&
         CompareIgnoringCase(name.c_str(), word.data(), word.size()) == 0 &&
         std::isdigit(static_cast<unsigned char>(name[word.size()]));
}

// Tries `file` as formed and lower-cased, through the loader's search, then in the program
// folder.
ModuleHandle LoadNamed(const std::string& file) {
  const std::string lower = Lower(file);
  if (ModuleHandle m = LoadModule(file)) return m;
  if (lower != file) {
    if (ModuleHandle m = LoadModule(lower)) return m;
  }
  const std::string bin = ConfigProgramFolder();
  if (ModuleHandle m = LoadModuleFrom(bin, file)) return m;
  if (lower != file) {
    if (ModuleHandle m = LoadModuleFrom(bin, lower)) return m;
  }
  return nullptr;
}

// The generic module of a data processor listed in the parent folder's "DATPROC.TXT", or null.
ModuleHandle LoadGenericModule(std::string_view folder, const std::string& driver) {
  size_t slash = folder.find_last_of("/\\");
  std::string parent = slash == std::string_view::npos ? "." : std::string(folder.substr(0, slash));
  if (parent.empty()) parent = "/";
  if (OpenProcessorFile((parent + "/" + kProcessorFileName).c_str()) < 0) return nullptr;
  char* fields[5];
  int columns[5];
  int n;
  ProcessorEntry entry{};
  int accepted = 0;
  while ((n = NextProcessorLine(fields, columns, 5)) > 0) {
    if (CompareIgnoringCase(fields[0], driver.c_str(), 5) == 0) {
      accepted = ParseProcessorLine(&entry, fields, columns, n, &entry);
      break;
    }
  }
  CloseProcessorFile();
  if (accepted != 1 || entry.run != 0) return nullptr;
  return LoadNamed(ExtensionModuleFile(entry.kind == kProcessorKindAnalogue ? kGenericAnalogueDriver
                                                                            : kGenericOtherDriver));
}

}  // namespace

std::string ExtensionDriverName(const std::string& folder) {
  std::string_view path = TrimSeparators(folder);
  size_t slash = path.find_last_of("/\\");
  std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
  size_t bar = name.rfind('_');
  if (bar != std::string::npos) name.resize(bar);
  if (StartsWithNumbered(name, "calc")) return "calc";
  if (StartsWithNumbered(name, "opddx")) return "opddx";
  return name;
}

ModuleHandle LoadExtensionModule(const char* folder) {
  if (folder == nullptr) {
    FailWith(EINVAL);
    return nullptr;
  }
  const std::string driver = ExtensionDriverName(folder);
  ModuleHandle module = nullptr;
  if (!driver.empty()) module = LoadNamed(ExtensionModuleFile(driver));
  if (module == nullptr) module = LoadGenericModule(TrimSeparators(folder), driver);
  if (module == nullptr) SetErrorNumber(ENOENT);
  return module;
}

int ExtensionSupportsXml(const char* folder) {
  static std::mutex mutex;
  static std::string last_folder;
  static int last_answer = 0;
  static bool known = false;
  if (folder == nullptr) return 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (known && CompareIgnoringCase(last_folder.c_str(), folder) == 0) return last_answer;
  }
  int answer = 0;
  if (ModuleHandle module = LoadExtensionModule(folder)) {
    answer = FindModuleSymbol(module, "Ex_DoXml") != nullptr ? 1 : 0;
    FreeModule(module);
  }
  std::lock_guard<std::mutex> lock(mutex);
  last_folder = folder;
  last_answer = answer;
  known = true;
  return answer;
}

}  // namespace kestrum
