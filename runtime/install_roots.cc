#include "runtime/install_roots.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "platform/registry.h"
#include "platform/security_attributes.h"
#include "platform/shared_object.h"
#include "platform/user_info.h"
#include "records/text_case.h"
#include "runtime/location_split.h"
#include "runtime/registry_access.h"
#include "runtime/support_services.h"

namespace kestrum {
namespace {

constexpr const char* kFamilyKey = "SOFTWARE\\Veltrane\\Kestrum";
constexpr size_t kMaxLocationName = 249;
constexpr size_t kMaxReferencedValue = 259;

// What is determined once per process.
struct ProcessSettings {
  bool product_known = false;
  std::string product;
  bool probed = false;
  bool embedded = false;
  bool computer_known = false;
  std::string computer;
};
ProcessSettings g_settings;

// The static result buffers.
std::string g_root;
std::string g_location;
std::string g_folder;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         CompareIgnoringCase(text.data(), prefix.data(), prefix.size()) == 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareIgnoringCase(a.data(), b.data(), a.size()) == 0;
}

std::string_view WithoutKsm(std::string_view name) {
  return StartsWithNoCase(name, "KSM_") ? name.substr(4) : name;
}

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// Reads a string value of at most `max_chars` characters; false when missing, of another type
// or too long.
bool QueryShortString(RegKey key, const char* name, size_t max_chars, std::string* text) {
  std::string buffer(max_chars + 1, '\0');
  uint32_t type = 0;
  uint32_t size = static_cast<uint32_t>(buffer.size());
  if (RegQueryValue(key, name, &type, buffer.data(), &size) != 0) return false;
  if (type != kRegSz && type != kRegExpandSz) return false;
  buffer.resize(size);
  if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  if (buffer.size() > max_chars) return false;
  *text = buffer;
  return true;
}

bool ReadProductName(const char* key_path, bool create, std::string* name) {
  RegKey key = nullptr;
  int rc = create ? CreateRegistryKey(RegHiveKey(RegHive::kLocalMachine), key_path, 0,
                                      kKeyQueryValue, GetSharedSecurityAttributes(), &key, nullptr)
                  : RegOpenKey(RegHiveKey(RegHive::kLocalMachine), key_path, kKeyQueryValue, &key);
  if (rc != 0) return false;
  bool read = QueryShortString(key, "ProductName", kMaxProductName, name);
  RegCloseKey(key);
  return read;
}

bool ParseHive(std::string_view name, RegHive* hive) {
  struct Named {
    const char* name;
    RegHive hive;
  };
  static constexpr Named kHives[] = {{"ClassesRoot", RegHive::kClassesRoot},
                                     {"CurrentUser", RegHive::kCurrentUser},
                                     {"LocalMachine", RegHive::kLocalMachine},
                                     {"Users", RegHive::kUsers},
                                     {"PerformanceData", RegHive::kPerformanceData},
                                     {"CurrentConfig", RegHive::kCurrentConfig},
                                     {"DynData", RegHive::kDynData}};
  for (const Named& named : kHives) {
    if (EqualsNoCase(name, named.name)) {
      *hive = named.hive;
      return true;
    }
  }
  return false;
}

// Reads the registry value that "\Hive\Key\Path\Value" names.
bool ReadRegistryReference(std::string_view reference, std::string* value) {
  if (reference.empty() || reference[0] != '\\') return false;
  size_t hive_end = reference.find('\\', 1);
  size_t last = reference.rfind('\\');
  if (hive_end == std::string_view::npos || last + 1 >= reference.size()) return false;
  RegHive hive;
  if (!ParseHive(reference.substr(1, hive_end - 1), &hive)) return false;
  std::string key_path(reference.substr(hive_end + 1, last > hive_end ? last - hive_end - 1 : 0));
  std::string value_name(reference.substr(last + 1));
  std::string buffer(kMaxReferencedValue + 1, '\0');
  uint32_t type = 0;
  uint32_t size = static_cast<uint32_t>(buffer.size());
  if (AccessRegistryValue(RegHiveKey(hive), key_path.c_str(), kKeyQueryValue, value_name.c_str(),
                          &type, buffer.data(), &size) != 0) {
    return false;
  }
  if (type != kRegSz && type != kRegExpandSz) return false;
  buffer.resize(size);
  if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  *value = buffer;
  return true;
}

bool IsExportLocation(std::string_view name) {
  std::string_view bare = WithoutKsm(name);
  return EqualsNoCase(bare, "REPLAY_OPTIONS") || EqualsNoCase(bare, "EXPORTED_DATA") ||
         EqualsNoCase(bare, "EXPORTED_IMAGES");
}

// The export folder below the user's application data; `fallback` when there is none.
std::string UserExportFolder(std::string_view name, const std::string& fallback) {
  std::string folder = LocalAppDataFolder();
  const SecurityAttributes* attributes = GetSharedSecurityAttributes();
  if (folder.empty() || CreateFolderTree(folder, nullptr) != 0) return fallback;
  for (std::string_view part :
       {std::string_view("Veltrane"), std::string_view(GetProductName()), WithoutKsm(name)}) {
    folder += '/';
    folder += part;
    CreateFolder(folder, attributes);  // an existing folder is fine; other failures show later
  }
  return folder;
}

bool IsLocalName(std::string_view host) {
  if (host.empty() || host == "." || EqualsNoCase(host, "localhost") || host == "127.0.0.1") {
    return true;
  }
  if (!g_settings.computer_known) {
    GetComputerName(&g_settings.computer);
    g_settings.computer_known = true;
  }
  return !g_settings.computer.empty() && EqualsNoCase(host, g_settings.computer);
}

}  // namespace

