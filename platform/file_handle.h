// One open file: reading and writing exact byte counts, positioned reads, and the opens that a
// path named by someone else (a registry value, a record) may be given.
//
// One rule for short reads holds for every reader: ReadAt stops early only at the end of the
// file and says how much it got; ReadExactly and ReadExactlyAt fail with ENODATA when the file
// ends before the count. Interrupted calls are retried, never reported.
#ifndef PARVEX_PLATFORM_FILE_HANDLE_H_
#define PARVEX_PLATFORM_FILE_HANDLE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace kestrum {

// Open modes, combinable. Read, write or both must be given.
inline constexpr int kOpenRead = 1;
inline constexpr int kOpenWrite = 2;
inline constexpr int kOpenCreate = 4;      // create when missing
inline constexpr int kOpenTruncate = 8;    // empty an existing file
inline constexpr int kOpenExclusive = 16;  // with kOpenCreate: fail when the name exists

/// An open file, closed when the handle goes. Move-only.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  /// Opens `path` in `mode` (kOpen* flags), following symlinks as the system does; a created
  /// file gets `permissions` less the umask. Closes what the handle held before. Returns 0, or
  /// -1 with the error number set (EINVAL for a mode without read or write).
  int Open(const std::string& path, int mode, unsigned permissions = 0666);

  /// Opens `path` like Open, but for a path that someone with less right than this process may
  /// have named: no part of the path may be a symlink (ELOOP), and what it names must be a
  /// regular file with one link, owned by this process's effective user (EPERM otherwise, and a
  /// device or FIFO is never opened for I/O). An existing file is emptied by kOpenTruncate only
  /// after these checks. Returns 0, or -1 with the error number set.
  int OpenOwnFile(const std::string& path, int mode, unsigned permissions = 0666);

  /// OpenOwnFile for a path that the user `writer` named, where this process may have more
  /// right than that user: the permission bits must also let `writer` search every folder on
  /// the way and, for an existing file, access it as `mode` asks, or, for a missing one (or,
  /// with kOpenCreate, one `writer` could remove), write in its folder (EACCES otherwise). A
  /// missing file is created only when its name is still free at the open. Where `writer` is
  /// this process's effective user, this is OpenOwnFile. On Windows, where another user's
  /// rights cannot be read without that user's token, such a writer (but 0, the system and the
  /// administrators, who may whatever this process may) is judged as a user with what every
  /// signed-in user has, by the access lists of the file and its folder; a symlink
  /// there is any reparse point (a junction too), and a device's name is never opened.
  /// Returns 0, or -1 with the error number set.
  int OpenOwnFileFor(std::uint32_t writer, const std::string& path, int mode,
                     unsigned permissions = 0666);

  /// OpenOwnFile for the file `name` (no "/" in it, EINVAL otherwise) inside `folder`, where
  /// the folder itself is a trusted location that may be reached through symlinks. Returns 0,
  /// or -1 with the error number set.
  int OpenOwnFileIn(const std::string& folder, const std::string& name, int mode,
                    unsigned permissions = 0666);

  /// Makes the handle a second handle on the process's standard error. Returns 0, or -1 with
  /// the error number set.
  int OpenStandardError();

  /// True while a file is open.
  bool is_open() const { return handle_ != kNoHandle; }

  /// Closes the file (nothing when none is open). Returns 0, or -1 with the error number set
  /// when the system reports a failure on close (the handle is closed all the same).
  int Close();

  /// Reads exactly `size` bytes at the current position. Returns 0, or -1 with the error number
  /// set (ENODATA when the file ends first).
  int ReadExactly(void* data, std::size_t size);

  /// Writes exactly `size` bytes at the current position. Returns 0, or -1 with the error
  /// number set (EIO when the system accepts nothing and reports no error).
  int WriteExactly(const void* data, std::size_t size);

  /// Reads up to `size` bytes at `offset` without moving the position; fewer only when the file
  /// ends. Returns the number of bytes read, or -1 with the error number set.
  long ReadAt(void* data, std::size_t size, std::uint64_t offset);

  /// Reads exactly `size` bytes at `offset`. Returns 0, or -1 with the error number set
  /// (ENODATA when the file ends first).
  int ReadExactlyAt(void* data, std::size_t size, std::uint64_t offset);

  /// Flushes the file's data to the storage. Returns 0, or -1 with the error number set.
  int Sync();

  /// Fills `*info` for the open file. Returns 0, or -1 with the error number set.
  int Info(FileInfo* info) const;

  /// Sets the file's permission bits to `permissions`. On Windows, which has no permission
  /// bits, a file without the owner's write bit (0200) becomes read-only and one with it
  /// writable, as GetFileInfo reports them. Returns 0, or -1 with the error number set.
  int SetPermissions(unsigned permissions);

 private:
  // What the handle holds: a file descriptor, or on Windows a HANDLE; kNoHandle when closed
  // (-1 is both an invalid descriptor and INVALID_HANDLE_VALUE).
  static constexpr std::intptr_t kNoHandle = -1;

  int Adopt(std::intptr_t handle);
  int fd() const { return static_cast<int>(handle_); }  // the descriptor, where one is held

  std::intptr_t handle_ = kNoHandle;
};

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_FILE_HANDLE_H_
