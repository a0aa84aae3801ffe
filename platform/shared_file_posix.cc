#include "platform/shared_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error_number.h"
#include "platform/mapped_file_watch.h"

namespace kestrum {
namespace {

// Owns a file descriptor for the length of one call.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// A missing object is not a platform failure: the caller sees error number 0.
int FailOpen() {
  if (errno == ENOENT || errno == ENOTDIR) {
    SetLastPlatformError(errno);
    SetErrorNumber(0);
    return -1;
  }
  return FailFromErrno();
}

int WriteAll(int fd, std::span<const std::byte> contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      errno = EIO;
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

void* MapSharedFile(const std::string& path, std::size_t min_length, std::size_t* length) {
  Fd fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) {
    FailOpen();
    return nullptr;
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0) {
    FailFromErrno();
    return nullptr;
  }
  if (!S_ISREG(st.st_mode) || st.st_size <= 0 ||
      static_cast<std::size_t>(st.st_size) < min_length) {
    SetErrorNumber(0);
    return nullptr;
  }
  std::size_t size = static_cast<std::size_t>(st.st_size);
  void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  if (address == MAP_FAILED) {
    FailFromErrno();
    return nullptr;
  }
  if (length) *length = size;
  KeepErrorNumber keep;  // an unwatched mapping still works; it only lacks the protection
  WatchMappedFile(path, address, size);
  return address;
}

int UnmapSharedFile(void* address, std::size_t length) {
  UnwatchMappedFile(address);
  if (munmap(address, length) != 0) return FailFromErrno();
  return 0;
}

long ReadSharedFileHead(const std::string& path, std::span<std::byte> buffer) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return FailOpen();
  std::size_t done = 0;
  while (done < buffer.size()) {
    ssize_t n =
        pread(fd.get(), buffer.data() + done, buffer.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailFromErrno();
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

int PublishSharedFile(const std::string& path, std::span<const std::byte> contents, unsigned mode) {
  std::string temp = path + ".XXXXXX";
  Fd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return FailFromErrno();
  if (fchmod(fd.get(), mode) != 0 || WriteAll(fd.get(), contents) != 0 ||
      rename(temp.c_str(), path.c_str()) != 0) {
    int error = errno;
    unlink(temp.c_str());
    return FailWith(error);
  }
  return 0;
}

int PublishSharedFileWith(const std::string& path, std::size_t length,
                          const std::function<int(void* address)>& initialise, unsigned mode) {
  std::string temp = path + ".XXXXXX";
  Fd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return FailFromErrno();
  int error = 0;
  if (fchmod(fd.get(), mode) != 0 || ftruncate(fd.get(), static_cast<off_t>(length)) != 0) {
    error = errno;
  } else {
    void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (address == MAP_FAILED) {
      error = errno;
    } else {
      error = initialise(address);
      munmap(address, length);
    }
  }
  if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temp.c_str());
    return FailWith(error);
  }
  return 0;
}

}  // namespace kestrum
