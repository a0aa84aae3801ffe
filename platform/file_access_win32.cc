#include <windows.h>

#include <vector>

#include "platform/file_access.h"
#include "platform/owned_handle_win32.h"

namespace kestrum {
namespace {

// The security descriptor of the file or folder `path` (owner, group and access list), or none.
std::vector<unsigned char> DescriptorOf(const std::string& path) {
  const SECURITY_INFORMATION parts =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  if (GetFileSecurityA(path.c_str(), parts, nullptr, 0, &size) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return {};
  }
  std::vector<unsigned char> descriptor(size);
  if (!GetFileSecurityA(path.c_str(), parts, descriptor.data(), size, &size)) return {};
  return descriptor;
}

// The process token as an impersonation token, which the access check needs, or none.
OwnedHandle ImpersonationToken() {
  HANDLE process = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY,
                        &process)) {
    return nullptr;
  }
  const OwnedHandle held(process);
  HANDLE impersonation = nullptr;
  if (!DuplicateToken(process, SecurityImpersonation, &impersonation)) return nullptr;
  return OwnedHandle(impersonation);
}

}  // namespace

// The file's access list is checked against the process token; execute is the right to run a
// file or to pass through a folder. The read-only attribute refuses writing to a file whatever
// its access list says.
bool HasFileAccess(const std::string& path, int access) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (access == 0) return true;
  if ((access & kAccessWrite) && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  std::vector<unsigned char> descriptor = DescriptorOf(path);
  const OwnedHandle token = ImpersonationToken();
  if (descriptor.empty() || !token) return false;
  DWORD desired = 0;
  if (access & kAccessRead) desired |= FILE_GENERIC_READ;
  if (access & kAccessWrite) desired |= FILE_GENERIC_WRITE;
  if (access & kAccessExecute) desired |= FILE_GENERIC_EXECUTE;
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  MapGenericMask(&desired, &mapping);
  PRIVILEGE_SET privileges = {};
  DWORD privileges_size = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  if (!AccessCheck(descriptor.data(), token.get(), desired, &mapping, &privileges, &privileges_size,
                   &granted, &allowed)) {
    return false;
  }
  return allowed != FALSE;
}

}  // namespace kestrum
