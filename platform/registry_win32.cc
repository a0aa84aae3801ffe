// The Windows half of the registry: the system's own registry, through the ANSI calls.
#include <windows.h>
// <windows.h> names the ANSI or wide forms of these calls by macros; the calls below name the
// ANSI forms themselves, and the names are this library's own functions.
#undef RegOpenKey
#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
#undef RegDeleteKey
#undef RegEnumValue
#undef RegEnumKey
#undef RegConnectRegistry

#include <aclapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/error_number.h"
#include "platform/registry.h"
#include "platform/security_attributes.h"

struct kestrum::RegKeyObject {
  HKEY handle = nullptr;
  bool predefined = false;
};

namespace kestrum {

// The system's own numbers are the library's.
static_assert(kKeyQueryValue == KEY_QUERY_VALUE && kKeySetValue == KEY_SET_VALUE &&
              kKeyCreateSubKey == KEY_CREATE_SUB_KEY &&
              kKeyEnumerateSubKeys == KEY_ENUMERATE_SUB_KEYS && kKeyNotify == KEY_NOTIFY &&
              kKeyRead == KEY_READ && kKeyWrite == KEY_WRITE && kKeyAllAccess == KEY_ALL_ACCESS);
static_assert(kRegOptionNonVolatile == REG_OPTION_NON_VOLATILE &&
              kRegOptionVolatile == REG_OPTION_VOLATILE);
static_assert(kRegCreatedNewKey == REG_CREATED_NEW_KEY &&
              kRegOpenedExistingKey == REG_OPENED_EXISTING_KEY);
static_assert(kRegNone == REG_NONE && kRegSz == REG_SZ && kRegExpandSz == REG_EXPAND_SZ &&
              kRegBinary == REG_BINARY && kRegDword == REG_DWORD && kRegMultiSz == REG_MULTI_SZ &&
              kRegQword == REG_QWORD);

namespace {

RegKeyObject g_hives[] = {
    {HKEY_CLASSES_ROOT, true}, {HKEY_CURRENT_USER, true},     {HKEY_LOCAL_MACHINE, true},
    {HKEY_USERS, true},        {HKEY_PERFORMANCE_DATA, true}, {HKEY_CURRENT_CONFIG, true},
    {HKEY_DYN_DATA, true},
};

// Longest value name the system allows, with its terminating NUL.
constexpr DWORD kMaxValueName = 16384;
// Longest key name the system allows, with its terminating NUL.
constexpr DWORD kMaxKeyName = 256;

// The error codes the callers compare with; any other failure is the system's code itself.
int ErrorCode(LSTATUS status) {
  switch (status) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_ITEMS:
      return ENOENT;
    case ERROR_MORE_DATA:
      return EOVERFLOW;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case RPC_S_SERVER_UNAVAILABLE:
    case RPC_S_INVALID_NET_ADDR:
      return EHOSTUNREACH;
    default:
      return static_cast<int>(status);
  }
}

// The key path with empty components dropped, as the system wants it: "\A\\B\" is "A\B".
std::string KeyPath(std::string_view path) {
  std::string joined;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = std::min(path.find('\\', start), path.size());
    if (end > start) {
      if (!joined.empty()) joined += '\\';
      joined.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return joined;
}

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Reads value `name` whole: its type and bytes (strings as stored, a NUL included or not).
int LoadValue(HKEY key, const std::string& name, DWORD* type, std::vector<char>* bytes) {
  for (;;) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) return ErrorCode(status);
    bytes->resize(size);
    status = RegQueryValueExA(key, name.c_str(), nullptr, type,
                              reinterpret_cast<BYTE*>(bytes->data()), &size);
    // A value that grew between the two calls is read again.
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return ErrorCode(status);
    bytes->resize(size);
    return 0;
  }
}

// Copies a value out as the header tells: strings with one terminating NUL.
int CopyValueOut(DWORD value_type, std::vector<char> bytes, uint32_t* type, void* data,
                 uint32_t* size) {
  if (IsString(value_type) && (bytes.empty() || bytes.back() != '\0')) bytes.push_back('\0');
  if (type) *type = value_type;
  if (!size) return data ? EINVAL : 0;
  const uint32_t room = *size;
  *size = static_cast<uint32_t>(bytes.size());
  if (!data) return 0;
  if (room < bytes.size()) return EOVERFLOW;
  std::memcpy(data, bytes.data(), bytes.size());
  return 0;
}

