#include <cerrno>
#include <cstdlib>

#include "platform/environment.h"
#include "platform/error_number.h"

namespace kestrum {

// Windows keeps one variable per name whatever its case, and the C runtime's getenv already
// ignores the case of the name it is given.
const char* FindEnvironmentVariable(const std::string& name) { return std::getenv(name.c_str()); }

// The C runtime's copy and the process's environment block change together, so that getenv
// and the processes started later both see the change.
int SetEnvironmentValue(const std::string& name, const char* value) {
  const errno_t rc = _putenv_s(name.c_str(), value != nullptr ? value : "");
  return rc == 0 ? 0 : FailWith(rc);
}

}  // namespace kestrum
