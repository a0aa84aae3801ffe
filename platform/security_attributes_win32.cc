// The Windows half of the access rights of created objects: a null access-control list.
#include <windows.h>

#include <cerrno>
#include <mutex>

#include "platform/error_number.h"
#include "platform/security_attributes.h"

namespace kestrum {
namespace {

// The process's attributes with the null access-control list, one for each inherit choice.
struct NullDaclAttributes {
  std::mutex mutex;
  bool built = false;
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes[2];  // [inherit]
};

NullDaclAttributes& TheAttributes() {
  static NullDaclAttributes* attributes = new NullDaclAttributes;  // used until the process ends
  return *attributes;
}

// Folder calls report what callers above test for with errno values.
int FailFolder() {
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return FailWith(EEXIST);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FailWith(ENOENT);
  return FailFromLastError();
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

int NativeSecurityAttributes(const SecurityAttributes* attributes, void** native) {
  *native = nullptr;
  if (!attributes) return 0;
  NullDaclAttributes& a = TheAttributes();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (!a.built) {
    if (!InitializeSecurityDescriptor(&a.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&a.descriptor, TRUE, nullptr, FALSE)) {
      return FailFromLastError();
    }
    for (int inherit = 0; inherit < 2; ++inherit) {
      a.attributes[inherit].nLength = sizeof(SECURITY_ATTRIBUTES);
      a.attributes[inherit].lpSecurityDescriptor = &a.descriptor;
      a.attributes[inherit].bInheritHandle = inherit;
    }
    a.built = true;
  }
  *native = &a.attributes[attributes->inherit ? 1 : 0];
  return 0;
}

int CreateFolder(const std::string& path, const SecurityAttributes* attributes) {
  void* native = nullptr;
  if (NativeSecurityAttributes(attributes, &native) != 0) return -1;
  if (!CreateDirectoryA(path.c_str(), static_cast<SECURITY_ATTRIBUTES*>(native))) {
    return FailFolder();
  }
  return 0;
}

int CreateFolderTree(const std::string& path, const SecurityAttributes* attributes) {
  const DWORD found = GetFileAttributesA(path.c_str());
  if (found != INVALID_FILE_ATTRIBUTES) {
    return (found & FILE_ATTRIBUTE_DIRECTORY) ? 0 : FailWith(ENOTDIR);
  }
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return FailFromLastError();
  std::string::size_type end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;  // the last part's start
  while (end > 0 && IsSeparator(path[end - 1])) --end;   // the parent's end
  if (end > 0 && path[end - 1] != ':' && CreateFolderTree(path.substr(0, end), attributes) != 0) {
    return -1;
  }
  if (CreateFolder(path, attributes) == 0) return 0;
  return GetErrorNumber() == EEXIST ? 0 : -1;
}

}  // namespace kestrum
