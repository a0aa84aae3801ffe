#include "platform/instance_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error_number.h"

namespace kestrum {
namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

std::string InstanceDir() {
  if (const char* dir = NonEmptyEnv("KESTRUM_RUNDIR")) return dir;
  if (geteuid() == 0) return "/run/kestrum";
  if (const char* xdg = NonEmptyEnv("XDG_RUNTIME_DIR")) return std::string(xdg) + "/kestrum";
  return "/tmp/kestrum-" + std::to_string(getuid());
}

std::string RegistryRoot() {
  if (const char* dir = NonEmptyEnv("KESTRUM_REGISTRY")) return dir;
  if (geteuid() == 0) return "/etc/kestrum/registry";
  std::string config;
  if (const char* xdg = NonEmptyEnv("XDG_CONFIG_HOME")) {
    config = xdg;
  } else {
    const char* home = NonEmptyEnv("HOME");
    config = std::string(home ? home : "") + "/.config";
  }
  return config + "/kestrum/registry";
}

std::string ObjectPath(std::string_view folder, std::string_view windows_name) {
  std::string path = InstanceDir();
  path += '/';
  path += folder;
  path += '/';
  for (char c : WithObjectNamePrefix(windows_name)) path += (c == '\\') ? '/' : c;
  return path;
}

int CreateInstanceFolder(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : FailWith(ENOTDIR);
  if (errno != ENOENT) return FailFromErrno();
  const std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && CreateInstanceFolder(path.substr(0, slash)) != 0) {
    return -1;
  }
  if (mkdir(path.c_str(), kInstanceGroupFolderMode) != 0 && errno != EEXIST) {
    return FailFromErrno();
  }
  if (stat(path.c_str(), &st) != 0) return FailFromErrno();
  if (!S_ISDIR(st.st_mode)) return FailWith(ENOTDIR);
  // mkdir inherits the set-group-id bit of the parent but loses group bits to the umask.
  const mode_t wanted = (st.st_mode & 07777) | kInstanceGroupFolderMode;
  if (wanted != (st.st_mode & 07777) && chmod(path.c_str(), wanted) != 0) return FailFromErrno();
  return 0;
}

}  // namespace kestrum
