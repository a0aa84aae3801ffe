// The registry.
//
// On Windows these are the system's own registry calls (the ANSI forms), with the same numbers
// for rights, options, dispositions and types. Strings are stored with their terminating NUL,
// as every Windows program expects; enumerations still come in name order. Failures the
// callers tell apart come back as the error codes below; any other failure is the system's own
// error code. The Linux carrier described below has no meaning there.
//
// On Linux the registry is carried by a directory tree. A key is a folder
// <RegistryRoot()>/<HIVE>/<key path with \ replaced by />; a value is a regular file in its key's
// folder, named by the value name. Key and value names match ignoring case: an existing entry is
// looked up without regard to case before a new one is created. Every value write is atomic (a
// temporary file in the key's folder renamed into place), so a reader never sees half a value.
//
// Value files. A string (REG_SZ, REG_EXPAND_SZ) is the file's bytes, without one trailing
// newline, so `echo ON > .../PARVEX_1_Debug` sets "ON"; a string is written with a trailing
// newline. Other types use the text forms of registry export files, one line:
//   REG_DWORD   "dword:" and exactly 8 hex digits, e.g. "dword:0000002a"
//   REG_BINARY  "hex:" and comma-separated byte pairs, e.g. "hex:01,ff" ("hex:" when empty)
//   other type  "hex(<type in hex>):" and byte pairs, e.g. "hex(b):..." for REG_QWORD
// A file is read as one of these forms only when its whole content matches the form exactly;
// anything else is a string. A string that would read as a typed form is written in the
// "hex(1):" form so that it reads back unchanged.
//
// Volatile keys (kRegOptionVolatile) hold a file ".volatile" with the boot id of the system
// that created them; after a restart such a key (with everything below it) counts as missing
// and is replaced when created again. A key and a value of the same name cannot coexist.
//
// The key HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM is not stored: it lists the serial
// ports of this machine (ListSerialPorts) as string values, read-only.
//
// The functions return 0 or an error code (an errno value), as the system's registry calls
// do, and leave the thread's error number alone. ENOENT is "no such key or value" and
// EOVERFLOW "the buffer is too small" (the size then holds the size needed).
// Handles may be used from several threads; a handle must not be closed while in use.
#ifndef PARVEX_PLATFORM_REGISTRY_H_
#define PARVEX_PLATFORM_REGISTRY_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/user_access.h"

