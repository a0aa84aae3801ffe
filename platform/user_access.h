// Another user's access to a file or folder, judged by its permission bits: what that user could
// have done itself, where this process acts on a path that user named.
//
// Linux only. Windows users are security identifiers, not numbers, and their access is given
// by access lists, not permission bits: the judgement has no meaning there and is not built.
// The numbers a Windows caller gets (RegQueryValueWriter) are 0, the system and the
// administrators, who may do anything, and kAnyUser, a writer this process cannot name: a
// Windows caller grants it only what the access lists grant every user.
#ifndef PARVEX_PLATFORM_USER_ACCESS_H_
#define PARVEX_PLATFORM_USER_ACCESS_H_

#include <cstdint>

#include "platform/file_access.h"
#include "platform/file_system.h"

namespace kestrum {

/// A user with no more right than every user has: owns nothing and is in no group.
inline constexpr std::uint32_t kAnyUser = 0xFFFFFFFF;

/// Returns true when the permission bits of the file or folder `target` grant the user `user`
/// every access of `access` (kAccess* flags): the owner bits when the user owns it, else the
/// group bits when the user's primary or a supplementary group (from the user database) is its
/// group, else the other bits. The superuser is granted everything; kAnyUser, and a user
/// without an entry in the user database, is in no group. Sets no error number.
#ifndef _WIN32
bool UserMayAccess(std::uint32_t user, const FileInfo& target, int access);
#endif

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_USER_ACCESS_H_
