// What loading shared objects does the same on both platforms: a module is loaded from a
// folder only when a regular file stands there, and the loader's last text is kept per thread.
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/error_number.h"
#include "platform/file_system.h"
#include "platform/module_error.h"
#include "platform/shared_object.h"

namespace kestrum {
namespace {

// A plain buffer: a thread-local object with a destructor is not safe on Windows, where the
// compiler's emulated thread storage may be freed before such a destructor runs at thread end.
constexpr std::size_t kModuleErrorMax = 1024;
thread_local char t_module_error[kModuleErrorMax];

// What stands between a folder and a file name in the paths the loader is given.
#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

}  // namespace

void NoteModuleError(const std::string& text) {
  std::snprintf(t_module_error, sizeof t_module_error, "%s", text.c_str());
}

std::string LastModuleError() { return t_module_error; }

ModuleHandle LoadModuleFrom(const std::string& folder, const std::string& name) {
  const std::string path = (folder.empty() ? std::string(".") : folder) + kFolderSeparator + name;
  FileInfo info;
  if (GetFileInfo(path, &info) != 0 || !info.regular) {
    NoteModuleError(path + ": no such file");
    FailWith(ENOENT);
    return nullptr;
  }
  ModuleHandle module = LoadModule(path);
  if (!module) FailWith(ENOEXEC);
  return module;
}

}  // namespace kestrum
