#include "runtime/process_identity.h"

#include <unistd.h>

namespace kestrum {

int CurrentPlatformId() { return kLinuxPlatformId; }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace kestrum
