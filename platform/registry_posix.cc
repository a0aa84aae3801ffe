#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/instance_paths.h"
#include "platform/registry_value_format.h"
#include "platform/security_attributes.h"
#include "platform/serial_port_list.h"

struct kestrum::RegKeyObject {
  RegHive hive = RegHive::kLocalMachine;
  bool predefined = false;
  bool serial_comm = false;
  std::string folder;   // carrying folder; computed at each use for a hive handle
  std::string logical;  // key path below the hive as stored, components joined by '\'
  uint32_t access = kKeyAllAccess;
  bool has_attributes = false;
  SecurityAttributes attributes;
};

namespace kestrum {
namespace {

constexpr const char* kVolatileMarker = ".volatile";
constexpr const char* kSerialCommPath = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr size_t kMaxValueFile = 16 * 1024 * 1024;

RegKeyObject g_hives[] = {
    {RegHive::kClassesRoot, true},     {RegHive::kCurrentUser, true},
    {RegHive::kLocalMachine, true},    {RegHive::kUsers, true},
    {RegHive::kPerformanceData, true}, {RegHive::kCurrentConfig, true},
    {RegHive::kDynData, true},
};

bool IsHidden(const char* name) {
  return std::strcmp(name, kVolatileMarker) == 0 || std::strncmp(name, ".~", 2) == 0 ||
         std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool ValidName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// Splits a key path at backslashes, skipping empty components.
int SplitKeyPath(std::string_view path, std::vector<std::string>* parts) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = std::min(path.find('\\', start), path.size());
    std::string_view part = path.substr(start, end - start);
    if (!part.empty()) {
      if (!ValidName(part)) return EINVAL;
      parts->emplace_back(part);
    }
    start = end + 1;
  }
  return 0;
}

std::string KeyFolder(const RegKeyObject* key) {
  if (!key->predefined) return key->folder;
  const char* hive = RegHiveFolderName(key->hive);
  return *hive ? RegistryRoot() + "/" + hive : "";
}

std::string BootId() {
  static const std::string id = [] {
    std::string text;
    if (FILE* file = fopen("/proc/sys/kernel/random/boot_id", "re")) {
      char line[64] = {};
      if (fgets(line, sizeof line, file)) text = line;
      fclose(file);
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }();
  return id;
}

int ReadWholeFile(const std::string& path, std::string* content) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  content->clear();
  char buffer[4096];
  int rc = 0;
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) rc = errno;
    if (got <= 0) break;
    content->append(buffer, static_cast<size_t>(got));
    if (content->size() > kMaxValueFile) {
      rc = EFBIG;
      break;
    }
  }
  close(fd);
  return rc;
}

bool IsStaleVolatile(const std::string& folder) {
  std::string id;
  if (ReadWholeFile(folder + "/" + kVolatileMarker, &id) != 0) return false;
  while (!id.empty() && id.back() == '\n') id.pop_back();
  return id != BootId();
}

std::string UniqueSibling(const std::string& folder, std::string_view tag) {
  static std::atomic<unsigned> counter{0};
  return folder + "/.~" + std::string(tag) + "." + std::to_string(getpid()) + "." +
         std::to_string(counter.fetch_add(1));
}

// Moves a tree out of sight in one step, then removes it.
int RemoveTree(const std::string& parent, const std::string& path) {
  std::string doomed = UniqueSibling(parent, "removed");
  if (rename(path.c_str(), doomed.c_str()) != 0) return errno;
  std::error_code ignored;
  std::filesystem::remove_all(doomed, ignored);
  return 0;
}

bool KindMatches(const std::string& path, bool want_dir) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  return want_dir ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

