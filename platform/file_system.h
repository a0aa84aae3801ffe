// Files and folders by name: what a file is, renaming and removing, the working folder.
#ifndef PARVEX_PLATFORM_FILE_SYSTEM_H_
#define PARVEX_PLATFORM_FILE_SYSTEM_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrum {

/// The owner that FileInfo reports on Windows for a file whose owner is not this process's user.
/// Windows names users by security identifiers, which no 32-bit id holds; every check of the
/// system only asks whether an owner is this process's user (EffectiveUserId()), so the owners
/// of Windows files are that user's id or this one.
inline constexpr std::uint32_t kOtherUserId = 0xFFFFFFFE;

/// What the system reports about a file. Windows has no permission bits or groups: there the
/// permissions reflect the read-only attribute, the owner is EffectiveUserId() or
/// kOtherUserId, and the group is 0.
struct FileInfo {
  std::uint64_t size = 0;
  std::int64_t modified_seconds = 0;      // last write, seconds since 1970 (UTC)
  std::int32_t modified_nanoseconds = 0;  // and the part of a second
  unsigned permissions = 0;               // permission bits (07777)
  std::uint32_t owner = 0;                // owning user id
  std::uint32_t group = 0;                // owning group id
  std::uint64_t links = 0;                // hard links to the file
  bool regular = false;                   // a regular file
  bool directory = false;                 // a folder
};

/// Fills `*info` for the file or folder at `path`, following symlinks. Returns 0, or -1 with
/// the error number set (ENOENT when nothing is there).
int GetFileInfo(const std::string& path, FileInfo* info);

/// Sets the last-write time of the file or folder at `path` (following symlinks) to `seconds`
/// since 1970 (UTC) and `nanoseconds` into that second; Windows keeps it in steps of 100 ns.
/// Returns 0, or -1 with the error number set (ENOENT when nothing is there).
int SetFileModifiedTime(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds);

/// True when `path` names something (following symlinks); false on any failure.
bool PathExists(const std::string& path);

/// Renames `from` to `to`, replacing `to` (a symlink at `to` is replaced, never followed).
/// Returns 0, or -1 with the error number set.
int RenameFile(const std::string& from, const std::string& to);

/// Removes the file `path`. Returns 0, or -1 with the error number set.
int RemoveFile(const std::string& path);

/// Flushes the folder `folder`'s entries (a rename into it) to the storage. Returns 0, or -1
/// with the error number set.
int SyncFolder(const std::string& folder);

/// Sets `*path` to the process's working folder. Returns 0, or -1 with the error number set.
int GetCurrentDirectory(std::string* path);

/// The process's working folder, or "." when it cannot be read.
std::string CurrentDirectory();

/// Makes `path` the process's working folder. Returns 0, or -1 with the error number set.
int ChangeDirectory(const std::string& path);

/// Opens a stdio stream on `path` with fopen's `mode` ("r", "a", ...), not inherited by the
/// programs this process starts. Returns the stream, or null with the error number set.
std::FILE* OpenStream(const std::string& path, const char* mode);

/// The effective user id of the process. On Windows: the relative id (the last part) of the
/// security identifier of the process token's user; only ever compared with files' owners.
std::uint32_t EffectiveUserId();

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_FILE_SYSTEM_H_
