// Finding and loading the extension module of a device or data-processor folder.
//
// A driver's module is "<first five letters of the driver name>_ex.so" (ExtensionModuleFile),
// tried as formed and lower-cased, first through the dynamic loader's own search, then in the
// program folder ("KSM_BIN"). A data processor without a module of its own and without the run
// flag in "DATPROC.TXT" is served by a generic module: "usera_ex.so" for analogue processors,
// "userd_ex.so" for the others.
#ifndef PARVEX_CONFIG_EXTENSION_MODULE_H_
#define PARVEX_CONFIG_EXTENSION_MODULE_H_

#include <string>

#include "platform/shared_object.h"

namespace kestrum {

/// Returns the driver name of a folder: its last path component (either separator, trailing
/// separators ignored) cut at its last "_"; a name "calc<digits>..." becomes "calc" and
/// "opddx<digits>..." "opddx" (any case).
std::string ExtensionDriverName(const std::string& folder);

/// Loads the extension module of `folder`. Returns the module (the caller frees it with
/// FreeModule), or null with the error number ENOENT when there is none.
ModuleHandle LoadExtensionModule(const char* folder);

/// Returns 1 when the module of `folder` exports "Ex_DoXml", else 0. The answer for the last
/// folder asked (compared ignoring case) is remembered.
int ExtensionSupportsXml(const char* folder);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_EXTENSION_MODULE_H_
