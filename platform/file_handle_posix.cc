#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "platform/error_number.h"
#include "platform/file_info_posix.h"
#include "platform/user_access.h"

namespace kestrum {
namespace {

// The open(2) flags of a mode, or -1 when it names neither reading nor writing.
int OpenFlags(int mode) {
  int flags = O_CLOEXEC | O_NOCTTY;
  const bool read = (mode & kOpenRead) != 0;
  const bool write = (mode & kOpenWrite) != 0;
  if (read && write) {
    flags |= O_RDWR;
  } else if (read) {
    flags |= O_RDONLY;
  } else if (write) {
    flags |= O_WRONLY;
  } else {
    return -1;
  }
  if (mode & kOpenCreate) flags |= O_CREAT;
  if (mode & kOpenExclusive) flags |= O_EXCL;
  return flags;
}

// Sets errno and gives -1: what the checks below refuse.
int Refuse(int error) {
  errno = error;
  return -1;
}

// What a file named by someone else must be for this process to use it: a regular file with
// one link (no second name elsewhere), owned by this process's effective user.
bool OwnSingleRegularFile(const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_nlink == 1 && status.st_uid == geteuid();
}

// Whether the user who named a path, `writer`, may `access` what `status` describes; always
// true where the writer is this process's own user.
bool WriterMay(std::uint32_t writer, const struct stat& status, int access) {
  if (writer == geteuid()) return true;
  FileInfo info;
  FillFileInfo(status, &info);
  return UserMayAccess(writer, info, access);
}

// The access a path's writer needs to a file this process opens in `flags`.
int AccessOfFlags(int flags) {
  switch (flags & O_ACCMODE) {
    case O_RDONLY:
      return kAccessRead;
    case O_WRONLY:
      return kAccessWrite;
    default:
      return kAccessRead | kAccessWrite;
  }
}

// Steps from `folder` into the sub-folder `name` without following a symlink, and only where
// `writer` may search it. Returns the new folder's descriptor, or -1 with errno set (ELOOP for
// a symlink).
int EnterWithoutFollowing(int folder, const std::string& name, std::uint32_t writer) {
  const int fd = openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat status;
  int error = 0;
  if (fstat(fd, &status) != 0) {
    error = errno;
  } else if (!S_ISDIR(status.st_mode)) {
    error = S_ISLNK(status.st_mode) ? ELOOP : ENOTDIR;
  } else if (!WriterMay(writer, status, kAccessExecute)) {
    error = EACCES;
  }
  if (error != 0) {
    close(fd);
    return Refuse(error);
  }
  return fd;
}

// Whether `writer` could itself have opened `name` in `folder` as `flags` ask: the file's bits
// when it exists (`existing`, else null), the folder's for creating it. An existing file that
// the writer could have removed and created anew (a folder it may write that is not sticky, or
// is its own) may be created anew for it.
bool WriterMayOpen(std::uint32_t writer, int folder, const struct stat* existing, int flags) {
  if (writer == geteuid()) return true;
  if (existing != nullptr && WriterMay(writer, *existing, AccessOfFlags(flags))) return true;
  struct stat status;
  if ((flags & O_CREAT) == 0 || fstat(folder, &status) != 0 ||
      !WriterMay(writer, status, kAccessWrite | kAccessExecute)) {
    return false;
  }
  return existing == nullptr || (status.st_mode & S_ISVTX) == 0 || status.st_uid == writer;
}

// Opens `name` in `folder` with `flags`, never through a symlink, and only when it is (or has
// just been created as) this user's own regular file that `writer` could have opened itself.
// Nothing that is not a regular file is ever opened: a device's open could act, a FIFO's could
// block. Returns the descriptor, or -1 with errno set.
int OpenOwnFileAt(int folder, const std::string& name, int flags, bool truncate,
                  unsigned permissions, std::uint32_t writer) {
  struct stat before;
  const bool existed = fstatat(folder, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) == 0;
  if (existed && S_ISLNK(before.st_mode)) return Refuse(ELOOP);
  if (existed && !OwnSingleRegularFile(before)) return Refuse(EPERM);
  if (!WriterMayOpen(writer, folder, existed ? &before : nullptr, flags)) return Refuse(EACCES);
  // A file the writer may only create is created here, not found: a name taken meanwhile fails.
  if (!existed && writer != geteuid()) flags |= O_EXCL;
  const int fd = openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK, permissions);
  if (fd < 0) return -1;
  struct stat status;
  int error = 0;
  if (fstat(fd, &status) != 0) {
    error = errno;
  } else if (!OwnSingleRegularFile(status) ||
             (existed && (status.st_dev != before.st_dev || status.st_ino != before.st_ino))) {
    error = EPERM;  // swapped between the look and the open
  } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
             (truncate && ftruncate(fd, 0) != 0)) {
    error = errno;
  }
  if (error != 0) {
    close(fd);
    return Refuse(error);
  }
  return fd;
}

}  // namespace

