#include "platform/environment.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error_number.h"

namespace kestrum {

const char* FindEnvironmentVariable(const std::string& name) {
  if (const char* value = std::getenv(name.c_str())) return value;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals && static_cast<size_t>(equals - *entry) == name.size() &&
        strncasecmp(*entry, name.c_str(), name.size()) == 0) {
      return equals + 1;
    }
  }
  return nullptr;
}

int SetEnvironmentValue(const std::string& name, const std::string& value) {
  if (value.empty()) return FailWith(EINVAL);  // as on Windows, where empty means removed
  if (setenv(name.c_str(), value.c_str(), 1) != 0) return FailFromErrno();
  return 0;
}

int RemoveEnvironmentValue(const std::string& name) {
  if (unsetenv(name.c_str()) != 0) return FailFromErrno();
  return 0;
}

}  // namespace kestrum
