// The Windows half of the error number: the last error of a failed Windows call.
#include <windows.h>

#include "platform/error_number.h"

namespace kestrum {

int FailFromLastError() { return FailWith(static_cast<int>(GetLastError())); }

}  // namespace kestrum