// Finds the entry of `folder` named `name` ignoring case: the exact name first.
int FindEntry(const std::string& folder, const std::string& name, bool want_dir,
              std::string* actual) {
  if (KindMatches(folder + "/" + name, want_dir)) {
    *actual = name;
    return 0;
  }
  DIR* dir = opendir(folder.c_str());
  if (!dir) return errno == ENOTDIR ? ENOENT : errno;
  int rc = ENOENT;
  while (dirent* entry = readdir(dir)) {
    if (IsHidden(entry->d_name) || strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    if (!KindMatches(folder + "/" + entry->d_name, want_dir)) continue;
    *actual = entry->d_name;
    rc = 0;
    break;
  }
  closedir(dir);
  return rc;
}

int MakeKeyFolder(const std::string& path, const SecurityAttributes* attributes) {
  if (mkdir(path.c_str(), 0777) != 0) return errno;
  if (!attributes) return 0;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno;
  int rc = ApplySecurityAttributes(fd, true, attributes) == 0 ? 0 : errno;
  close(fd);
  return rc;
}

// A volatile key appears complete with its marker, or not at all.
int MakeVolatileKeyFolder(const std::string& parent, const std::string& path,
                          const SecurityAttributes* attributes) {
  std::string staging = UniqueSibling(parent, "key");
  int rc = MakeKeyFolder(staging, attributes);
  if (rc != 0) return rc;
  std::string marker = staging + "/" + kVolatileMarker;
  int fd = open(marker.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    std::string id = BootId() + "\n";
    if (write(fd, id.data(), id.size()) != static_cast<ssize_t>(id.size())) rc = EIO;
    close(fd);
  } else {
    rc = errno;
  }
  if (rc == 0 &&
      renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
    rc = errno;
  }
  if (rc != 0) {
    std::error_code ignored;
    std::filesystem::remove_all(staging, ignored);
  }
  return rc;
}

struct ResolveRequest {
  bool create = false;
  bool is_volatile = false;
  const SecurityAttributes* attributes = nullptr;
};

// Walks (and with `create`, makes) the key path below `folder`. On success `folder` and
// `logical` name the key found; `*created` tells whether its last component was made here.
int ResolveKey(const ResolveRequest& request, const std::vector<std::string>& parts,
               std::string* folder, std::string* logical, bool* created) {
  *created = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string actual;
    int rc = FindEntry(*folder, parts[i], true, &actual);
    if (rc == 0 && IsStaleVolatile(*folder + "/" + actual)) {
      if (request.create) RemoveTree(*folder, *folder + "/" + actual);
      rc = ENOENT;
    }
    if (rc == ENOENT && request.create) {
      std::string path = *folder + "/" + parts[i];
      rc = request.is_volatile ? MakeVolatileKeyFolder(*folder, path, request.attributes)
                               : MakeKeyFolder(path, request.attributes);
      if (rc == 0) {
        actual = parts[i];
        *created = i + 1 == parts.size();
      } else if (rc == EEXIST) {
        rc = FindEntry(*folder, parts[i], true, &actual);
      }
    }
    if (rc != 0) return rc;
    *folder += "/" + actual;
    if (!logical->empty()) *logical += '\\';
    *logical += actual;
  }
  return 0;
}

std::string JoinedPath(const RegKeyObject* parent, const std::vector<std::string>& parts) {
  std::string path = parent->logical;
  for (const std::string& part : parts) {
    if (!path.empty()) path += '\\';
    path += part;
  }
  return path;
}

bool IsSerialComm(const RegKeyObject* parent, const std::vector<std::string>& parts) {
  return parent->hive == RegHive::kLocalMachine &&
         strcasecmp(JoinedPath(parent, parts).c_str(), kSerialCommPath) == 0;
}

int OpenOrCreate(RegKey parent, std::string_view sub_key, uint32_t access,
                 const ResolveRequest& request, RegKey* result, uint32_t* disposition) {
  if (!parent || !result) return EINVAL;
  *result = nullptr;
  std::vector<std::string> parts;
  if (int rc = SplitKeyPath(sub_key, &parts)) return rc;
  auto key = std::make_unique<RegKeyObject>();
  key->hive = parent->hive;
  key->access = access;
  if (request.attributes) {
    key->has_attributes = true;
    key->attributes = *request.attributes;
  }
  bool created = false;
  if (parent->serial_comm || IsSerialComm(parent, parts)) {
    if (!parts.empty() && parent->serial_comm) return ENOENT;
    key->serial_comm = true;
    key->logical = kSerialCommPath;
  } else {
    std::string base = KeyFolder(parent);
    if (base.empty()) return ENOENT;
    if (request.create && parent->predefined) {
      std::error_code ignored;
      std::filesystem::create_directories(base, ignored);
    }
    key->folder = base;
    key->logical = parent->logical;
    if (int rc = ResolveKey(request, parts, &key->folder, &key->logical, &created)) return rc;
  }
  if (disposition) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
  *result = key.release();
  return 0;
}

// The value of a SERIALCOMM entry: named by its device, holding the port name.
int SerialCommValue(std::string_view name, RegValueData* value) {
  for (const SerialPortEntry& port : ListSerialPorts()) {
    if (port.device.size() == name.size() &&
        strncasecmp(port.device.data(), name.data(), name.size()) == 0) {
      value->type = kRegSz;
      value->bytes = port.name;
      return 0;
    }
  }
  return ENOENT;
}

