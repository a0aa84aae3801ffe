#include "runtime/extension_names.h"

#include "platform/shared_object.h"

namespace kestrum {

std::string ExtensionModuleFile(std::string_view driver) {
  return std::string(driver.substr(0, kExtensionNameLetters)) + "_ex" + kSharedObjectSuffix;
}

}  // namespace kestrum
