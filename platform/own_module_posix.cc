#include "platform/own_module.h"

#include <dlfcn.h>

#include <cerrno>

#include "platform/error_number.h"

namespace kestrum {
namespace {

// dladdr knows only the shared objects the dynamic linker loaded (and the program).
int Find(const void* address, Dl_info* info) {
  if (address == nullptr || dladdr(address, info) == 0 || info->dli_fname == nullptr) {
    return FailWith(ENOENT);
  }
  return 0;
}

}  // namespace

int ModulePathOf(const void* address, std::string* path) {
  Dl_info info{};
  if (Find(address, &info) != 0) return -1;
  *path = info.dli_fname;
  return 0;
}

void* ModuleHandleOf(const void* address) {
  Dl_info info{};
  return Find(address, &info) == 0 ? info.dli_fbase : nullptr;
}

}  // namespace kestrum