int LoadValue(const RegKeyObject* key, std::string_view name, RegValueData* value) {
  if (!ValidName(name)) return name.empty() ? ENOENT : EINVAL;
  if (key->serial_comm) return SerialCommValue(name, value);
  std::string folder = KeyFolder(key);
  if (folder.empty()) return ENOENT;
  std::string actual;
  if (int rc = FindEntry(folder, std::string(name), false, &actual)) return rc;
  std::string content;
  if (int rc = ReadWholeFile(folder + "/" + actual, &content)) return rc;
  *value = DecodeRegValue(content);
  return 0;
}

// Copies a value out as the system's registry does: strings with a terminating NUL.
int CopyValueOut(const RegValueData& value, uint32_t* type, void* data, uint32_t* size) {
  std::string bytes = value.bytes;
  bool is_string = value.type == kRegSz || value.type == kRegExpandSz;
  if (is_string && (bytes.empty() || bytes.back() != '\0')) bytes.push_back('\0');
  if (type) *type = value.type;
  if (!size) return data ? EINVAL : 0;
  uint32_t room = *size;
  *size = static_cast<uint32_t>(bytes.size());
  if (!data) return 0;
  if (room < bytes.size()) return EOVERFLOW;
  std::memcpy(data, bytes.data(), bytes.size());
  return 0;
}

int WriteValueFile(const std::string& folder, const std::string& name, const std::string& content,
                   const SecurityAttributes* attributes) {
  std::string staging = UniqueSibling(folder, name);
  int fd = open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int rc = 0;
  if (attributes && ApplySecurityAttributes(fd, false, attributes) != 0) rc = errno;
  size_t done = 0;
  while (rc == 0 && done < content.size()) {
    ssize_t wrote = write(fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) rc = errno;
    if (wrote > 0) done += static_cast<size_t>(wrote);
  }
  if (rc == 0 && fdatasync(fd) != 0) rc = errno;
  if (close(fd) != 0 && rc == 0) rc = errno;
  if (rc == 0 && rename(staging.c_str(), (folder + "/" + name).c_str()) != 0) rc = errno;
  if (rc != 0) unlink(staging.c_str());
  return rc;
}

// Visible names of `folder` that are folders (`want_dir`) or regular files, in name order.
std::vector<std::string> ListEntries(const std::string& folder, bool want_dir) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    if (IsHidden(entry->d_name)) continue;
    std::string path = folder + "/" + entry->d_name;
    if (!KindMatches(path, want_dir)) continue;
    if (want_dir && IsStaleVolatile(path)) continue;
    names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

RegKey RegHiveKey(RegHive hive) { return &g_hives[static_cast<int>(hive)]; }

const char* RegHiveFolderName(RegHive hive) {
  switch (hive) {
    case RegHive::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegHive::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegHive::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegHive::kUsers:
      return "HKEY_USERS";
    case RegHive::kCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
    case RegHive::kPerformanceData:
    case RegHive::kDynData:
      return "";
  }
  return "";
}

int RegOpenKey(RegKey parent, std::string_view sub_key, uint32_t access, RegKey* result) {
  return OpenOrCreate(parent, sub_key, access, ResolveRequest{}, result, nullptr);
}

int RegCreateKey(RegKey parent, std::string_view sub_key, uint32_t options, uint32_t access,
                 const SecurityAttributes* attributes, RegKey* result, uint32_t* disposition) {
  ResolveRequest request;
  request.create = true;
  request.is_volatile = (options & kRegOptionVolatile) != 0;
  request.attributes = attributes;
  return OpenOrCreate(parent, sub_key, access, request, result, disposition);
}

int RegCloseKey(RegKey key) {
  if (key && !key->predefined) delete key;
  return 0;
}

int RegQueryValue(RegKey key, std::string_view name, uint32_t* type, void* data, uint32_t* size) {
  if (!key) return EINVAL;
  if (!(key->access & kKeyQueryValue)) return EACCES;
  RegValueData value;
  if (int rc = LoadValue(key, name, &value)) return rc;
  return CopyValueOut(value, type, data, size);
}

