#include "platform/named_mutex.h"

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/error_number.h"
#include "platform/shared_file.h"

namespace kestrum {

struct NamedMutex {
  NamedMutex(void* address, std::size_t length) : address(address), length(length) {}
  ~NamedMutex() { UnmapSharedFile(address, length); }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  pthread_mutex_t* get() { return static_cast<pthread_mutex_t*>(address); }

  void* address;
  std::size_t length;
};

namespace {

// Owns a mutex attribute object for the length of one call.
class MutexAttr {
 public:
  MutexAttr() { ok_ = pthread_mutexattr_init(&attr_) == 0; }
  ~MutexAttr() {
    if (ok_) pthread_mutexattr_destroy(&attr_);
  }
  MutexAttr(const MutexAttr&) = delete;
  MutexAttr& operator=(const MutexAttr&) = delete;

  // Shared between processes, recursive, and robust: the death of a holder hands the mutex to
  // the next waiter with EOWNERDEAD instead of leaving it locked forever.
  int Configure() {
    if (!ok_) return ENOMEM;
    if (int e = pthread_mutexattr_setpshared(&attr_, PTHREAD_PROCESS_SHARED)) return e;
    if (int e = pthread_mutexattr_settype(&attr_, PTHREAD_MUTEX_RECURSIVE)) return e;
    return pthread_mutexattr_setrobust(&attr_, PTHREAD_MUTEX_ROBUST);
  }
  const pthread_mutexattr_t* get() const { return &attr_; }

 private:
  pthread_mutexattr_t attr_;
  bool ok_ = false;
};

// Turns the result of a lock call into the interface's result.
int AfterLock(pthread_mutex_t* mutex, int result, bool* abandoned = nullptr) {
  if (abandoned) *abandoned = result == EOWNERDEAD;
  if (result == EOWNERDEAD) {
    // The holder died: the data it guarded is taken as it is, and the mutex stays usable.
    result = pthread_mutex_consistent(mutex);
  }
  if (result != 0) return FailWith(result);
  return 0;
}

}  // namespace

int CreateNamedMutex(const std::string& path, unsigned mode) {
  MutexAttr attr;
  if (int e = attr.Configure()) return FailWith(e);
  // Initialised where it lives (a process-shared mutex must not be copied), before any opener
  // can see the file.
  return PublishSharedFileWith(
      path, sizeof(pthread_mutex_t),
      [&attr](void* address) {
        return pthread_mutex_init(static_cast<pthread_mutex_t*>(address), attr.get());
      },
      mode);
}

NamedMutex* OpenNamedMutex(const std::string& path) {
  std::size_t length = 0;
  void* address = MapSharedFile(path, sizeof(pthread_mutex_t), &length);
  if (!address) return nullptr;
  return new NamedMutex(address, length);
}

void CloseNamedMutex(NamedMutex* mutex) { delete mutex; }

int LockNamedMutex(NamedMutex* mutex, bool* abandoned) {
  if (!mutex) return FailWith(EINVAL);
  return AfterLock(mutex->get(), pthread_mutex_lock(mutex->get()), abandoned);
}

int LockNamedMutexFor(NamedMutex* mutex, int milliseconds, bool* abandoned) {
  if (!mutex) return FailWith(EINVAL);
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  long long ns = deadline.tv_nsec + static_cast<long long>(milliseconds) * 1000000;
  deadline.tv_sec += static_cast<time_t>(ns / 1000000000);
  deadline.tv_nsec = static_cast<long>(ns % 1000000000);
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer does not count a timed lock that returns EOWNERDEAD as held (a try-lock it
  // does), so sanitised builds poll.
  for (;;) {
    int result = pthread_mutex_trylock(mutex->get());
    if (result != EBUSY) return AfterLock(mutex->get(), result, abandoned);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec > deadline.tv_sec ||
        (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec)) {
      return FailWith(ETIMEDOUT);
    }
    timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
  }
#else
  return AfterLock(mutex->get(), pthread_mutex_timedlock(mutex->get(), &deadline), abandoned);
#endif
}

int UnlockNamedMutex(NamedMutex* mutex) {
  if (!mutex) return FailWith(EINVAL);
  if (int e = pthread_mutex_unlock(mutex->get())) return FailWith(e);
  return 0;
}

}  // namespace kestrum