int FileHandle::Adopt(std::intptr_t handle) {
  Close();
  if (handle < 0) return FailFromErrno();
  handle_ = handle;
  return 0;
}

int FileHandle::Open(const std::string& path, int mode, unsigned permissions) {
  int flags = OpenFlags(mode);
  if (flags < 0) return FailWith(EINVAL);
  if (mode & kOpenTruncate) flags |= O_TRUNC;
  return Adopt(open(path.c_str(), flags, permissions));
}

int FileHandle::OpenOwnFile(const std::string& path, int mode, unsigned permissions) {
  return OpenOwnFileFor(geteuid(), path, mode, permissions);
}

int FileHandle::OpenOwnFileFor(std::uint32_t writer, const std::string& path, int mode,
                               unsigned permissions) {
  const int flags = OpenFlags(mode);
  if (flags < 0 || path.empty()) return FailWith(path.empty() ? ENOENT : EINVAL);
  FileHandle folder;  // the folder reached so far
  if (folder.Adopt(open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC)) != 0) {
    return -1;
  }
  struct stat start;
  if (fstat(folder.fd(), &start) != 0) return FailFromErrno();
  if (!WriterMay(writer, start, kAccessExecute)) return FailWith(EACCES);
  std::string_view rest(path);
  while (true) {
    const std::size_t slash = rest.find('/');
    const std::string part(rest.substr(0, slash));
    if (slash == std::string_view::npos) {
      if (part.empty() || part == "." || part == "..") return FailWith(EISDIR);
      return Adopt(OpenOwnFileAt(folder.fd(), part, flags, (mode & kOpenTruncate) != 0, permissions,
                                 writer));
    }
    rest.remove_prefix(slash + 1);
    if (part.empty() || part == ".") continue;
    if (folder.Adopt(EnterWithoutFollowing(folder.fd(), part, writer)) != 0) return -1;
  }
}

int FileHandle::OpenOwnFileIn(const std::string& folder, const std::string& name, int mode,
                              unsigned permissions) {
  const int flags = OpenFlags(mode);
  if (flags < 0 || name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string::npos) {
    return FailWith(EINVAL);
  }
  FileHandle held;
  if (held.Adopt(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) != 0) return -1;
  return Adopt(
      OpenOwnFileAt(held.fd(), name, flags, (mode & kOpenTruncate) != 0, permissions, geteuid()));
}

int FileHandle::OpenStandardError() { return Adopt(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0)); }

int FileHandle::Close() {
  if (handle_ == kNoHandle) return 0;
  const int rc = close(static_cast<int>(std::exchange(handle_, kNoHandle)));
  return rc == 0 ? 0 : FailFromErrno();
}

int FileHandle::ReadExactly(void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd(), static_cast<char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailFromErrno();
    if (n == 0) return FailWith(ENODATA);
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int FileHandle::WriteExactly(const void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd(), static_cast<const char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailFromErrno();
    if (n == 0) return FailWith(EIO);
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

long FileHandle::ReadAt(void* data, std::size_t size, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd(), static_cast<char*>(data) + done, size - done,
                            static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailFromErrno();
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

int FileHandle::Sync() { return fsync(fd()) == 0 ? 0 : FailFromErrno(); }

int FileHandle::Info(FileInfo* info) const {
  struct stat status;
  if (fstat(fd(), &status) != 0) return FailFromErrno();
  FillFileInfo(status, info);
  return 0;
}

int FileHandle::SetPermissions(unsigned permissions) {
  return fchmod(fd(), permissions) == 0 ? 0 : FailFromErrno();
}

}  // namespace kestrum
