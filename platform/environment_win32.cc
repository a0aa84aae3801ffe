#include <cstdlib>

#include "platform/environment.h"

namespace kestrum {

// Windows keeps one variable per name whatever its case, and the C runtime's getenv already
// ignores the case of the name it is given.
const char* FindEnvironmentVariable(const std::string& name) { return std::getenv(name.c_str()); }

}  // namespace kestrum
