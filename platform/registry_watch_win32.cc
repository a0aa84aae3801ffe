// The Windows half of registry watches: the system's change notification of a key.
#include <windows.h>
#undef RegOpenKey

#include <cerrno>

#include "platform/error_number.h"
#include "platform/registry_watch.h"

namespace kestrum {
namespace {

// Every change the header promises: sub-keys added or removed, attributes, values, security.
constexpr DWORD kChangeFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                                REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

// A notification that outlives the thread that asked for it (Windows 8 and later).
#ifndef REG_NOTIFY_THREAD_AGNOSTIC
constexpr DWORD REG_NOTIFY_THREAD_AGNOSTIC = 0x10000000L;
#endif

HKEY NativeKey(RegKey key) { return static_cast<HKEY>(RegNativeKey(key)); }

}  // namespace

RegistryWatch::~RegistryWatch() {
  // Closing the key ends the notification asked for on it.
  RegCloseKey(key_);
  CloseHandle(static_cast<HANDLE>(event_));
}

// Asks the system to signal the event at the next change. A notification asked for without
// REG_NOTIFY_THREAD_AGNOSTIC ends with the thread that asked, so it is asked for thread-agnostic
// where the system knows the flag.
int RegistryWatch::Arm() {
  LSTATUS status = RegNotifyChangeKeyValue(NativeKey(key_), subtree_ ? TRUE : FALSE,
                                           kChangeFilter | REG_NOTIFY_THREAD_AGNOSTIC,
                                           static_cast<HANDLE>(event_), TRUE);
  if (status == ERROR_INVALID_PARAMETER) {
    status = RegNotifyChangeKeyValue(NativeKey(key_), subtree_ ? TRUE : FALSE, kChangeFilter,
                                     static_cast<HANDLE>(event_), TRUE);
  }
  return static_cast<int>(status);
}

int RegistryWatch::Wait(int timeout_ms) {
  const DWORD waited = WaitForSingleObject(
      static_cast<HANDLE>(event_), timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (waited == WAIT_TIMEOUT) return 0;
  if (waited != WAIT_OBJECT_0) return FailFromLastError();
  // Ask again before reporting, so that a change after the caller's next read is seen.
  ResetEvent(static_cast<HANDLE>(event_));
  if (int status = Arm()) return FailWith(status);
  return 1;
}

int RegWatchKey(RegKey key, bool subtree, std::unique_ptr<RegistryWatch>* watch) {
  if (!watch) return EINVAL;
  RegKey own = nullptr;
  if (int rc = RegOpenKey(key, "", kKeyNotify, &own)) return rc;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!event) {
    const int error = static_cast<int>(GetLastError());
    RegCloseKey(own);
    return error;
  }
  std::unique_ptr<RegistryWatch> made(new RegistryWatch(own, event, subtree));
  if (int status = made->Arm()) return status;
  *watch = std::move(made);
  return 0;
}

}  // namespace kestrum
