// The loaded module (a program, DLL or shared object) that holds a given address: for a
// module that needs its own file (the help file beside it) or its own handle (resources,
// dialogs) without keeping them at load.
#ifndef PARVEX_PLATFORM_OWN_MODULE_H_
#define PARVEX_PLATFORM_OWN_MODULE_H_

#include <string>

namespace kestrum {

/// Sets `*path` to the full path of the module's file that holds `address` (a function or
/// object of that module). Returns 0, or -1 with the error number set (no module holds it).
int ModulePathOf(const void* address, std::string* path);

/// Returns the handle of the module that holds `address` (on Windows its HINSTANCE, not
/// counted as a reference; elsewhere the shared object's base address), or null with the
/// error number set.
void* ModuleHandleOf(const void* address);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_OWN_MODULE_H_
