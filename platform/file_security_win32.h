// Internal to platform/'s Windows halves: who owns a file or folder, and what a user with only
// the rights every user has may do with it, from its security descriptor and the process token.
#ifndef PARVEX_PLATFORM_FILE_SECURITY_WIN32_H_
#define PARVEX_PLATFORM_FILE_SECURITY_WIN32_H_

#include <cstdint>

namespace kestrum {

/// The owner of the open file or folder `handle` (a HANDLE with READ_CONTROL access) as
/// FileInfo reports it: EffectiveUserId() when its owner is the process token's user or the
/// owner the token gives what the process creates (the Administrators group for an elevated
/// administrator), else kOtherUserId, also when the owner cannot be read.
std::uint32_t OwnerIdOf(void* handle);

/// Whether the access list of the open file or folder `handle` (a HANDLE with READ_CONTROL
/// access) grants every right of `rights` (a Windows access mask) to a user who has only what
/// every signed-in user has: the groups Everyone, Authenticated Users, Users and Interactive. A
/// null access list grants everything. False when the access list cannot be read.
bool AnyUserMay(void* handle, std::uint32_t rights);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_FILE_SECURITY_WIN32_H_
