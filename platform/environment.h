// The process's environment variables, looked up as the system's original platform does.
#ifndef PARVEX_PLATFORM_ENVIRONMENT_H_
#define PARVEX_PLATFORM_ENVIRONMENT_H_

#include <string>

namespace kestrum {

/// Returns the value of environment variable `name`, its case ignored as the system's original
/// platform ignores it (an exact match is taken first); null when there is none. The pointer
/// stays valid until the environment changes. Sets no error number.
const char* FindEnvironmentVariable(const std::string& name);

/// Sets the environment variable `name` to `value` for this process and the processes it
/// starts, or removes it when `value` is null. On Windows, which keeps no empty variables, an
/// empty value removes it too. Returns 0, or -1 with the error number set.
int SetEnvironmentValue(const std::string& name, const char* value);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_ENVIRONMENT_H_
