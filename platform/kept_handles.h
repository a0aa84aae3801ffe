// Windows only: handles of the objects a process created, kept until the process ends.
//
// A named Windows object (file mapping, mutex) lives while a handle to it is open. An object the
// process created for others to open (as the driver manager creates the shared areas) must
// therefore outlive the call that created it: its handle is kept here and closed by the system
// when the process ends, as a Linux carrier file stays until its instance is removed.
#ifndef PARVEX_PLATFORM_KEPT_HANDLES_H_
#define PARVEX_PLATFORM_KEPT_HANDLES_H_

namespace kestrum {

/// Keeps `handle` (a HANDLE) open until the process ends.
void KeepHandleForProcess(void* handle);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_KEPT_HANDLES_H_
