// Internal to platform/: the text about the calling thread's last failed load or look-up of a
// shared object, which both halves of shared_object write and LastModuleError() returns.
#ifndef PARVEX_PLATFORM_MODULE_ERROR_H_
#define PARVEX_PLATFORM_MODULE_ERROR_H_

#include <string>

namespace kestrum {

/// Keeps `text` as the calling thread's LastModuleError(), cut to its first 1023 characters.
void NoteModuleError(const std::string& text);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_MODULE_ERROR_H_
