// Where the objects of one SCADA instance live on Linux.
//
// An instance is one directory (KESTRUM_RUNDIR) holding every shared area, mutex, mailslot and
// port alias of the instance, and one registry root (KESTRUM_REGISTRY). Both are read from the
// environment on every call, so a test can point a process at an instance of its own.
#ifndef PARVEX_PLATFORM_INSTANCE_PATHS_H_
#define PARVEX_PLATFORM_INSTANCE_PATHS_H_

#include <string>
#include <string_view>

namespace kestrum {

/// The instance runtime directory: $KESTRUM_RUNDIR when set and not empty; else /run/kestrum
/// for root; else $XDG_RUNTIME_DIR/kestrum when that is set; else /tmp/kestrum-<uid>.
std::string InstanceDir();

/// The registry root: $KESTRUM_REGISTRY when set and not empty; else /etc/kestrum/registry for
/// root; else ${XDG_CONFIG_HOME:-$HOME/.config}/kestrum/registry.
std::string RegistryRoot();

/// Maps a Windows object name to its path in a sub-folder of the instance directory, replacing
/// every backslash by a slash: ObjectPath("shm", "Global\\dm_device") is
/// "<instance>/shm/Global/dm_device".
std::string ObjectPath(std::string_view folder, std::string_view windows_name);

/// Permission bits that every object of an instance grants its group, whatever the umask.
inline constexpr unsigned kInstanceGroupFileMode = 0660;
inline constexpr unsigned kInstanceGroupFolderMode = 0770;

/// Creates the folder `path` and its missing parents. Each folder it creates is readable,
/// writable and searchable by the instance's group whatever the umask, and keeps the
/// set-group-id bit it inherited, so that what is created inside belongs to the instance's
/// group. Returns 0 when the folder exists afterwards, -1 with the error number set otherwise
/// (ENOTDIR when something else is in the way).
int CreateInstanceFolder(const std::string& path);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_INSTANCE_PATHS_H_
