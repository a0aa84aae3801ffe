#include <windows.h>
// <windows.h> defines this name as a macro for FreeLibrary; the system's function is meant here.
#undef FreeModule

#include <cerrno>

#include "platform/error_number.h"
#include "platform/module_error.h"
#include "platform/shared_object.h"

namespace kestrum {
namespace {

// Keeps the loader's text for the last failed Windows call, without its line break.
void NoteLoaderError(const std::string& what) {
  const DWORD error = GetLastError();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  NoteModuleError(what + ": " + message);
}

// The loader takes only "\" between the parts of a path.
std::string WithBackslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

ModuleHandle LoadModule(const std::string& name) {
  // No message box when a module or one it needs is missing.
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryA(WithBackslashes(name).c_str());
  if (!module) {
    NoteLoaderError(name);
    FailWith(ENOENT);
  }
  SetErrorMode(old_mode);
  return reinterpret_cast<ModuleHandle>(module);
}

void* FindModuleSymbol(ModuleHandle module, const char* name) {
  if (!module || !name) {
    FailWith(ENOENT);
    return nullptr;
  }
  FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
  if (!address) {
    NoteLoaderError(name);
    FailWith(ENOENT);
    return nullptr;
  }
  return reinterpret_cast<void*>(address);
}

int FreeModule(ModuleHandle module) {
  if (!module) return 0;
  if (!FreeLibrary(static_cast<HMODULE>(module))) {
    NoteLoaderError("FreeLibrary");
    return FailWith(EINVAL);
  }
  return 0;
}

}  // namespace kestrum