namespace kestrum {

struct SecurityAttributes;

/// The top-level keys, with the hive folders that carry them.
enum class RegHive {
  kClassesRoot,      ///< HKEY_CLASSES_ROOT
  kCurrentUser,      ///< HKEY_CURRENT_USER
  kLocalMachine,     ///< HKEY_LOCAL_MACHINE
  kUsers,            ///< HKEY_USERS
  kPerformanceData,  ///< not carried: every key below it is missing
  kCurrentConfig,    ///< HKEY_CURRENT_CONFIG
  kDynData,          ///< not carried: every key below it is missing
};

/// An open key. Hive handles (RegHiveKey) are never freed; others are freed by RegCloseKey.
struct RegKeyObject;
using RegKey = RegKeyObject*;

// Access rights of an open key.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyNotify = 0x0010;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

// Options of RegCreateKey.
inline constexpr uint32_t kRegOptionNonVolatile = 0;
inline constexpr uint32_t kRegOptionVolatile = 1;

// Dispositions reported by RegCreateKey.
inline constexpr uint32_t kRegCreatedNewKey = 1;
inline constexpr uint32_t kRegOpenedExistingKey = 2;

// Value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

/// Returns the predefined handle of a hive (valid for the life of the process; its folder is
/// taken from RegistryRoot() at each use).
RegKey RegHiveKey(RegHive hive);

#ifndef _WIN32
/// Returns the hive folder name ("HKEY_LOCAL_MACHINE", ...), or "" for a hive not carried.
const char* RegHiveFolderName(RegHive hive);
#endif

/// Opens the existing key `sub_key` (components separated by backslashes; empty opens `parent`
/// again) below `parent` with the rights `access`. Returns 0 and a new handle in `*result`,
/// ENOENT when the key does not exist, EINVAL for a bad name.
int RegOpenKey(RegKey parent, std::string_view sub_key, uint32_t access, RegKey* result);

/// Opens `sub_key` below `parent`, creating the missing keys of the path with `attributes`
/// (null: process defaults). `options` is kRegOptionNonVolatile or kRegOptionVolatile (keys
/// newly created then are volatile). `*disposition` (may be null) tells whether the last key
/// was created by this call; of several processes racing to create a key exactly one is told
/// kRegCreatedNewKey. On Windows any attributes give the keys created a null access-control
/// list (every user has full access), as the system's shared attributes do. Returns 0 or an
/// error code.
int RegCreateKey(RegKey parent, std::string_view sub_key, uint32_t options, uint32_t access,
                 const SecurityAttributes* attributes, RegKey* result, uint32_t* disposition);

/// Frees a handle from RegOpenKey or RegCreateKey (hive handles and null are ignored).
/// Returns 0.
int RegCloseKey(RegKey key);

/// Reads value `name` of `key` (opened with kKeyQueryValue). `*type` (may be null) receives
/// the type. With `data` null only the size is reported. Strings are returned with a
/// terminating NUL, which the size counts. `*size` is the buffer size on entry and the value's
/// size on return. Returns 0, ENOENT for a missing value, EOVERFLOW when the buffer is too
/// small, EACCES without the query right.
int RegQueryValue(RegKey key, std::string_view name, uint32_t* type, void* data, uint32_t* size);

/// Writes value `name` of `key` (opened with kKeySetValue) atomically, creating or replacing
/// it (an existing value of another case keeps its file name). For string types one
/// terminating NUL in `data` is not stored. The file gets the key's creation attributes when
/// it had some, else mode 0666 reduced by the umask. Returns 0 or an error code (EINVAL for a
/// name that cannot be a file name: empty, "." or "..", or holding "/").
int RegSetValue(RegKey key, std::string_view name, uint32_t type, const void* data, uint32_t size);

/// Convenience forms of RegSetValue for strings and 32-bit numbers.
int RegSetString(RegKey key, std::string_view name, std::string_view text);
int RegSetDword(RegKey key, std::string_view name, uint32_t number);

/// Convenience read of a string value (REG_SZ or REG_EXPAND_SZ) into `*text`. Returns 0,
/// ENOENT, or EINVAL when the value has another type.
int RegGetString(RegKey key, std::string_view name, std::string* text);

/// Reports in `*writer` who may have written value `name` of `key` last: the owner of its file
/// when that is a regular file no one else may write; kAnyUser when its group or every user may
/// write it in place, or when it is a symlink to a file elsewhere. Returns 0, ENOENT for a
/// missing value (and for the SERIALCOMM values, which no one writes), EACCES without the query
/// right. On Windows a value has no owner: the writer is 0 when the key's access list lets only
/// the system and the administrators change values, else (and when the list cannot be read)
/// kAnyUser.
int RegQueryValueWriter(RegKey key, std::string_view name, uint32_t* writer);

/// Removes value `name` of `key`. Returns 0 or an error code (ENOENT when missing).
int RegDeleteValue(RegKey key, std::string_view name);

/// Removes key `sub_key` below `parent` and everything below it. Returns 0 or an error code.
int RegDeleteKey(RegKey parent, std::string_view sub_key);

/// Reports the `index`-th value of `key` (in name order): its name, and optionally type and
/// data as RegQueryValue does (`data` and `size` may be null). Returns 0, or ENOENT when there
/// is no value at `index` (the end of the enumeration).
int RegEnumValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, void* data,
                 uint32_t* size);

/// Reports the name of the `index`-th sub-key of `key` (in name order). Returns 0, or ENOENT
/// past the last one.
int RegEnumKey(RegKey key, uint32_t index, std::string* name);

/// Connects to the registry hive `hive` of the computer `machine`. An empty name is this
/// computer: `*result` is then the hive handle. Any other computer cannot be reached:
/// returns EHOSTUNREACH.
int RegConnectRegistry(std::string_view machine, RegHive hive, RegKey* result);

#ifdef _WIN32
/// Returns the system's handle (an HKEY) of an open key, owned by the key.
void* RegNativeKey(RegKey key);

/// Only tests call this, so that each test case sees a registry of its own as a Linux test
/// instance does: with a name, maps this process's HKEY_LOCAL_MACHINE onto the fresh key
/// HKEY_CURRENT_USER\Software\`name` (removed first when it exists), which gets the lasting
/// key SOFTWARE that every HKEY_LOCAL_MACHINE holds; with an empty name,
/// restores the real HKEY_LOCAL_MACHINE and removes the key mapped before. Other processes
/// keep the real hive. With `fresh` false the key is taken as it is and never removed: a test's
/// child process sees the registry of the test that started it. Returns 0, or -1 with the error
/// number set.
int MapLocalMachineForTests(std::string_view name, bool fresh = true);
#endif

#ifndef _WIN32
/// Returns the folder that carries an open key ("" for a key that is not stored, such as
/// SERIALCOMM, and for the hives that are not carried).
std::string RegKeyFolder(RegKey key);
#endif

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_REGISTRY_H_
