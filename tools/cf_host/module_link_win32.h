// parvex_cf.dll loaded the way the configuration tool loads it: by file, with its entry points
// looked up by name.
#ifndef PARVEX_TOOLS_CF_HOST_MODULE_LINK_WIN32_H_
#define PARVEX_TOOLS_CF_HOST_MODULE_LINK_WIN32_H_

#include <windows.h>

#include <string>

#include "tools/cf_host/host_dialogs.h"

namespace parvex {

/// The module's dialog and print entry points. Load() fills them; the DLL stays loaded while the
/// object lives.
class ModuleLink : public ModuleEntryPoints {
 public:
  ModuleLink() = default;
  ~ModuleLink();
  ModuleLink(const ModuleLink&) = delete;
  ModuleLink& operator=(const ModuleLink&) = delete;

  /// Loads `file` (a bare name is searched for as LoadLibraryA searches, the host's own folder
  /// first) and looks up the entry points. Returns false with `*error` set when the file cannot
  /// be loaded or an entry point is missing.
  bool Load(const std::string& file, std::string* error);

 private:
  HMODULE module_ = nullptr;
};

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_MODULE_LINK_WIN32_H_
