#include "runtime/support_services.h"

#include "platform/file_access.h"
#include "platform/file_system.h"
#include "platform/instance_paths.h"
#include "runtime/process_identity.h"

namespace kestrum {
namespace {

// Rights of the file generic mapping that stand for reading, writing and executing.
constexpr uint32_t kReadRights = 0x0001 | 0x0008;                     // data, extended attributes
constexpr uint32_t kWriteRights = 0x0002 | 0x0004 | 0x0010 | 0x0100;  // data, append, EA, attr.
constexpr uint32_t kExecuteRights = 0x0020;

uint32_t MapGenericRights(uint32_t access) {
  if (access & kGenericRead) access |= kFileGenericRead;
  if (access & kGenericWrite) access |= kFileGenericWrite;
  if (access & kGenericExecute) access |= kFileGenericExecute;
  if (access & kGenericAll) access |= kFileAllAccess;
  return access;
}

}  // namespace

int GetPlatformId() { return CurrentPlatformId(); }

const SecurityAttributes* GetSharedSecurityAttributes() {
  static const SecurityAttributes attributes = [] {
    SecurityAttributes made;
    made.file_mode = 0660;
    made.dir_mode = 0770;
#ifndef _WIN32
    // What the instance creates belongs to the instance directory's group. Windows objects
    // have no group: their attributes give everyone access.
    FileInfo info;
    if (GetFileInfo(InstanceDir(), &info) == 0) made.group = info.group;
#endif
    return made;
  }();
  return &attributes;
}

int CanAccessFile(const char* path, uint32_t desired_access) {
  if (!path) return 0;
  uint32_t rights = MapGenericRights(desired_access);
  int access = 0;
  if (rights & kReadRights) access |= kAccessRead;
  if (rights & kWriteRights) access |= kAccessWrite;
  if (rights & kExecuteRights) access |= kAccessExecute;
  return HasFileAccess(path, access) ? 1 : 0;
}

float AddFloats(const float& a, const float& b) { return a + b; }
float SubtractFloats(const float& a, const float& b) { return a - b; }
float MultiplyFloats(const float& a, const float& b) { return a * b; }

}  // namespace kestrum
