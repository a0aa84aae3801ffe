// Where the objects of one SCADA instance live.
//
// On Linux an instance is one directory (KESTRUM_RUNDIR) holding every shared area, mutex,
// mailslot and port alias of the instance, and one registry root (KESTRUM_REGISTRY). Both are
// read from the environment on every call, so a test can point a process at an instance of its
// own.
//
// On Windows the objects live in the system's own namespaces under the names the system gives
// them ("Global\dm_device", "\\.\mailslot\dm_12.slt"); there is no instance directory and no
// registry root, and no environment variable moves them.
#ifndef PARVEX_PLATFORM_INSTANCE_PATHS_H_
#define PARVEX_PLATFORM_INSTANCE_PATHS_H_

#include <string>
#include <string_view>

namespace kestrum {

#ifndef _WIN32
/// The instance runtime directory: $KESTRUM_RUNDIR when set and not empty; else /run/kestrum
/// for root; else $XDG_RUNTIME_DIR/kestrum when that is set; else /tmp/kestrum-<uid>.
std::string InstanceDir();

/// The registry root: $KESTRUM_REGISTRY when set and not empty; else /etc/kestrum/registry for
/// root; else ${XDG_CONFIG_HOME:-$HOME/.config}/kestrum/registry.
std::string RegistryRoot();

#endif  // _WIN32

/// The name by which the object with the Windows name `windows_name` is opened, `folder` telling
/// its kind ("shm" for file mappings and mutexes, "mailslot" for mailslots).
/// On Linux: its path in that sub-folder of the instance directory, every backslash replaced by
/// a slash: ObjectPath("shm", "Global\\dm_device") is "<instance>/shm/Global/dm_device".
/// On Windows: the name itself for "shm" (and any other folder), and the name under
/// "\\.\mailslot\" for "mailslot".
/// A prefix set with SetObjectNamePrefixForTests goes in front of the object's own name (the
/// text after the last backslash) on both platforms.
std::string ObjectPath(std::string_view folder, std::string_view windows_name);

/// Puts `prefix` in front of the own name of every object that ObjectPath names from now on, so
/// that the test cases inside one test program each see objects of their own. Only tests call
/// this; an empty prefix (the start-up state) names the objects as the system does.
void SetObjectNamePrefixForTests(std::string_view prefix);

/// `windows_name` with the prefix of SetObjectNamePrefixForTests in front of its own name.
std::string WithObjectNamePrefix(std::string_view windows_name);

/// Permission bits that every object of an instance grants its group, whatever the umask.
inline constexpr unsigned kInstanceGroupFileMode = 0660;
inline constexpr unsigned kInstanceGroupFolderMode = 0770;

#ifndef _WIN32
/// Creates the folder `path` and its missing parents. Each folder it creates is readable,
/// writable and searchable by the instance's group whatever the umask, and keeps the
/// set-group-id bit it inherited, so that what is created inside belongs to the instance's
/// group. Returns 0 when the folder exists afterwards, -1 with the error number set otherwise
/// (ENOTDIR when something else is in the way).
int CreateInstanceFolder(const std::string& path);
#endif  // _WIN32

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_INSTANCE_PATHS_H_
