// The Windows half of the wake flag: a manual-reset event, signalled while the flag is raised.
//
// The descriptor is the event's handle as an int (HandleToLong): a kernel handle has only 32
// significant bits on 64-bit Windows, so it survives the round trip (LongToHandle).
#include <windows.h>

#include <vector>

#include "platform/error_number.h"
#include "platform/wake_descriptor.h"

namespace kestrum {

int CreateWakeDescriptor() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return FailFromLastError();
  return static_cast<int>(HandleToLong(event));
}

void RaiseWakeDescriptor(int fd) { SetEvent(LongToHandle(fd)); }

void LowerWakeDescriptor(int fd) { ResetEvent(LongToHandle(fd)); }

int WaitReadable(int fd, const int* others, int count, int milliseconds) {
  std::vector<HANDLE> handles;
  handles.push_back(LongToHandle(fd));
  for (int i = 0; i < count; ++i) handles.push_back(LongToHandle(others[i]));
  if (handles.size() > MAXIMUM_WAIT_OBJECTS) return FailWith(ERROR_INVALID_PARAMETER);
  const DWORD first =
      WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                             milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
  if (first == WAIT_TIMEOUT) return 0;
  if (first == WAIT_FAILED) return FailFromLastError();
  // The wait names the first signalled handle; the later ones are counted by looking again
  // without waiting.
  const DWORD index = first >= WAIT_ABANDONED_0 ? first - WAIT_ABANDONED_0 : first - WAIT_OBJECT_0;
  int ready = 1;
  for (DWORD i = index + 1; i < handles.size(); ++i) {
    const DWORD state = WaitForSingleObject(handles[i], 0);
    if (state == WAIT_OBJECT_0 || state == WAIT_ABANDONED) ++ready;
  }
  return ready;
}

void CloseWakeDescriptor(int fd) {
  if (fd != -1) CloseHandle(LongToHandle(fd));
}

}  // namespace kestrum
