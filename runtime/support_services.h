// Small services shared by the runtime and the scanner: the platform id, the access rights of
// created objects, file access checks and single-precision arithmetic.
#ifndef PARVEX_RUNTIME_SUPPORT_SERVICES_H_
#define PARVEX_RUNTIME_SUPPORT_SERVICES_H_

#include <cstdint>

#include "platform/security_attributes.h"

namespace kestrum {

/// The platform id: 1 for the older Windows family, 2 for the NT family. Always 2 on Linux;
/// the layouts and names that differ on platform 1 take the id as an argument.
int GetPlatformId();

/// The security attributes every object this process creates gets, decided on first use and
/// kept for the life of the process: files 0660 and folders 0770 (umask not applied), group of
/// the instance directory (the SCADA's group) when that directory exists, else the creator's
/// group. So every member of the instance's group has full access, as the instance directory
/// grants. Returns the process-wide attributes (never null on Linux; owned by the library).
const SecurityAttributes* GetSharedSecurityAttributes();

// Generic access rights for CanAccessFile, and the specific file rights they map to.
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
inline constexpr uint32_t kGenericExecute = 0x20000000;
inline constexpr uint32_t kGenericAll = 0x10000000;
inline constexpr uint32_t kFileGenericRead = 0x120089;
inline constexpr uint32_t kFileGenericWrite = 0x120116;
inline constexpr uint32_t kFileGenericExecute = 0x1200A0;
inline constexpr uint32_t kFileAllAccess = 0x1F01FF;

/// Returns 1 when the process (effective user and groups) may access the file or folder
/// `path` with `desired_access` (generic rights, mapped with the file generic mapping, and
/// specific file rights: read data/EA read, write data/append/EA/attributes write, execute
/// execute; other rights need only that the path exists), otherwise 0 (also for a missing
/// path or a null one).
int CanAccessFile(const char* path, uint32_t desired_access);

/// Single-precision arithmetic on values passed by reference: the result is rounded to float
/// after each operation, as the scanner's value arithmetic expects.
float AddFloats(const float& a, const float& b);
float SubtractFloats(const float& a, const float& b);
float MultiplyFloats(const float& a, const float& b);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_SUPPORT_SERVICES_H_
