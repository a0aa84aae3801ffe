// File names of extension modules: "<first five characters of a driver name>_ex" followed by the
// platform's shared-object suffix. The configuration loaders and the status channels form the
// name by this one rule (counter_ex/CMakeLists.txt names the counter's module by it too).
#ifndef PARVEX_RUNTIME_EXTENSION_NAMES_H_
#define PARVEX_RUNTIME_EXTENSION_NAMES_H_

#include <string>
#include <string_view>

namespace kestrum {

/// Characters of the driver name that a module's file name keeps.
inline constexpr size_t kExtensionNameLetters = 5;

/// Driver names of the generic modules that serve data processors without a module of their
/// own: analogue processors, and all others.
inline constexpr const char* kGenericAnalogueDriver = "usera";
inline constexpr const char* kGenericOtherDriver = "userd";

/// The file name of the extension module of `driver`: its first five characters, "_ex" and the
/// shared-object suffix ("PARTCOUNT" gives "PARTC_ex.so").
std::string ExtensionModuleFile(std::string_view driver);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_EXTENSION_NAMES_H_
