// Named system-wide mutexes: the carrier of a Windows named mutex.
//
// On Linux a named mutex is a regular file under the instance directory that holds one
// pthread_mutex_t at offset 0, initialised process-shared, robust and recursive by the object's
// creator. Openers map it and never initialise it. A mutex whose holder died is made consistent
// and counts as acquired, as an abandoned Windows mutex does.
//
// On Windows it is a Windows named mutex and `path` is its object name (ObjectPath). It is
// opened with synchronise access only. A created mutex lives until the creating process ends
// (platform/kept_handles.h); creating one that exists keeps the existing one.
//
// On both the lock is recursive per thread, and a holder thread that ends (or a holder process
// that dies) without unlocking abandons the mutex to the next waiter.
#ifndef PARVEX_PLATFORM_NAMED_MUTEX_H_
#define PARVEX_PLATFORM_NAMED_MUTEX_H_

#include <string>

namespace kestrum {

/// An open named mutex. Opaque; owned by the caller until CloseNamedMutex.
struct NamedMutex;

/// Creates the mutex file at `path` (its folder must exist) with permission bits `mode`,
/// initialising the mutex before the file is renamed into place. An existing file at `path` is
/// replaced (on Windows, kept). Returns 0, or -1 with the error number set.
int CreateNamedMutex(const std::string& path, unsigned mode = 0660);

/// Opens the existing mutex file at `path`. Returns the handle, or null with the error number
/// set: 0 when the file does not exist or is shorter than a mutex, errno otherwise.
NamedMutex* OpenNamedMutex(const std::string& path);

/// Closes a handle from OpenNamedMutex (null is allowed). The caller must not hold the lock.
void CloseNamedMutex(NamedMutex* mutex);

/// Waits without time limit for the mutex. Returns 0 when the calling thread holds it (also
/// when its previous holder died holding it), or -1 with the error number set. When
/// `abandoned` is given it is set to whether the previous holder died holding the mutex, so
/// that the caller can reset what the dead holder left half-done.
int LockNamedMutex(NamedMutex* mutex, bool* abandoned = nullptr);

/// Waits at most `milliseconds` for the mutex. Returns 0 when acquired (as LockNamedMutex),
/// -1 with error number ETIMEDOUT when the time ran out, or -1 with another error number.
int LockNamedMutexFor(NamedMutex* mutex, int milliseconds, bool* abandoned = nullptr);

/// Releases one level of the calling thread's hold. Returns 0, or -1 with the error number set
/// (EPERM when the thread does not hold it).
int UnlockNamedMutex(NamedMutex* mutex);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_NAMED_MUTEX_H_
