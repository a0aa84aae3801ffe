// The typed value setters both platforms share: texts and little-endian double words through
// RegSetValue.
#include <cstdint>
#include <string_view>

#include "platform/registry.h"

namespace kestrum {

int RegSetString(RegKey key, std::string_view name, std::string_view text) {
  return RegSetValue(key, name, kRegSz, text.data(), static_cast<uint32_t>(text.size()));
}

int RegSetDword(RegKey key, std::string_view name, uint32_t number) {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(number >> (8 * i));
  return RegSetValue(key, name, kRegDword, bytes, sizeof bytes);
}

}  // namespace kestrum
