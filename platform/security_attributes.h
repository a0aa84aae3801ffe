// The access rights that a created object (folder, registry key or value, shared file) gets.
//
// The system hands "security attributes" to every call that creates an object. On Linux they
// carry the permission bits and the group that the new file or folder receives; the runtime
// decides them once per process (GetSharedSecurityAttributes). A null pointer means "the
// process defaults": the mode asked for at creation, reduced by the umask, and the creator's
// group.
#ifndef PARVEX_PLATFORM_SECURITY_ATTRIBUTES_H_
#define PARVEX_PLATFORM_SECURITY_ATTRIBUTES_H_

#include <sys/types.h>

#include <string>

namespace kestrum {

/// Permissions given to objects created with these attributes.
struct SecurityAttributes {
  mode_t file_mode = 0660;  ///< Exact mode of a created regular file (umask not applied).
  mode_t dir_mode = 0770;   ///< Exact mode of a created folder (umask not applied).
  gid_t group = static_cast<gid_t>(-1);  ///< Group of created objects; -1 keeps the creator's.
  bool inherit = false;  ///< Whether child processes inherit handles (kept for the system's API).
};

/// Gives the open file `fd` the mode and group of `attributes` (files when `is_dir` is false,
/// folders otherwise). Null attributes change nothing. A group the process may not assign is
/// left as it is. Returns 0, or -1 with the error number set when the mode cannot be set.
int ApplySecurityAttributes(int fd, bool is_dir, const SecurityAttributes* attributes);

/// Creates the folder `path` (its parent must exist) with the attributes, or with mode 0777
/// reduced by the umask when they are null. Returns 0 when the folder was created, -1 with the
/// error number set otherwise (EEXIST when something already exists at `path`).
int CreateFolder(const std::string& path, const SecurityAttributes* attributes);

/// Creates `path` and every missing parent folder like CreateFolder. Returns 0 when the folder
/// exists afterwards, -1 with the error number set otherwise.
int CreateFolderTree(const std::string& path, const SecurityAttributes* attributes);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_SECURITY_ATTRIBUTES_H_
