// Who the calling process is, as the shared areas and the mailslot link name it.
#ifndef PARVEX_RUNTIME_PROCESS_IDENTITY_H_
#define PARVEX_RUNTIME_PROCESS_IDENTITY_H_

#include <cstdint>

namespace kestrum {

/// The platform id on which the object layouts and names depend: 2 (the NT family) on Linux.
/// The platform-1 layouts are kept for tools and tests, which pass the id explicitly.
inline constexpr int kLinuxPlatformId = 2;

/// The platform id this process uses for its shared objects.
int CurrentPlatformId();

/// The calling process's id. Read from the system once and again after a fork, so that a child
/// made by fork never posts or locks under its parent's id.
uint32_t CurrentProcessId();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_PROCESS_IDENTITY_H_
