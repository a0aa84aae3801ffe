#include "platform/user_info.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/error_number.h"

namespace kestrum {

std::string LocalAppDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return data;
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/share";
  return "";
}

int GetComputerName(std::string* name) {
  char buffer[HOST_NAME_MAX + 1] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return FailFromErrno();
  *name = buffer;
  return 0;
}

int GetUserName(std::string* name) {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 4096);
  passwd entry;
  passwd* found = nullptr;
  int rc;
  while ((rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (rc != 0) return FailWith(rc);
  if (!found) return FailWith(ENOENT);
  *name = found->pw_name;
  return 0;
}

}  // namespace kestrum
