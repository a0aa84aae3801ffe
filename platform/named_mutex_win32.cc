// The Windows half of named mutexes: Windows named mutexes, which are recursive per thread and
// hand an abandoned mutex to the next waiter.
//
// The "path" is the mutex's object name (ObjectPath gives "Global\\Global\\dm_device.mut").
#include <windows.h>

#include <cerrno>

#include "platform/error_number.h"
#include "platform/kept_handles.h"
#include "platform/named_mutex.h"
#include "platform/security_attributes.h"

namespace kestrum {

struct NamedMutex {
  explicit NamedMutex(HANDLE handle) : handle(handle) {}
  ~NamedMutex() { CloseHandle(handle); }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  HANDLE handle;
};

namespace {

// Turns the result of a wait into the interface's result.
int AfterWait(DWORD result, bool* abandoned) {
  if (abandoned) *abandoned = result == WAIT_ABANDONED;
  switch (result) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // the holder died: the data it guarded is taken as it is
      return 0;
    case WAIT_TIMEOUT:
      return FailWith(ETIMEDOUT);
    default:
      return FailFromLastError();
  }
}

}  // namespace

int CreateNamedMutex(const std::string& path, unsigned /*mode*/) {
  const SecurityAttributes shared;
  void* security = nullptr;
  if (NativeSecurityAttributes(&shared, &security) != 0) return -1;
  // An existing mutex of the name is kept as it is: it cannot be replaced while others have it.
  HANDLE handle = CreateMutexA(static_cast<SECURITY_ATTRIBUTES*>(security), FALSE, path.c_str());
  if (!handle) return FailFromLastError();
  KeepHandleForProcess(handle);
  return 0;
}

NamedMutex* OpenNamedMutex(const std::string& path) {
  HANDLE handle = OpenMutexA(SYNCHRONIZE, FALSE, path.c_str());
  if (!handle) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      SetLastPlatformError(static_cast<int>(error));
      SetErrorNumber(0);
    } else {
      FailFromLastError();
    }
    return nullptr;
  }
  return new NamedMutex(handle);
}

void CloseNamedMutex(NamedMutex* mutex) { delete mutex; }

int LockNamedMutex(NamedMutex* mutex, bool* abandoned) {
  if (!mutex) return FailWith(EINVAL);
  return AfterWait(WaitForSingleObject(mutex->handle, INFINITE), abandoned);
}

int LockNamedMutexFor(NamedMutex* mutex, int milliseconds, bool* abandoned) {
  if (!mutex) return FailWith(EINVAL);
  const DWORD ms = milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds);
  return AfterWait(WaitForSingleObject(mutex->handle, ms), abandoned);
}

int UnlockNamedMutex(NamedMutex* mutex) {
  if (!mutex) return FailWith(EINVAL);
  if (!ReleaseMutex(mutex->handle)) {
    return GetLastError() == ERROR_NOT_OWNER ? FailWith(EPERM) : FailFromLastError();
  }
  return 0;
}

}  // namespace kestrum
