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

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_INSTANCE_PATHS_H_
