// Loading shared objects (extension modules, vendor libraries) and finding their entry points.
#ifndef PARVEX_PLATFORM_SHARED_OBJECT_H_
#define PARVEX_PLATFORM_SHARED_OBJECT_H_

#include <string>

namespace kestrum {

/// A loaded shared object; null when none.
using ModuleHandle = void*;

/// How the file name of a shared object that the system loads by name ends.
#ifdef _WIN32
inline constexpr const char* kSharedObjectSuffix = ".dll";
#else
inline constexpr const char* kSharedObjectSuffix = ".so";
#endif

/// Loads `name` with the dynamic loader: a name holding "/" is a path, any other name is found
/// by the loader's own search (LD_LIBRARY_PATH, the cache, the system folders; on Windows the
/// program's folder, the system folders, PATH). Symbols are
/// bound at once and kept local to the module. Returns the handle (loading an already loaded
/// module again counts it once more), or null with the error number set to ENOENT;
/// LastModuleError() then tells why.
ModuleHandle LoadModule(const std::string& name);

/// Loads the file `name` of `folder`. Returns the handle, or null with the error number set to
/// ENOENT when there is no such file and ENOEXEC when it cannot be loaded.
ModuleHandle LoadModuleFrom(const std::string& folder, const std::string& name);

/// Returns the address of the C-linkage symbol `name` in `module`, or null with the error
/// number set to ENOENT.
void* FindModuleSymbol(ModuleHandle module, const char* name);

/// Releases one load of `module` (null is ignored). Returns 0, or -1 with the error number set
/// to EINVAL.
int FreeModule(ModuleHandle module);

/// The loader's text about the calling thread's last failed load or look-up ("" when none).
std::string LastModuleError();

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_SHARED_OBJECT_H_
