// The text form of a registry value file (see registry.h for the forms).
#ifndef PARVEX_PLATFORM_REGISTRY_VALUE_FORMAT_H_
#define PARVEX_PLATFORM_REGISTRY_VALUE_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum {

/// A decoded value: its type and its bytes (strings without a terminating NUL).
struct RegValueData {
  uint32_t type = 0;
  std::string bytes;
};

/// Decodes the content of a value file. Never fails: content in no typed form is a string
/// (REG_SZ) without one trailing newline.
RegValueData DecodeRegValue(std::string_view content);

/// Encodes a value as the content of its file; `bytes` of a string type carry no NUL
/// terminator. DecodeRegValue(EncodeRegValue(type, bytes)) gives back type and bytes.
std::string EncodeRegValue(uint32_t type, std::string_view bytes);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_REGISTRY_VALUE_FORMAT_H_
