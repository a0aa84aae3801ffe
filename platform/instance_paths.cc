#include "platform/instance_paths.h"

#include <unistd.h>

#include <cstdlib>

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
  for (char c : windows_name) path += (c == '\\') ? '/' : c;
  return path;
}

}  // namespace kestrum
