// The access rights that a created object (folder, registry key or value, shared area or mutex)
// gets.
//
// The system hands "security attributes" to every call that creates an object; the runtime
// decides them once per process (GetSharedSecurityAttributes). A null pointer means "the
// process defaults".
//
// On Linux they carry the permission bits and the group that the new file or folder receives;
// the process defaults are the mode asked for at creation, reduced by the umask, and the
// creator's group.
//
// On Windows attributes (any, whatever their bits) give the new object a security descriptor
// with a present but null access-control list: every user has full access, as the system's
// shared security attributes do, so that services and desktop programs of the SCADA can open
// each other's objects. The process defaults are the creator's default descriptor. Windows
// objects get their security when they are created; nothing is applied afterwards.
#ifndef PARVEX_PLATFORM_SECURITY_ATTRIBUTES_H_
#define PARVEX_PLATFORM_SECURITY_ATTRIBUTES_H_

#include <cstdint>
#include <string>

namespace kestrum {

/// The group of SecurityAttributes that keeps the creator's group.
inline constexpr std::uint32_t kKeepCreatorsGroup = static_cast<std::uint32_t>(-1);

/// Permissions given to objects created with these attributes.
struct SecurityAttributes {
  unsigned file_mode = 0660;  ///< Exact mode of a created regular file (umask not applied).
  unsigned dir_mode = 0770;   ///< Exact mode of a created folder (umask not applied).
  std::uint32_t group = kKeepCreatorsGroup;  ///< Group of created objects (Linux only).
  bool inherit = false;  ///< Whether child processes inherit the handles of created objects.
};

#ifndef _WIN32
/// Gives the open file `fd` the mode and group of `attributes` (files when `is_dir` is false,
/// folders otherwise). Null attributes change nothing. A group the process may not assign is
/// left as it is. Returns 0, or -1 with the error number set when the mode cannot be set.
int ApplySecurityAttributes(int fd, bool is_dir, const SecurityAttributes* attributes);
#else
/// The SECURITY_ATTRIBUTES (as a pointer to void) that a Windows call creating an object takes
/// for `attributes`: null for null attributes, else attributes with the null access-control
/// list, built on first use and kept for the life of the process. Returns 0 and stores the
/// pointer in `*native`, or -1 with the error number set when the descriptor cannot be built
/// (the next call tries again).
int NativeSecurityAttributes(const SecurityAttributes* attributes, void** native);
#endif

/// Creates the folder `path` (its parent must exist) with the attributes, or with mode 0777
/// reduced by the umask when they are null. Returns 0 when the folder was created, -1 with the
/// error number set otherwise (EEXIST when something already exists at `path`).
int CreateFolder(const std::string& path, const SecurityAttributes* attributes);

/// Creates `path` and every missing parent folder like CreateFolder. Returns 0 when the folder
/// exists afterwards, -1 with the error number set otherwise.
int CreateFolderTree(const std::string& path, const SecurityAttributes* attributes);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_SECURITY_ATTRIBUTES_H_
