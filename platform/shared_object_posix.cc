#include "platform/shared_object.h"

#include <dlfcn.h>

#include <cerrno>

#include "platform/error_number.h"
#include "platform/module_error.h"

namespace kestrum {
namespace {

void NoteLoaderError() {
  const char* text = dlerror();
  NoteModuleError(text ? text : "");
}

}  // namespace

ModuleHandle LoadModule(const std::string& name) {
  dlerror();
  ModuleHandle module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    NoteLoaderError();
    FailWith(ENOENT);
  }
  return module;
}

void* FindModuleSymbol(ModuleHandle module, const char* name) {
  if (!module || !name) {
    FailWith(ENOENT);
    return nullptr;
  }
  dlerror();
  void* address = dlsym(module, name);
  if (!address) {
    NoteLoaderError();
    FailWith(ENOENT);
  }
  return address;
}

int FreeModule(ModuleHandle module) {
  if (!module) return 0;
  if (dlclose(module) != 0) {
    NoteLoaderError();
    return FailWith(EINVAL);
  }
  return 0;
}

}  // namespace kestrum
