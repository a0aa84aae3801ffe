#include "platform/shared_object.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/error_number.h"

namespace kestrum {
namespace {

thread_local std::string t_module_error;

void NoteLoaderError() {
  const char* text = dlerror();
  t_module_error = text ? text : "";
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

ModuleHandle LoadModuleFrom(const std::string& folder, const std::string& name) {
  std::string path = folder.empty() ? "./" + name : folder + "/" + name;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    t_module_error = path + ": no such file";
    FailWith(ENOENT);
    return nullptr;
  }
  ModuleHandle module = LoadModule(path);
  if (!module) FailWith(ENOEXEC);
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

std::string LastModuleError() { return t_module_error; }

}  // namespace kestrum
