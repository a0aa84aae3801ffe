#include <windows.h>

#include <cerrno>

#include "platform/error_number.h"
#include "platform/own_module.h"

namespace kestrum {

void* ModuleHandleOf(const void* address) {
  // Without an address GetModuleHandleExA would name the program itself.
  if (address == nullptr) {
    FailWith(ENOENT);
    return nullptr;
  }
  HMODULE module = nullptr;
  // Not counted: the module holding the caller's own code stays loaded while it runs.
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    FailFromLastError();
    return nullptr;
  }
  return module;
}

int ModulePathOf(const void* address, std::string* path) {
  auto* module = static_cast<HMODULE>(ModuleHandleOf(address));
  if (module == nullptr) return -1;
  char buffer[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
  if (length == 0) return FailFromLastError();
  if (length >= sizeof buffer) return FailWith(ENAMETOOLONG);
  path->assign(buffer, length);
  return 0;
}

}  // namespace kestrum
