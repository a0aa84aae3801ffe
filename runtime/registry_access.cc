#include "runtime/registry_access.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/error_number.h"
#include "records/text_case.h"
#include "runtime/install_roots.h"
#include "runtime/support_services.h"
#include "runtime/write_filter.h"

namespace kestrum {
namespace {

constexpr const char* kFamilyWord = "Kestrum";
constexpr size_t kMinProductKeyPath = 12;
constexpr size_t kMaxHostName = 259;

bool IsRead(uint32_t access) { return (access & kKeyQueryValue) != 0; }

// The product key of `key_path`, or "" when the path does not end in the family word.
std::string ProductKey(const char* key_path) {
  size_t length = std::strlen(key_path);
  size_t word = std::strlen(kFamilyWord);
  if (length < kMinProductKeyPath ||
      CompareIgnoringCase(key_path + length - word, kFamilyWord) != 0) {
    return "";
  }
  std::string product = std::string(key_path, length - word) + GetProductName();
  // With the product named like the family the two keys are one.
  return CompareIgnoringCase(product.c_str(), key_path) == 0 ? "" : product;
}

int ReadValue(RegKey hive, const char* key_path, uint32_t access, const char* value_name,
              uint32_t* type, void* data, uint32_t* size) {
  RegKey key = nullptr;
  if (int rc = RegOpenKey(hive, key_path, access, &key)) return rc;
  int rc = RegQueryValue(key, value_name, type, data, size);
  RegCloseKey(key);
  return rc;
}

int WriteValue(RegKey hive, const char* key_path, uint32_t access, const char* value_name,
               uint32_t type, const void* data, uint32_t size) {
  RegKey key = nullptr;
  if (int rc = CreateRegistryKey(hive, key_path, 0, access | kKeySetValue,
                                 GetSharedSecurityAttributes(), &key, nullptr)) {
    return rc;
  }
  int rc = SetRegistryValue(key, value_name, type, data, size);
  RegCloseKey(key);
  return rc;
}

// The host of "\\host\..." (either separator), or "." for a local location.
std::string LocationHost(const char* location) {
  if (!location) return ".";
  std::string_view text(location);
  auto is_separator = [](char c) { return c == '\\' || c == '/'; };
  if (text.size() < 3 || !is_separator(text[0]) || !is_separator(text[1])) return ".";
  size_t end = text.find_first_of("\\/", 2);
  if (end == std::string_view::npos || end == 2) return ".";
  return std::string(text.substr(2, std::min(end - 2, kMaxHostName)));
}

}  // namespace

int AccessRegistryValue(RegKey hive, const char* key_path, uint32_t access, const char* value_name,
                        uint32_t* type, void* data, uint32_t* size) {
  if (!GetSharedSecurityAttributes()) return GetLastPlatformError();
  if (!key_path || !value_name || !type || !size) return EINVAL;
  std::string product_key = ProductKey(key_path);
  if (!product_key.empty()) {
    if (!IsRead(access)) {
      return WriteValue(hive, product_key.c_str(), access, value_name, *type, data, *size);
    }
    uint32_t room = *size;
    int rc = ReadValue(hive, product_key.c_str(), access, value_name, type, data, size);
    // Only a missing key or value falls back: a value that does not fit is an answer.
    if (rc != ENOENT) return rc;
    *size = room;
  }
  if (IsRead(access)) return ReadValue(hive, key_path, access, value_name, type, data, size);
  return WriteValue(hive, key_path, access, value_name, *type, data, *size);
}

int CreateRegistryKey(RegKey parent, const char* sub_key, uint32_t options, uint32_t access,
                      const SecurityAttributes* attributes, RegKey* result, uint32_t* disposition) {
  if (!BeginProtectedWrite()) return GetLastPlatformError();
  int rc = RegCreateKey(parent, sub_key ? sub_key : "", options, access, attributes, result,
                        disposition);
  if (!EndProtectedWrite()) return GetLastPlatformError();
  return rc;
}

int SetRegistryValue(RegKey key, const char* value_name, uint32_t type, const void* data,
                     uint32_t size) {
  if (!BeginProtectedWrite()) return GetLastPlatformError();
  int rc = RegSetValue(key, value_name ? value_name : "", type, data, size);
  if (!EndProtectedWrite()) return GetLastPlatformError();
  return rc;
}

bool UseXmlConfiguration(const char* location) {
  bool use_xml = kReadXmlByDefault;
  std::string host = LocationHost(location);
  RegKey registry = RegHiveKey(RegHive::kLocalMachine);
  if (!IsLocalHost(host.c_str())) {
    if (RegConnectRegistry("\\\\" + host, RegHive::kLocalMachine, &registry) != 0) {
      return use_xml;
    }
  }
  char text[8] = {};
  uint32_t type = 0;
  uint32_t size = sizeof text - 1;
  if (AccessRegistryValue(registry, "SOFTWARE\\Veltrane\\Kestrum", kKeyQueryValue, "ReadXML", &type,
                          text, &size) == 0 &&
      (type == kRegSz || type == kRegExpandSz)) {
    if (CompareIgnoringCase(text, "ON") == 0) use_xml = true;
    if (CompareIgnoringCase(text, "OFF") == 0) use_xml = false;
  }
  return use_xml;
}

}  // namespace kestrum
