// Registry settings of the product family: reads that prefer the product's own key, writes
// made persistent through the write filter, and the switch for XML configuration files.
#ifndef PARVEX_RUNTIME_REGISTRY_ACCESS_H_
#define PARVEX_RUNTIME_REGISTRY_ACCESS_H_

#include <cstdint>

#include "platform/registry.h"
#include "platform/security_attributes.h"

namespace kestrum {

/// The result of UseXmlConfiguration when "ReadXML" is missing or neither "ON" nor "OFF":
/// XML files are read (the binary files remain in use wherever no XML file exists).
inline constexpr bool kReadXmlByDefault = true;

/// Reads or writes value `value_name` of key `key_path` below `hive`. A mask with
/// kKeyQueryValue (bit 0) reads into `data` (`*size`: room on entry, the value's size on return,
/// `*type` the value's type); any other mask writes `*type` and `*size` bytes of `data`.
/// For a key path of at least 12 characters ending in "Kestrum" (any case), a read tries the
/// product key (the path with "Kestrum" replaced by the product name) first and falls back to
/// the family key when the product key or its value is missing; a write goes to the product key
/// only (created when missing). Returns 0 or the error code of the failing registry call.
int AccessRegistryValue(RegKey hive, const char* key_path, uint32_t access, const char* value_name,
                        uint32_t* type, void* data, uint32_t* size);

/// RegCreateKey wrapped in the write-filter steps (BeginProtectedWrite, EndProtectedWrite).
/// Returns the registry's result, or the platform's last error when a write-filter step fails
/// (when BeginProtectedWrite fails the key is not created).
int CreateRegistryKey(RegKey parent, const char* sub_key, uint32_t options, uint32_t access,
                      const SecurityAttributes* attributes, RegKey* result, uint32_t* disposition);

/// RegSetValue wrapped in the write-filter steps like CreateRegistryKey.
int SetRegistryValue(RegKey key, const char* value_name, uint32_t type, const void* data,
                     uint32_t size);

/// Returns whether the configuration files of `location` (a folder, "\\host\..." or
/// "//host/..." on another computer) are read from XML: "ReadXML" of SOFTWARE\Veltrane\Kestrum
/// (product key first) of that computer's registry, "ON" true and "OFF" false (any case);
/// kReadXmlByDefault when the value is missing or other, or when the registry of another
/// computer cannot be reached (always, on Linux).
bool UseXmlConfiguration(const char* location);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_REGISTRY_ACCESS_H_
