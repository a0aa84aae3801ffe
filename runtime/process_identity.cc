#include "runtime/process_identity.h"

#include "platform/own_process.h"

namespace kestrum {

int CurrentPlatformId() { return kLinuxPlatformId; }

uint32_t CurrentProcessId() { return OwnProcessId(); }

}  // namespace kestrum
