#include <cerrno>
#include <cstdlib>

#include "platform/environment.h"
#include "platform/error_number.h"

namespace kestrum {

// Windows keeps one variable per name whatever its case, and the C runtime's getenv already
// ignores the case of the name it is given.
const char* FindEnvironmentVariable(const std::string& name) { return std::getenv(name.c_str()); }

// _putenv_s changes the C runtime's copy and the process's own environment block, which the
// programs this process starts inherit. An empty value removes the variable.
int SetEnvironmentValue(const std::string& name, const std::string& value) {
  if (value.empty()) return FailWith(EINVAL);
  const errno_t error = _putenv_s(name.c_str(), value.c_str());
  if (error != 0) return FailWith(error);
  return 0;
}

int RemoveEnvironmentValue(const std::string& name) {
  const errno_t error = _putenv_s(name.c_str(), "");
  if (error != 0) return FailWith(error);
  return 0;
}

}  // namespace kestrum