const char* GetProductName() {
  ProcessSettings& s = g_settings;
  if (s.product_known) return s.product.c_str();
  const char* fallback = IsEmbeddedController() ? "Tarvo" : "Kestrum";
  std::string name;
  if (!ReadProductName("SOFTWARE\\Veltrane", true, &name)) {
    ReadProductName(kFamilyKey, false, &name);
  }
  s.product = name.empty() ? fallback : name;
  s.product_known = true;
  return s.product.c_str();
}

const char* GetInstallRoot() {
  g_root = std::string("/opt/") + GetProductName();
  std::string buffer(kMaxRootValue + 2, '\0');
  uint32_t type = 0;
  uint32_t size = static_cast<uint32_t>(buffer.size());
  if (AccessRegistryValue(RegHiveKey(RegHive::kLocalMachine), kFamilyKey, kKeyQueryValue,
                          "Root:", &type, buffer.data(), &size) == 0 &&
      (type == kRegSz || type == kRegExpandSz)) {
    buffer.resize(size);
    if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
    if (!buffer.empty() && buffer.size() <= kMaxRootValue) g_root = buffer;
  }
  return g_root.c_str();
}

char GetSystemDriveLetter() { return IsEmbeddedController() ? 'D' : 'C'; }

bool IsEmbeddedController() {
  ProcessSettings& s = g_settings;
  if (s.probed) return s.embedded;
  const char* path = std::getenv("KESTRUM_VENDOR_LIBRARY");
  {
    KeepErrorNumber keep;  // a missing vendor library is the normal case, not an error
    s.embedded = LoadModule(path && *path ? path : kVendorLibraryPath) != nullptr;
  }
  s.probed = true;
  return s.embedded;
}

const char* ResolveLocation(const char* name) {
  if (!name || std::strlen(name) > kMaxLocationName) {
    SetErrorNumber(kLocationNameTooLong);
    return nullptr;
  }
  std::string key = StartsWithNoCase(name, "DM2_") ? "KSM_" + std::string(name + 4) : name;
  const char* value = key.empty() ? nullptr : FindEnvironmentVariable(key);
  if (!value) {
    std::string root = GetInstallRoot();
    g_location = root + "/" + UpperCase(WithoutKsm(key));
    return g_location.c_str();
  }
  std::string_view text(value);
  std::string referenced;
  if (text.size() >= 2 && text.front() == '%' && text.back() == '%' &&
      ReadRegistryReference(text.substr(1, text.size() - 2), &referenced)) {
    g_location = referenced;
  } else {
    g_location = value;
  }
  return g_location.c_str();
}

const char* GetFolder(const char* name) {
  const char* resolved = ResolveLocation(name);
  if (!resolved) return nullptr;
  std::string path = resolved;
  std::string_view location = name;
  std::string normal =
      StartsWithNoCase(location, "DM2_") ? "KSM_" + std::string(name + 4) : std::string(location);
  if (!IsExportLocation(normal)) return resolved;
  const SecurityAttributes* attributes = GetSharedSecurityAttributes();
  KeepErrorNumber keep;
  CreateFolderTree(path, attributes);
  if (CanAccessFile(path.c_str(), kGenericWrite)) {
    g_folder = path;
  } else {
    // There are no remote-desktop client drives on Linux: the user's own folder is next.
    g_folder = UserExportFolder(WithoutKsm(normal), path);
  }
  return g_folder.c_str();
}

bool IsLocalHost(const char* host) {
  if (!host || IsLocalName(host)) return true;
  std::string_view text(host);
  if (StartsWithNoCase(text, "PROVIDER=")) return false;
  if ((text.size() > 1 && text[1] == ':') || text[0] == '\\' || text[0] == '/') return false;
  LocationParts parts;
  if (!SplitLocation(host, 0, 0, &parts)) return false;
  return IsLocalName(parts.host);
}

void ForgetProcessSettings() { g_settings = ProcessSettings{}; }

}  // namespace kestrum
