// What loading shared objects does the same on both platforms: a module is loaded from a
// folder only when a regular file stands there, and the loader's last text is kept per thread.
#include <cerrno>
#include <string>
#include <utility>

#include "platform/error_number.h"
#include "platform/file_system.h"
#include "platform/module_error.h"
#include "platform/shared_object.h"

namespace kestrum {
namespace {

thread_local std::string t_module_error;

// What stands between a folder and a file name in the paths the loader is given.
#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

}  // namespace

void NoteModuleError(std::string text) { t_module_error = std::move(text); }

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
