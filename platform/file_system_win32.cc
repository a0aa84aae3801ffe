#include <windows.h>
// <windows.h> maps this name onto its own ANSI or wide function; the system's function of the
// same name is meant here.
#undef GetCurrentDirectory

#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/error_number.h"
#include "platform/file_info_win32.h"
#include "platform/file_security_win32.h"
#include "platform/file_system.h"
#include "platform/owned_handle_win32.h"

namespace kestrum {
namespace {

// 100-nanosecond intervals between 1601-01-01 (the FILETIME epoch) and 1970-01-01.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;

// What FileInfo holds, from a file's attributes, size, last-write time and link count.
void FillFromAttributes(DWORD attributes, std::uint64_t size, const FILETIME& written,
                        std::uint64_t links, FileInfo* info) {
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  const std::int64_t ticks =
      (static_cast<std::int64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime) -
      kFileTimeTo1970;
  *info = FileInfo{};
  info->size = size;
  info->modified_seconds = ticks / kFileTimeTicksPerSecond;
  info->modified_nanoseconds = static_cast<std::int32_t>(ticks % kFileTimeTicksPerSecond * 100);
  // Windows has no permission bits: the read-only attribute is the only one a name shows.
  info->permissions = (read_only ? 0444 : 0666) | (directory ? 0111 : 0);
  info->owner = kOtherUserId;
  info->links = links;
  info->regular =
      !directory && !(attributes & (FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT));
  info->directory = directory;
}

// Callers tell "nothing there" by ENOENT on every platform.
int FailForMissing() {
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FailWith(ENOENT);
  return FailFromLastError();
}

}  // namespace

int FillFileInfo(void* handle, FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION data;
  if (!GetFileInformationByHandle(handle, &data)) return FailFromLastError();
  FillFromAttributes(data.dwFileAttributes,
                     static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow,
                     data.ftLastWriteTime, data.nNumberOfLinks, info);
  // A pipe or a console handle has attributes but is not a file on a disk.
  if (GetFileType(handle) != FILE_TYPE_DISK) info->regular = false;
  info->owner = OwnerIdOf(handle);
  return 0;
}

// The file is opened for its attributes and owner only (a folder too, with backup semantics);
// one that cannot be opened so (one opened by another process without sharing) is still
// described by name, its owner then unknown and its link count taken as 1.
int GetFileInfo(const std::string& path, FileInfo* info) {
  const HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file != INVALID_HANDLE_VALUE) return FillFileInfo(OwnedHandle(file).get(), info);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return FailForMissing();
  FillFromAttributes(data.dwFileAttributes,
                     static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow,
                     data.ftLastWriteTime, 1, info);
  return 0;
}

// Opened for its attributes only (a folder too, with backup semantics); the last access keeps
// its time.
int SetFileModifiedTime(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds) {
  const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FailForMissing();
  const OwnedHandle owned(file);
  const std::uint64_t ticks = static_cast<std::uint64_t>(seconds * kFileTimeTicksPerSecond +
                                                         nanoseconds / 100 + kFileTimeTo1970);
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(ticks);
  written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return SetFileTime(owned.get(), nullptr, nullptr, &written) ? 0 : FailFromLastError();
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The C runtime's rename refuses an existing target; the system's rename replaces it, and
// writes through so that the new name is on the storage when it returns.
int RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : FailFromLastError();
}

int RemoveFile(const std::string& path) { return _unlink(path.c_str()) == 0 ? 0 : FailFromErrno(); }

// A folder's entries cannot be flushed on their own on Windows; RenameFile writes through.
int SyncFolder(const std::string& folder) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailFromLastError();
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : FailWith(ENOTDIR);
}

int GetCurrentDirectory(std::string* path) {
  std::vector<char> buffer(MAX_PATH + 1);
  if (_getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) return FailFromErrno();
  path->assign(buffer.data());
  return 0;
}

int ChangeDirectory(const std::string& path) {
  return _chdir(path.c_str()) == 0 ? 0 : FailFromErrno();
}

std::FILE* OpenStream(const std::string& path, const char* mode) {
  // "N": the handle is not inherited.
  std::FILE* stream = std::fopen(path.c_str(), (std::string(mode) + "N").c_str());
  if (stream == nullptr) FailFromErrno();
  return stream;
}

}  // namespace kestrum