// The names of the values (`values`) or sub-keys of `key`, in name order as the header
// promises (the system enumerates in its own order).
int ListNames(HKEY key, bool values, std::vector<std::string>* names) {
  std::vector<char> name(values ? kMaxValueName : kMaxKeyName);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LSTATUS status =
        values
            ? RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
            : RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return ErrorCode(status);
    names->emplace_back(name.data(), length);
  }
  std::sort(names->begin(), names->end());
  return 0;
}

// Whether the access list `dacl` lets anyone but the system and the administrators change a
// value of its key (or give itself that right).
bool OthersMayWrite(PACL dacl) {
  constexpr DWORD kWriting = KEY_SET_VALUE | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
  BYTE system_sid[SECURITY_MAX_SID_SIZE];
  BYTE admins_sid[SECURITY_MAX_SID_SIZE];
  DWORD system_size = sizeof system_sid;
  DWORD admins_size = sizeof admins_sid;
  if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_sid, &system_size) ||
      !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins_sid, &admins_size)) {
    return true;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (!(allowed->Mask & kWriting)) continue;
    PSID trustee = const_cast<DWORD*>(&allowed->SidStart);
    if (!EqualSid(trustee, system_sid) && !EqualSid(trustee, admins_sid)) return true;
  }
  return false;
}

int OpenOrCreate(RegKey parent, std::string_view sub_key, uint32_t access, bool create,
                 uint32_t options, const SECURITY_ATTRIBUTES* security, RegKey* result,
                 uint32_t* disposition) {
  if (!parent || !result) return EINVAL;
  *result = nullptr;
  const std::string path = KeyPath(sub_key);
  HKEY opened = nullptr;
  DWORD how = REG_OPENED_EXISTING_KEY;
  LSTATUS status = create
                       ? RegCreateKeyExA(parent->handle, path.c_str(), 0, nullptr, options, access,
                                         const_cast<SECURITY_ATTRIBUTES*>(security), &opened, &how)
                       : RegOpenKeyExA(parent->handle, path.c_str(), 0, access, &opened);
  if (status != ERROR_SUCCESS) return ErrorCode(status);
  auto key = std::make_unique<RegKeyObject>();
  key->handle = opened;
  if (disposition) *disposition = how;
  *result = key.release();
  return 0;
}

}  // namespace

RegKey RegHiveKey(RegHive hive) { return &g_hives[static_cast<int>(hive)]; }

int RegOpenKey(RegKey parent, std::string_view sub_key, uint32_t access, RegKey* result) {
  return OpenOrCreate(parent, sub_key, access, false, 0, nullptr, result, nullptr);
}

int RegCreateKey(RegKey parent, std::string_view sub_key, uint32_t options, uint32_t access,
                 const SecurityAttributes* attributes, RegKey* result, uint32_t* disposition) {
  void* security = nullptr;
  if (NativeSecurityAttributes(attributes, &security) != 0) return GetErrorNumber();
  return OpenOrCreate(parent, sub_key, access, true, options,
                      static_cast<const SECURITY_ATTRIBUTES*>(security), result, disposition);
}

int RegCloseKey(RegKey key) {
  if (key && !key->predefined) {
    ::RegCloseKey(key->handle);
    delete key;
  }
  return 0;
}

int RegQueryValue(RegKey key, std::string_view name, uint32_t* type, void* data, uint32_t* size) {
  if (!key) return EINVAL;
  DWORD value_type = REG_NONE;
  std::vector<char> bytes;
  if (int rc = LoadValue(key->handle, std::string(name), &value_type, &bytes)) return rc;
  return CopyValueOut(value_type, std::move(bytes), type, data, size);
}

int RegSetValue(RegKey key, std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!key || (!data && size)) return EINVAL;
  std::string bytes(static_cast<const char*>(data), size);
  // A string is stored with its terminating NUL, as every Windows program expects it.
  if (IsString(type) && (bytes.empty() || bytes.back() != '\0')) bytes.push_back('\0');
  return ErrorCode(RegSetValueExA(key->handle, std::string(name).c_str(), 0, type,
                                  reinterpret_cast<const BYTE*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size())));
}