int RegQueryValueWriter(RegKey key, std::string_view name, uint32_t* writer) {
  if (!key || !writer) return EINVAL;
  if (!(key->access & kKeyQueryValue)) return EACCES;
  if (!ValidName(name)) return name.empty() ? ENOENT : EINVAL;
  std::string folder = KeyFolder(key);
  if (key->serial_comm || folder.empty()) return ENOENT;
  std::string actual;
  if (int rc = FindEntry(folder, std::string(name), false, &actual)) return rc;
  struct stat st;
  if (lstat((folder + "/" + actual).c_str(), &st) != 0) return errno;
  // A value rewritten in place keeps its file's owner, so the owner wrote it only where no one
  // else may write that file.
  const bool owner_only = S_ISREG(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  *writer = owner_only ? st.st_uid : kAnyUser;
  return 0;
}

int RegSetValue(RegKey key, std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!key || (!data && size)) return EINVAL;
  if (!(key->access & kKeySetValue) || key->serial_comm) return EACCES;
  if (!ValidName(name)) return EINVAL;
  std::string folder = KeyFolder(key);
  if (folder.empty()) return ENOENT;
  std::string_view bytes(static_cast<const char*>(data), size);
  bool is_string = type == kRegSz || type == kRegExpandSz;
  if (is_string && !bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
  std::string actual;
  int rc = FindEntry(folder, std::string(name), false, &actual);
  if (rc == ENOENT) {
    actual = std::string(name);
  } else if (rc != 0) {
    return rc;
  }
  return WriteValueFile(folder, actual, EncodeRegValue(type, bytes),
                        key->has_attributes ? &key->attributes : nullptr);
}

int RegGetString(RegKey key, std::string_view name, std::string* text) {
  if (!key || !text) return EINVAL;
  if (!(key->access & kKeyQueryValue)) return EACCES;
  RegValueData value;
  if (int rc = LoadValue(key, name, &value)) return rc;
  if (value.type != kRegSz && value.type != kRegExpandSz) return EINVAL;
  *text = value.bytes;
  return 0;
}

int RegDeleteValue(RegKey key, std::string_view name) {
  if (!key) return EINVAL;
  if (!(key->access & kKeySetValue) || key->serial_comm) return EACCES;
  if (!ValidName(name)) return EINVAL;
  std::string folder = KeyFolder(key);
  std::string actual;
  if (int rc = FindEntry(folder, std::string(name), false, &actual)) return rc;
  return unlink((folder + "/" + actual).c_str()) == 0 ? 0 : errno;
}

int RegDeleteKey(RegKey parent, std::string_view sub_key) {
  std::vector<std::string> parts;
  if (int rc = SplitKeyPath(sub_key, &parts)) return rc;
  if (parts.empty()) return EINVAL;
  RegKey key = nullptr;
  if (int rc = RegOpenKey(parent, sub_key, kKeyAllAccess, &key)) return rc;
  std::string folder = key->folder;
  bool synthesized = key->serial_comm;
  RegCloseKey(key);
  if (synthesized) return EACCES;
  return RemoveTree(folder.substr(0, folder.find_last_of('/')), folder);
}

int RegEnumValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, void* data,
                 uint32_t* size) {
  if (!key || !name) return EINVAL;
  if (!(key->access & kKeyQueryValue)) return EACCES;
  if (key->serial_comm) {
    std::vector<SerialPortEntry> ports = ListSerialPorts();
    if (index >= ports.size()) return ENOENT;
    *name = ports[index].device;
    return CopyValueOut({kRegSz, ports[index].name}, type, data, size);
  }
  std::vector<std::string> names = ListEntries(KeyFolder(key), false);
  if (index >= names.size()) return ENOENT;
  *name = names[index];
  if (!type && !data && !size) return 0;
  RegValueData value;
  if (int rc = LoadValue(key, names[index], &value)) return rc;
  return CopyValueOut(value, type, data, size);
}

int RegEnumKey(RegKey key, uint32_t index, std::string* name) {
  if (!key || !name) return EINVAL;
  if (key->serial_comm) return ENOENT;
  std::vector<std::string> names = ListEntries(KeyFolder(key), true);
  if (index >= names.size()) return ENOENT;
  *name = names[index];
  return 0;
}

int RegConnectRegistry(std::string_view machine, RegHive hive, RegKey* result) {
  if (!result) return EINVAL;
  *result = nullptr;
  if (!machine.empty()) return EHOSTUNREACH;
  *result = RegHiveKey(hive);
  return 0;
}

std::string RegKeyFolder(RegKey key) {
  if (!key || key->serial_comm) return "";
  return KeyFolder(key);
}

}  // namespace kestrum
