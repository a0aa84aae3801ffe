// The process's environment variables, looked up as the system's original platform does.
#ifndef PARVEX_PLATFORM_ENVIRONMENT_H_
#define PARVEX_PLATFORM_ENVIRONMENT_H_

#include <string>

namespace kestrum {

/// Returns the value of environment variable `name`, its case ignored as the system's original
/// platform ignores it (an exact match is taken first); null when there is none. The pointer
/// stays valid until the environment changes. Sets no error number.
const char* FindEnvironmentVariable(const std::string& name);

/// Sets environment variable `name` to `value` (not empty) for this process and the programs it
/// starts. Returns 0, or -1 with the error number set.
int SetEnvironmentValue(const std::string& name, const std::string& value);

/// Removes environment variable `name` from this process's environment; nothing when there is
/// none. Returns 0, or -1 with the error number set.
int RemoveEnvironmentValue(const std::string& name);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_ENVIRONMENT_H_
