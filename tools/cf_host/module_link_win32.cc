#include "tools/cf_host/module_link_win32.h"

namespace parvex {
namespace {

template <typename F>
bool Resolve(HMODULE module, const std::string& file, const char* name, F* entry,
             std::string* error) {
  *entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*entry == nullptr) *error = file + " has no entry point " + name;
  return *entry != nullptr;
}

}  // namespace

ModuleLink::~ModuleLink() {
  if (module_) FreeLibrary(module_);
}

bool ModuleLink::Load(const std::string& file, std::string* error) {
  module_ = LoadLibraryA(file.c_str());
  if (module_ == nullptr) {
    *error = "cannot load " + file + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return Resolve(module_, file, "DLL_ConfigAdvanDevSpecific", &advanced, error) &&
         Resolve(module_, file, "DLL_ConfigChanDevSpecific", &channel, error) &&
         Resolve(module_, file, "DLL_SetDefaultComPort", &set_default_port, error) &&
         Resolve(module_, file, "PrintAllConfig", &print_all, error) &&
         Resolve(module_, file, "PrintConfig", &print, error);
}

}  // namespace parvex
