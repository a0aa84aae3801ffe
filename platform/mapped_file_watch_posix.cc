#include "platform/mapped_file_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/error_number.h"

namespace kestrum {

// One watched mapping. Watches are never freed: the signal handler walks them without a lock.
// A watch whose mapping went away (begin 0) is reused for the next mapping.
struct MappedFileWatch {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> cut{false};
  std::atomic<int64_t> next_check_ms{0};
  std::string path;  // written only while the watch is free
  MappedFileWatch* next = nullptr;
};

namespace {

struct Watches {
  std::mutex mutex;  // registration only; the handler reads without it
  std::atomic<MappedFileWatch*> head{nullptr};
  struct sigaction previous = {};
  uintptr_t page_size = 4096;
  int install_error = -1;  // -1 until installed, then 0 or errno
};

Watches& TheWatches() {
  static Watches* watches = new Watches;  // never destroyed: mappings outlive static destructors
  return *watches;
}

int64_t CoarseNowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// Hands a SIGBUS that is not ours to the disposition that was there before.
void PassOn(int signal, siginfo_t* info, void* context) {
  const struct sigaction& previous = TheWatches().previous;
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
    return;
  }
  // The default action: a fault repeats when the handler returns, a sent signal is raised again.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigaction(SIGBUS, &fallback, nullptr);
  if (info->si_code <= 0) raise(signal);
}

// A touch past the end of a watched file: the rest of the mapping becomes zero-filled private
// pages, so the touching instruction completes. Only async-signal-safe calls here.
void OnBus(int signal, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  Watches& w = TheWatches();
  if (info->si_code == BUS_ADRERR) {
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (MappedFileWatch* m = w.head.load(std::memory_order_acquire); m; m = m->next) {
      const uintptr_t begin = m->begin.load(std::memory_order_acquire);
      const uintptr_t end = m->end.load(std::memory_order_acquire);
      if (begin == 0 || at < begin || at >= end) continue;
      const uintptr_t page = at & ~(w.page_size - 1);
      void* patch = mmap(reinterpret_cast<void*>(page), end - page, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
      if (patch != MAP_FAILED) {
        m->cut.store(true, std::memory_order_release);
        errno = saved_errno;
        return;
      }
      break;
    }
  }
  errno = saved_errno;
  PassOn(signal, info, context);
}

// Installs the handler once. Returns 0, or an errno value. Called under the registry mutex.
int InstallLocked(Watches& w) {
  if (w.install_error >= 0) return w.install_error;
  const long page = sysconf(_SC_PAGESIZE);
  if (page > 0) w.page_size = static_cast<uintptr_t>(page);
  struct sigaction action = {};
  action.sa_sigaction = OnBus;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  w.install_error = sigaction(SIGBUS, &action, &w.previous) == 0 ? 0 : errno;
  return w.install_error;
}

int FailShort() {
  SetLastPlatformError(EBADMSG);
  SetErrorNumber(0);
  return -1;
}

// Maps the file over the whole watched range again, when it is long enough.
int MapAgain(MappedFileWatch* watch, uintptr_t begin, std::size_t length) {
  const int fd = open(watch->path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FailShort() : FailFromErrno();
  struct stat st;
  int result = 0;
  if (fstat(fd, &st) != 0) {
    result = FailFromErrno();
  } else if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) < length) {
    result = FailShort();
  } else {
    // Cleared first: a cut that happens after the new mapping is made must be seen.
    watch->cut.store(false, std::memory_order_release);
    if (mmap(reinterpret_cast<void*>(begin), length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED,
             fd, 0) == MAP_FAILED) {
      watch->cut.store(true, std::memory_order_release);
      result = FailFromErrno();
    }
  }
  close(fd);
  return result;
}

}  // namespace

MappedFileWatch* WatchMappedFile(const std::string& path, void* address, std::size_t length) {
  Watches& w = TheWatches();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (int error = InstallLocked(w)) {
    FailWith(error);
    return nullptr;
  }
  MappedFileWatch* watch = w.head.load(std::memory_order_relaxed);
  while (watch != nullptr && watch->begin.load(std::memory_order_relaxed) != 0) watch = watch->next;
  if (watch == nullptr) {
    watch = new MappedFileWatch;
    watch->next = w.head.load(std::memory_order_relaxed);
    w.head.store(watch, std::memory_order_release);
  }
  watch->path = path;
  watch->cut.store(false);
  watch->next_check_ms.store(0);
  const auto begin = reinterpret_cast<uintptr_t>(address);
  watch->end.store(begin + length, std::memory_order_release);
  watch->begin.store(begin, std::memory_order_release);
  return watch;
}

void UnwatchMappedFile(void* address) {
  Watches& w = TheWatches();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (MappedFileWatch* watch = FindMappedFileWatch(address)) {
    watch->begin.store(0, std::memory_order_release);
    watch->end.store(0, std::memory_order_release);
  }
}

MappedFileWatch* FindMappedFileWatch(const void* address) {
  const auto begin = reinterpret_cast<uintptr_t>(address);
  if (begin == 0) return nullptr;
  for (MappedFileWatch* m = TheWatches().head.load(std::memory_order_acquire); m; m = m->next) {
    if (m->begin.load(std::memory_order_acquire) == begin) return m;
  }
  return nullptr;
}

int CheckMappedFile(MappedFileWatch* watch) {
  if (watch == nullptr) return 0;
  const bool cut = watch->cut.load(std::memory_order_acquire);
  const int64_t now = CoarseNowMs();
  if (!cut && now < watch->next_check_ms.load(std::memory_order_relaxed)) return 0;
  const uintptr_t begin = watch->begin.load(std::memory_order_acquire);
  const std::size_t length = watch->end.load(std::memory_order_acquire) - begin;
  int result = 0;
  if (cut) {
    result = MapAgain(watch, begin, length);
  } else {
    struct stat st;
    if (stat(watch->path.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_size) < length) {
      result = FailShort();
    }
  }
  // While the file is short every check looks again; once whole, at most every period.
  watch->next_check_ms.store(result == 0 ? now + kMappedFileCheckMs : 0, std::memory_order_relaxed);
  return result;
}

}  // namespace kestrum