int RegGetString(RegKey key, std::string_view name, std::string* text) {
  if (!key || !text) return EINVAL;
  DWORD type = REG_NONE;
  std::vector<char> bytes;
  if (int rc = LoadValue(key->handle, std::string(name), &type, &bytes)) return rc;
  if (!IsString(type)) return EINVAL;
  if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  text->assign(bytes.data(), bytes.size());
  return 0;
}

int RegQueryValueWriter(RegKey key, std::string_view name, uint32_t* writer) {
  if (!key || !writer) return EINVAL;
  DWORD type = REG_NONE;
  LSTATUS status =
      RegQueryValueExA(key->handle, std::string(name).c_str(), nullptr, &type, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return ErrorCode(status);
  // A value has no owner: whoever the key's access list lets change values may have written it.
  // Only the system and the administrators is user 0; anyone else, or an access list that
  // cannot be read, is kAnyUser.
  *writer = kAnyUser;
  DWORD size = 0;
  RegGetKeySecurity(key->handle, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (size == 0 ||
      RegGetKeySecurity(key->handle, DACL_SECURITY_INFORMATION, descriptor.data(), &size) !=
          ERROR_SUCCESS ||
      !GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted)) {
    return 0;
  }
  // No access list at all lets everyone in.
  if (present && dacl && !OthersMayWrite(dacl)) *writer = 0;
  return 0;
}

int RegDeleteValue(RegKey key, std::string_view name) {
  if (!key) return EINVAL;
  return ErrorCode(RegDeleteValueA(key->handle, std::string(name).c_str()));
}

int RegDeleteKey(RegKey parent, std::string_view sub_key) {
  if (!parent) return EINVAL;
  const std::string path = KeyPath(sub_key);
  if (path.empty()) return EINVAL;
  return ErrorCode(RegDeleteTreeA(parent->handle, path.c_str()));
}

int RegEnumValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, void* data,
                 uint32_t* size) {
  if (!key || !name) return EINVAL;
  std::vector<std::string> names;
  if (int rc = ListNames(key->handle, true, &names)) return rc;
  if (index >= names.size()) return ENOENT;
  *name = names[index];
  if (!type && !data && !size) return 0;
  return RegQueryValue(key, names[index], type, data, size);
}

int RegEnumKey(RegKey key, uint32_t index, std::string* name) {
  if (!key || !name) return EINVAL;
  std::vector<std::string> names;
  if (int rc = ListNames(key->handle, false, &names)) return rc;
  if (index >= names.size()) return ENOENT;
  *name = names[index];
  return 0;
}

void* RegNativeKey(RegKey key) { return key ? key->handle : nullptr; }

int RegConnectRegistry(std::string_view machine, RegHive hive, RegKey* result) {
  if (!result) return EINVAL;
  *result = nullptr;
  if (machine.empty()) {
    *result = RegHiveKey(hive);
    return 0;
  }
  HKEY remote = nullptr;
  LSTATUS status =
      RegConnectRegistryA(std::string(machine).c_str(), RegHiveKey(hive)->handle, &remote);
  if (status != ERROR_SUCCESS) return ErrorCode(status);
  auto key = std::make_unique<RegKeyObject>();
  key->handle = remote;
  *result = key.release();
  return 0;
}

int MapLocalMachineForTests(std::string_view name, bool fresh) {
  static std::string mapped;  // the key to remove when the mapping ends
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  if (!mapped.empty()) {
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + mapped).c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\" + mapped).c_str());
    mapped.clear();
  }
  if (name.empty()) return 0;
  const std::string path = "Software\\" + std::string(name);
  if (fresh) RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return FailWith(rc);
  // Every HKEY_LOCAL_MACHINE holds a lasting SOFTWARE key: without it, a volatile key made
  // first under SOFTWARE would make SOFTWARE volatile and refuse lasting keys below it.
  HKEY software = nullptr;
  rc = RegCreateKeyExA(key, "SOFTWARE", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, &software, nullptr);
  if (rc == ERROR_SUCCESS) {
    ::RegCloseKey(software);
    rc = RegOverridePredefKey(HKEY_LOCAL_MACHINE, key);
  }
  ::RegCloseKey(key);  // the mapping keeps its own handle
  if (rc != ERROR_SUCCESS) return FailWith(rc);
  if (fresh) mapped = name;
  return 0;
}

}  // namespace kestrum
